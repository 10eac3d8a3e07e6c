#include "output/ring_buffers.h"

#include <cstddef>
#include <cstdint>

#include "platform/memory.h"

namespace lumbo {

namespace {

constexpr size_t kBytesPerPcmFrame = 4;        // left and right, 16 bits each
constexpr size_t kMixAllocationSlack = 256;    // room to align the float buffer
constexpr uintptr_t kMixAlignment = 16;

}  // namespace

bool AllocateRingSamples(OutputRing& ring) {
    if (ring.ringFrames <= 0) return false;
    void* block = AllocateZeroed(size_t(ring.ringFrames) * kBytesPerPcmFrame);
    ring.ringSamples = static_cast<int16_t*>(block);
    return block != nullptr;
}

bool AllocateMixBuffer(OutputRing& ring) {
    if (ring.ringFrames <= 0) return false;
    void* block = AllocateZeroed(size_t(ring.ringFrames) * sizeof(MixFrame) + kMixAllocationSlack);
    ring.mixAllocation = block;
    if (!block) {
        ring.mixBuffer = nullptr;
        return false;
    }
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(block) + kMixAlignment - 1) & ~(kMixAlignment - 1);
    ring.mixBuffer = reinterpret_cast<MixFrame*>(aligned);
    return true;
}

void ReleaseMixBuffer(OutputRing& ring) {
    Release(ring.mixAllocation);
    ring.mixAllocation = nullptr;
    ring.mixBuffer = nullptr;
}

void ReleaseRingSamples(OutputRing& ring) {
    Release(ring.ringSamples);
    ring.ringSamples = nullptr;
}

}  // namespace lumbo
