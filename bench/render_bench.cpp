// Rendering speed: a minute of a busy 4-channel and 32-channel module through
// the whole engine (sequencer, mixer, block renderer, PCM conversion), as
// multiples of real time.
#include <benchmark/benchmark.h>

#include <vector>

#include "output/offline_render.h"
#include "output/output_size.h"
#include "song/loader.h"
#include "support/rich_module.h"
#include "support/xm_writer.h"

namespace {

// The stream every render uses (the record is too large for the stack).
lumbo::Stream& BenchStream() {
    static lumbo::Stream* stream = new lumbo::Stream();
    return *stream;
}

constexpr int64_t kSeconds = 60;

void RenderMinute(benchmark::State& state) {
    const int channels = int(state.range(0));
    const std::vector<uint8_t> file = xm::Write(lumbo_test::RichModule(channels));
    const int64_t frames = kSeconds * lumbo::kOutputRate;
    std::vector<int16_t> pcm(size_t(frames) * 2);
    for (auto _ : state) {
        // Playback changes a few things in the song (E5x finetunes, effect
        // memories), so every render starts from a fresh load, as playback does.
        state.PauseTiming();
        lumbo::Song* song = lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size()));
        if (!song || !lumbo::BeginOfflineRender(BenchStream(), song, lumbo::kOutputRate)) {
            state.SkipWithError("module rejected");
            lumbo::FreeSong(song);
            return;
        }
        state.ResumeTiming();
        lumbo::RenderOfflineFrames(BenchStream(), pcm.data(), frames);
        benchmark::DoNotOptimize(pcm.data());
        state.PauseTiming();
        lumbo::EndOfflineRender(BenchStream());
        lumbo::FreeSong(song);
        state.ResumeTiming();
    }
    // Seconds of audio per second of processor time: the real-time factor.
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(RenderMinute)->Arg(4)->Arg(32)->Unit(benchmark::kMillisecond);
