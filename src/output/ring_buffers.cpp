#include "output/ring_buffers.h"

#include <cstddef>
#include <cstdint>

#include "output/output_ring.h"
#include "platform/memory.h"

namespace lumbo {

namespace {

constexpr size_t kBytesPerPcmFrame = 4;        // left and right, 16 bits each
constexpr size_t kMixAllocationSlack = 256;    // room to align the float buffer
constexpr uintptr_t kMixAlignment = 16;

}  // namespace

bool AllocateRingSamples() {
    if (outputRing.ringFrames <= 0) return false;
    void* block = AllocateZeroed(size_t(outputRing.ringFrames) * kBytesPerPcmFrame);
    outputRing.ringSamples = static_cast<int16_t*>(block);
    return block != nullptr;
}

bool AllocateMixBuffer() {
    if (outputRing.ringFrames <= 0) return false;
    void* block = AllocateZeroed(size_t(outputRing.ringFrames) * sizeof(MixFrame) + kMixAllocationSlack);
    outputRing.mixAllocation = block;
    if (!block) {
        outputRing.mixBuffer = nullptr;
        return false;
    }
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(block) + kMixAlignment - 1) & ~(kMixAlignment - 1);
    outputRing.mixBuffer = reinterpret_cast<MixFrame*>(aligned);
    return true;
}

void ReleaseMixBuffer() {
    Release(outputRing.mixAllocation);
    outputRing.mixAllocation = nullptr;
    outputRing.mixBuffer = nullptr;
}

void ReleaseRingSamples() {
    Release(outputRing.ringSamples);
    outputRing.ringSamples = nullptr;
}

}  // namespace lumbo
