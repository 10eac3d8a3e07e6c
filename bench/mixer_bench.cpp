// MixVoices throughput, reported as nanoseconds per voice-frame (one voice
// mixed into one stereo output frame).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "mixer/mix_frames.h"
#include "mixer/mixer.h"

namespace {

using namespace lumbo;

constexpr int kBlockFrames = 884;   // one 20 ms block at 44100 Hz

// The voices mixed, with the ramp the output sets at 44100 Hz.
Mixer& BenchMixer() {
    static Mixer mixer{44100, 128, 0.0078125f, {}};
    return mixer;
}

// Looped samples of a few sizes with some texture, as a song would have them.
struct BenchSamples {
    Sample samples[4]{};
    BenchSamples() {
        const uint32_t lengths[4] = {2048, 9000, 30000, 120000};
        for (int i = 0; i < 4; ++i) {
            Sample& s = samples[i];
            s.length = lengths[i];
            s.data = AllocateSampleData(s.length);
            uint32_t noise = 12345u + i;
            for (uint32_t k = 0; k < s.length; ++k) {
                noise = noise * 1664525u + 1013904223u;
                s.data[k] = int16_t(int32_t(noise >> 16) - 32768);
            }
            s.loopMode = i == 3 ? 4 : 2;
            s.loopStart = s.length / 4;
            s.loopLength = s.length - s.loopStart;
            s.data[s.length] = s.data[i == 3 ? s.length - 1 : s.loopStart];
        }
    }
    ~BenchSamples() {
        for (Sample& s : samples) ReleaseSampleData(&s);
    }
};

// voiceCount sounding voices at assorted pitches and pannings.
void StartVoices(const BenchSamples& bank, int voiceCount) {
    ResetVoicePool(BenchMixer());
    for (int i = 0; i < voiceCount; ++i) {
        Voice& v = BenchMixer().voices[i];
        v.sample = &bank.samples[i % 4];
        const uint64_t step = 0x40000000ull + 0x0B504F33ull * uint64_t(i % 23);   // 0.25 .. 1.24 frames
        v.step = int32_t(step >> 32);
        v.stepFraction = uint32_t(step);
        v.direction = 1;
        v.targetLeft = 20 + (i * 7) % 60;
        v.targetRight = 80 - (i * 7) % 60;
        v.appliedLeft = v.targetLeft;
        v.appliedRight = v.targetRight;
        v.currentLeft = v.targetLeft * 256;
        v.currentRight = v.targetRight * 256;
    }
}

// Shown as time per voice-frame, e.g. "0.9ns".
void Report(benchmark::State& state, int voiceCount, int frames) {
    state.counters["per_voice_frame"] =
        benchmark::Counter(double(voiceCount) * frames,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Gains at their targets: the plain frame loop.
void BM_MixSteady(benchmark::State& state) {
    const int voiceCount = int(state.range(0));
    BenchSamples bank;
    StartVoices(bank, voiceCount);
    std::vector<MixFrame> buffer(kBlockFrames);
    for (auto _ : state) {
        MixVoices(BenchMixer(), buffer.data(), kBlockFrames);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    Report(state, voiceCount, kBlockFrames);
}

// Every voice changes its targets before each call of BenchMixer().rampLength frames, so
// every frame is mixed inside a running ramp.
void BM_MixRamping(benchmark::State& state) {
    const int voiceCount = int(state.range(0));
    BenchSamples bank;
    StartVoices(bank, voiceCount);
    std::vector<MixFrame> buffer(BenchMixer().rampLength);
    int flip = 0;
    for (auto _ : state) {
        flip ^= 1;
        for (int i = 0; i < voiceCount; ++i) BenchMixer().voices[i].targetLeft = flip ? 10 + i : 70 - i;
        MixVoices(BenchMixer(), buffer.data(), BenchMixer().rampLength);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    Report(state, voiceCount, BenchMixer().rampLength);
}

// One frame loop on its own at fixed gains (0 portable, 1 SSE2, 2 AVX2,
// 3 AVX-512): what each costs per voice-frame, whichever MixVoices picks here.
void BM_FrameLoop(benchmark::State& state) {
    const FrameLoop loop = FrameLoop(state.range(0));
    if (!HasFrameLoop(loop)) {
        state.SkipWithError("not on this processor");
        return;
    }
    BenchSamples bank;
    const Sample& sample = bank.samples[1];
    std::vector<MixFrame> buffer(kBlockFrames);
    const int64_t step = 0x5A82799A;   // 0.71 frames, in halves of 2^-32
    for (auto _ : state) {
        double left = 0.25, right = 0.5;
        MixRampFramesWith(loop, buffer.data(), kBlockFrames, sample.data, 0, step, &left, &right, 0, 0);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    Report(state, 1, kBlockFrames);
}

BENCHMARK(BM_MixSteady)->Arg(4)->Arg(32)->Arg(64);
BENCHMARK(BM_FrameLoop)->DenseRange(0, 3);
BENCHMARK(BM_MixRamping)->Arg(4)->Arg(32)->Arg(64);

}  // namespace
