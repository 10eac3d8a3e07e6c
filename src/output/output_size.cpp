#include "output/output_size.h"

#include "output/master_volume.h"

namespace lumbo {

namespace {

constexpr int32_t kBlockMilliseconds = 20;
constexpr int32_t kRingHalfMilliseconds = 1000;   // the ring holds twice this
constexpr int32_t kRampFramesAtReference = 128;
constexpr int32_t kRampReferenceRate = 44100;

}  // namespace

bool SizeOutput(Stream& stream, int32_t rate) {
    if (rate < kMinOutputRate || rate > kMaxOutputRate) return false;
    static_assert(kRingHalfMilliseconds / kBlockMilliseconds * 2 == kBlocksInRing, "ring length in blocks");
    // 882 frames at 44100 Hz, raised to 884 so a block is a whole number of
    // 16-byte float pairs.
    stream.ring.blockFrames = (rate * kBlockMilliseconds / 1000 + 3) & ~3;
    stream.ring.ringFrames = kBlocksInRing * stream.ring.blockFrames;
    Mixer& mixer = stream.player.mixer;
    mixer.sampleRate = rate;
    mixer.rampLength = rate * kRampFramesAtReference / kRampReferenceRate;
    mixer.rampReciprocal = static_cast<float>(1.0 / mixer.rampLength);
    ResetVoicePool(mixer);
    SettleMasterVolume(stream);
    return true;
}

}  // namespace lumbo
