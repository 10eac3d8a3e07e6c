#include "output/output_size.h"

#include "mixer/mixer.h"
#include "output/output_ring.h"

namespace lumbo {

namespace {

constexpr int32_t kBlockMilliseconds = 20;
constexpr int32_t kRingHalfMilliseconds = 1000;   // the ring holds twice this
constexpr int32_t kRampFramesAtReference = 128;
constexpr int32_t kRampReferenceRate = 44100;

}  // namespace

bool SizeOutput(int32_t rate) {
    if (rate < kMinOutputRate || rate > kMaxOutputRate) return false;
    // 882 frames at 44100 Hz, raised to 884 so a block is a whole number of
    // 16-byte float pairs.
    outputRing.blockFrames = (rate * kBlockMilliseconds / 1000 + 3) & ~3;
    outputRing.ringFrames = (kRingHalfMilliseconds / kBlockMilliseconds) * outputRing.blockFrames * 2;
    rampLength = rate * kRampFramesAtReference / kRampReferenceRate;
    rampReciprocal = static_cast<float>(1.0 / rampLength);
    ResetVoicePool();
    return true;
}

}  // namespace lumbo
