// The master volume of a stream, applied to its mix.
#pragma once
#include <cstdint>

#include "output/stream.h"

namespace lumbo {

// Sets the stream's volume, 0..256 (clamped); 256 is full. Safe from any
// thread while another renders the stream: the renderer takes it up at its
// next block.
void SetMasterVolume(Stream& stream, int32_t volume);

// Puts the gain at the volume set, with no ramp: for a stream starting.
void SettleMasterVolume(Stream& stream);

// Scales frames[0..frameCount) by the master volume. A change of volume moves
// the gain in a straight line over the mixer's ramp length, so it never
// clicks; at full volume with no ramp running the frames are left as they
// are, so full volume is bit-identical to none at all.
void ApplyMasterVolume(Stream& stream, MixFrame* frames, int32_t frameCount);


}  // namespace lumbo
