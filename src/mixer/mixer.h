// The voice pool and the mixing loop.
#pragma once
#include <cstdint>

#include "mixer/voice.h"

namespace lumbo {

// Output frames per second; set first by OpenOutput, read by the sequencer.
extern int32_t sampleRate;
// Frames per volume ramp and its reciprocal; set by OpenOutput from sampleRate.
extern int32_t rampLength;
extern float rampReciprocal;

// Clears all 256 voices, then gives each its slot number and a step of 1.0.
void ResetVoicePool();

// Adds voices 0..63 to frames[0..frameCount) and advances them by frameCount
// output frames. Does nothing for frameCount < 1. Never reads outside a
// sample's data buffer and never stalls: every call consumes frameCount frames.
void MixVoices(MixFrame* frames, int32_t frameCount);

}  // namespace lumbo
