// A minute of the same busy modules rendered by lumbo and by libxmp (linear
// interpolation, 44100 Hz, 16-bit stereo), timing each one's render loop only.
#include <xmp.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "output/offline_render.h"
#include "output/output_size.h"
#include "song/loader.h"
#include "support/rich_module.h"
#include "support/xm_writer.h"

namespace {

constexpr int kSeconds = 60;
constexpr int kRuns = 3;                 // the best run counts
constexpr int kChunkFrames = 4096;       // frames per call, the same for both

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Real-time factor of lumbo's best run; 0 when the module does not load.
double LumboRealtime(const std::vector<uint8_t>& file) {
    std::vector<int16_t> chunk(kChunkFrames * 2);
    const int64_t frames = int64_t(kSeconds) * lumbo::kOutputRate;
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        lumbo::Song* song = lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size()));
        if (!song || !lumbo::BeginOfflineRender(song, lumbo::kOutputRate)) return 0;
        Clock::time_point start = Clock::now();
        for (int64_t done = 0; done < frames; done += kChunkFrames)
            lumbo::RenderOfflineFrames(chunk.data(), frames - done < kChunkFrames ? frames - done : kChunkFrames);
        double took = Seconds(Clock::now() - start);
        lumbo::EndOfflineRender();
        lumbo::FreeSong(song);
        if (took < best) best = took;
    }
    return kSeconds / best;
}

double LibxmpRealtime(std::vector<uint8_t> file) {
    std::vector<int16_t> chunk(kChunkFrames * 2);
    const int64_t frames = int64_t(kSeconds) * 44100;
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        xmp_context context = xmp_create_context();
        if (xmp_load_module_from_memory(context, file.data(), long(file.size())) != 0) {
            xmp_free_context(context);
            return 0;
        }
        xmp_start_player(context, 44100, 0);   // 16-bit signed stereo
        xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
        Clock::time_point start = Clock::now();
        for (int64_t done = 0; done < frames; done += kChunkFrames) {
            int n = frames - done < kChunkFrames ? int(frames - done) : kChunkFrames;
            xmp_play_buffer(context, chunk.data(), n * 4, 0);   // loop for ever
        }
        double took = Seconds(Clock::now() - start);
        xmp_end_player(context);
        xmp_release_module(context);
        xmp_free_context(context);
        if (took < best) best = took;
    }
    return kSeconds / best;
}

}  // namespace

int main() {
    printf("%-22s %14s %14s %8s\n", "module (60 s)", "lumbo", "libxmp", "ratio");
    for (int channels : {4, 32}) {
        std::vector<uint8_t> file = xm::Write(lumbo_test::RichModule(channels));
        double ours = LumboRealtime(file);
        double theirs = LibxmpRealtime(file);
        char name[32];
        snprintf(name, sizeof name, "%d channels", channels);
        printf("%-22s %13.0fx %13.0fx %8.2f\n", name, ours, theirs, theirs > 0 ? ours / theirs : 0.0);
    }
    return 0;
}
