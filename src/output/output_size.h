// Block and ring sizes for an output rate, and the mixer settings that go
// with them: the part of opening the output that needs no device.
#pragma once
#include <cstdint>

#include "output/stream.h"

namespace lumbo {

// The rate the library always plays at.
constexpr int32_t kOutputRate = 44100;

// Rates whose sizes make sense: a ramp of at least one frame, and no overflow
// in rate x 128.
constexpr int32_t kMinOutputRate = 345;
constexpr int32_t kMaxOutputRate = 16777215;

// For an output at rate Hz: sets the ring's blockFrames (20 ms raised to a
// multiple of 4 frames) and ringFrames (kBlocksInRing blocks), the mixer's
// sampleRate, rampLength and rampReciprocal, clears the voices and puts the
// master volume's gain at rest. False, with nothing changed, for a rate
// outside kMinOutputRate..kMaxOutputRate.
bool SizeOutput(Stream& stream, int32_t rate);

}  // namespace lumbo
