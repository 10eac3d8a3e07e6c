#include "output/master_volume.h"

namespace lumbo {

namespace {

constexpr int32_t kFullVolume = 256;

double GainOfCut(int32_t cut) { return 1.0 - double(cut) / kFullVolume; }

// The stream's own cut in the low half, the device's in the high; without
// the device's the gain is the stream's exactly.
int32_t CutsOf(const Stream& stream) {
    return stream.volumeCut.load(std::memory_order_relaxed) | stream.outerCut.load(std::memory_order_relaxed) << 16;
}
double GainOfCuts(int32_t cuts) {
    const double gain = GainOfCut(cuts & 0xFFFF);
    return cuts >> 16 ? gain * GainOfCut(cuts >> 16) : gain;
}

}  // namespace

void SetMasterVolume(Stream& stream, int32_t volume) {
    if (volume < 0) volume = 0;
    if (volume > kFullVolume) volume = kFullVolume;
    stream.volumeCut.store(kFullVolume - volume, std::memory_order_relaxed);
}

void SettleMasterVolume(Stream& stream) {
    stream.appliedCut = CutsOf(stream);
    stream.volumeGain = GainOfCuts(stream.appliedCut);
    stream.volumeRampLeft = 0;
}

void ApplyMasterVolume(Stream& stream, MixFrame* frames, int32_t frameCount) {
    const int32_t cut = CutsOf(stream);
    const int32_t rampLength = stream.player.mixer.rampLength > 0 ? stream.player.mixer.rampLength : 1;
    if (cut != stream.appliedCut) {
        // From the gain reached so far, as the voices' own ramps do.
        stream.appliedCut = cut;
        stream.volumeDelta = (GainOfCuts(cut) - stream.volumeGain) / rampLength;
        stream.volumeRampLeft = rampLength;
    }
    if (stream.volumeRampLeft == 0 && stream.appliedCut == 0) return;
    double gain = stream.volumeGain;
    for (int32_t k = 0; k < frameCount; ++k) {
        if (stream.volumeRampLeft > 0) {
            stream.volumeRampLeft -= 1;
            // The last step lands exactly on the new volume.
            gain = stream.volumeRampLeft == 0 ? GainOfCuts(stream.appliedCut) : gain + stream.volumeDelta;
        }
        frames[k].left = float(double(frames[k].left) * gain);
        frames[k].right = float(double(frames[k].right) * gain);
    }
    stream.volumeGain = gain;
}

}  // namespace lumbo
