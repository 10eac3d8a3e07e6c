// The cost of an exact seek: from a fresh player to the end of a song's first
// pass (its loop point), against rendering the same span. A seek runs the
// ticks and moves the voices without mixing; the goal is at most a fifth of
// the render.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "data/songs.h"
#include "output/offline_render.h"
#include "output/output_size.h"
#include "sequencer/loop_point.h"
#include "song/loader.h"
#include "support/rich_module.h"
#include "support/xm_writer.h"

namespace {

lumbo::Stream& SeekStream() {
    static lumbo::Stream* stream = new lumbo::Stream();
    return *stream;
}

std::vector<uint8_t> File(int which) {
    if (which < 2) {
        const lumbo::ModuleImage* image = which == 0 ? lumbo::firstSongImage : lumbo::secondSongImage;
        const uint32_t length = uint32_t(image[0]) | uint32_t(image[1]) << 8 | uint32_t(image[2]) << 16 |
                                uint32_t(image[3]) << 24;
        return std::vector<uint8_t>(image + 4, image + 4 + length);
    }
    return xm::Write(lumbo_test::RichModule(which == 2 ? 4 : 32));
}

// Frames to the song's loop point.
int64_t Span(lumbo::Song* song) {
    static lumbo::Player* player = new lumbo::Player();
    *player = lumbo::Player{};
    lumbo::Song copy = *song;
    player->song = &copy;
    player->mixer.sampleRate = lumbo::kOutputRate;
    lumbo::LoopPoint loop;
    return lumbo::FindLoopPoint(*player, &loop) ? loop.endFrame : 0;
}

// Runs `work` on a freshly begun render of the song and returns its seconds.
template <typename Work>
double Timed(lumbo::Song* song, Work work) {
    lumbo::BeginOfflineRender(SeekStream(), song, lumbo::kOutputRate);
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    lumbo::EndOfflineRender(SeekStream());
    return took.count();
}

void SeekToLoopPoint(benchmark::State& state) {
    const std::vector<uint8_t> file = File(int(state.range(0)));
    lumbo::Song* song = lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size()));
    const int64_t span = song ? Span(song) : 0;
    if (span <= 0) {
        state.SkipWithError("no loop point");
        lumbo::FreeSong(song);
        return;
    }
    std::vector<int16_t> pcm(size_t(span) * 2);
    double render = 1e9;
    for (int i = 0; i < 3; ++i) {
        const double t = Timed(song, [&] { lumbo::RenderOfflineFrames(SeekStream(), pcm.data(), span); });
        if (t < render) render = t;
    }
    double seeking = 0;
    for (auto _ : state) {
        const double t = Timed(song, [&] { benchmark::DoNotOptimize(lumbo::SeekOffline(SeekStream(), uint64_t(span))); });
        state.SetIterationTime(t);
        seeking += t;
    }
    lumbo::FreeSong(song);
    state.counters["seconds_of_audio"] = double(span) / lumbo::kOutputRate;
    state.counters["render_ms"] = render * 1e3;
    state.counters["share_of_render"] = seeking / double(state.iterations()) / render;
}

}  // namespace

// 0, 1: the built-in songs; 2, 3: the busy 4- and 32-channel modules.
BENCHMARK(SeekToLoopPoint)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond);
