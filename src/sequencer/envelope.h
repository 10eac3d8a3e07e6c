// Volume and panning envelopes, stepped once per tick.
#pragma once
#include <cstdint>

#include "sequencer/channel.h"

namespace lumbo {

// Advances one envelope of the channel by one tick and sets updateBit.
// Sustain and loop point numbers may be anything the file holds: no point
// outside the kEnvelopeRoom-point record is read (those past it count as
// (0, 0)). A point whose tick does not rise above the previous one is reached
// on the first step past it.
void StepEnvelope(Channel* channel, int32_t* point, int32_t* tick, uint8_t flags, uint8_t pointCount,
                  const EnvelopePoint* points, uint8_t loopEnd, uint8_t loopStart, uint8_t sustain,
                  int32_t* level, int32_t* value, uint8_t* done, int32_t* step, uint8_t updateBit);

}  // namespace lumbo
