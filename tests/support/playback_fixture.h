// Helpers for the playback tests: modules to play, the stream they should
// produce, and a count of the engine's live allocations.
#pragma once
#include <cstdint>
#include <vector>

#include "output/stream.h"

namespace lumbo_test {

// The stream the output tests drive (the device player's record for the
// device tests, which use the library's own).
lumbo::Stream& TestStream();

constexpr int32_t kBlockFrames = 884;     // 20 ms at 44100 Hz, raised to a multiple of 4
constexpr int32_t kRingBlocks = 100;
constexpr int32_t kRingFrames = kBlockFrames * kRingBlocks;
constexpr uint32_t kBlockBytes = kBlockFrames * 4;

// A short module image (length word and XM file) whose audio changes from
// block to block; variants differ from each other.
std::vector<uint8_t> TestModuleImage(int variant);

// The first frames of a module's audio, rendered without a device: what the
// device must play.
std::vector<int16_t> ExpectedStream(const uint8_t* image, int64_t frames);

// Engine allocations not yet released. The test programs wrap the engine's
// allocator to count them.
int64_t LiveAllocations();
// Engine allocations made so far, released or not.
int64_t AllocationCount();
// Makes the engine's nth allocation from now (1 = the next) fail; 0 for none.
void FailAllocation(int64_t nth);

}  // namespace lumbo_test
