// Helpers for the mixer tests: samples laid out as the loader lays them out,
// voices placed by hand, 32.32 positions and steps.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "mixer/mixer.h"

namespace mixer_test {

// The voices the mixer tests place and mix.
inline lumbo::Mixer& TestMixer() {
    static lumbo::Mixer mixer;
    return mixer;
}

inline void MixVoices(lumbo::MixFrame* frames, int32_t frameCount) {
    lumbo::MixVoices(TestMixer(), frames, frameCount);
}

constexpr uint64_t kFrame = uint64_t(1) << 32;

constexpr uint64_t Fixed(uint32_t whole, uint32_t fraction) { return uint64_t(whole) << 32 | fraction; }

inline uint64_t PositionOf(const lumbo::Voice& v) { return Fixed(uint32_t(v.position), v.positionFraction); }

// A sample with its own buffer (silent lead frames, spare frames after) and
// the loader's guard frame after a loop.
struct OwnedSample {
    lumbo::Sample sample{};

    explicit OwnedSample(const std::vector<int16_t>& frames, uint8_t loopMode = 1, uint32_t loopStart = 0,
                         uint32_t loopLength = 0) {
        sample.length = uint32_t(frames.size());
        sample.data = lumbo::AllocateSampleData(sample.length);
        if (!frames.empty()) memcpy(sample.data, frames.data(), frames.size() * sizeof(int16_t));
        sample.bits = 16;
        sample.loopMode = loopMode;
        sample.loopStart = loopMode == 1 ? 0 : loopStart;
        sample.loopLength = loopMode == 1 ? sample.length : loopLength;
        const uint32_t end = sample.loopStart + sample.loopLength;
        if (loopMode == 2) sample.data[end] = sample.data[sample.loopStart];
        if (loopMode == 4) sample.data[end] = sample.data[end - 1];
    }
    ~OwnedSample() { lumbo::ReleaseSampleData(&sample); }
    OwnedSample(const OwnedSample&) = delete;
    OwnedSample& operator=(const OwnedSample&) = delete;
};

// Frames 0..n-1 with value f(i).
template <typename F>
std::vector<int16_t> Frames(uint32_t n, F f) {
    std::vector<int16_t> frames(n);
    for (uint32_t i = 0; i < n; ++i) frames[i] = int16_t(f(i));
    return frames;
}

// A sounding voice as a note start leaves it, moving forward from position.
// settled: its gains already stand at the targets, so no ramp runs.
inline lumbo::Voice& PlaceVoice(int slot, const lumbo::Sample& sample, uint64_t step, int32_t targetLeft,
                                int32_t targetRight, uint64_t position = 0, bool settled = true) {
    lumbo::Voice& v = TestMixer().voices[slot];
    v.sample = &sample;
    v.position = int32_t(uint32_t(position >> 32));
    v.positionFraction = uint32_t(position);
    v.step = int32_t(uint32_t(step >> 32));
    v.stepFraction = uint32_t(step);
    v.direction = 1;
    v.targetLeft = targetLeft;
    v.targetRight = targetRight;
    v.appliedLeft = settled ? targetLeft : 0;
    v.appliedRight = settled ? targetRight : 0;
    v.currentLeft = settled ? targetLeft * 256 : 0;
    v.currentRight = settled ? targetRight * 256 : 0;
    v.rampFramesLeft = 0;
    return v;
}

inline uint32_t Bits(float f) {
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    return u;
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestMixer().rampLength = 128;   // as the output sets them at 44100 Hz
        TestMixer().rampReciprocal = 0.0078125f;
        lumbo::ResetVoicePool(TestMixer());
    }
    void TearDown() override { lumbo::ResetVoicePool(TestMixer()); }
};

}  // namespace mixer_test
