#include "output/master_volume.h"

namespace lumbo {

namespace {

constexpr int32_t kFullVolume = 256;

double GainOfCut(int32_t cut) { return 1.0 - double(cut) / kFullVolume; }

}  // namespace

void SetMasterVolume(Stream& stream, int32_t volume) {
    if (volume < 0) volume = 0;
    if (volume > kFullVolume) volume = kFullVolume;
    stream.volumeCut.store(kFullVolume - volume, std::memory_order_relaxed);
}

void SettleMasterVolume(Stream& stream) {
    stream.appliedCut = stream.volumeCut.load(std::memory_order_relaxed);
    stream.volumeGain = GainOfCut(stream.appliedCut);
    stream.volumeRampLeft = 0;
}

void ApplyMasterVolume(Stream& stream, MixFrame* frames, int32_t frameCount) {
    const int32_t cut = stream.volumeCut.load(std::memory_order_relaxed);
    const int32_t rampLength = stream.player.mixer.rampLength > 0 ? stream.player.mixer.rampLength : 1;
    if (cut != stream.appliedCut) {
        // From the gain reached so far, as the voices' own ramps do.
        stream.appliedCut = cut;
        stream.volumeDelta = (GainOfCut(cut) - stream.volumeGain) / rampLength;
        stream.volumeRampLeft = rampLength;
    }
    if (stream.volumeRampLeft == 0 && stream.appliedCut == 0) return;
    double gain = stream.volumeGain;
    for (int32_t k = 0; k < frameCount; ++k) {
        if (stream.volumeRampLeft > 0) {
            stream.volumeRampLeft -= 1;
            // The last step lands exactly on the new volume.
            gain = stream.volumeRampLeft == 0 ? GainOfCut(stream.appliedCut) : gain + stream.volumeDelta;
        }
        frames[k].left = float(double(frames[k].left) * gain);
        frames[k].right = float(double(frames[k].right) * gain);
    }
    stream.volumeGain = gain;
}

}  // namespace lumbo
