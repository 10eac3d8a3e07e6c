// A minute of the same busy modules rendered by lumbo and by libxmp (linear
// interpolation, 44100 Hz, 16-bit stereo), timing each one's render loop only,
// in processor time of the rendering thread.
#include <xmp.h>

#include <cstdio>
#include <ctime>
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

constexpr int kSeconds = 60;
constexpr int kRuns = 5;                 // the best run of each counts; runs alternate
constexpr int kChunkFrames = 4096;       // frames per call, the same for both

// The thread's own processor time: on a shared machine it does not count the
// time other programs take.
double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

constexpr int64_t kFrames = int64_t(kSeconds) * 44100;

// Seconds one lumbo render of the minute takes; 0 when the module does not load.
double LumboRun(const std::vector<uint8_t>& file, std::vector<int16_t>& chunk) {
    lumbo::Song* song = lumbo::LoadSongFromMemory(file.data(), uint32_t(file.size()));
    if (!song || !lumbo::BeginOfflineRender(BenchStream(), song, lumbo::kOutputRate)) {
        lumbo::FreeSong(song);
        return 0;
    }
    double start = ThreadSeconds();
    for (int64_t done = 0; done < kFrames; done += kChunkFrames)
        lumbo::RenderOfflineFrames(BenchStream(), chunk.data(), kFrames - done < kChunkFrames ? kFrames - done : kChunkFrames);
    double took = ThreadSeconds() - start;
    lumbo::EndOfflineRender(BenchStream());
    lumbo::FreeSong(song);
    return took;
}

// The same for libxmp.
double LibxmpRun(std::vector<uint8_t>& file, std::vector<int16_t>& chunk) {
    xmp_context context = xmp_create_context();
    if (xmp_load_module_from_memory(context, file.data(), long(file.size())) != 0) {
        xmp_free_context(context);
        return 0;
    }
    xmp_start_player(context, 44100, 0);   // 16-bit signed stereo
    xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
    double start = ThreadSeconds();
    for (int64_t done = 0; done < kFrames; done += kChunkFrames) {
        int n = kFrames - done < kChunkFrames ? int(kFrames - done) : kChunkFrames;
        xmp_play_buffer(context, chunk.data(), n * 4, 0);   // loop for ever
    }
    double took = ThreadSeconds() - start;
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
    return took;
}

}  // namespace

int main() {
    printf("Real-time factor (audio seconds per processor second), best of %d runs each\n", kRuns);
    printf("%-22s %14s %14s %8s\n", "module (60 s)", "lumbo", "libxmp", "ratio");
    for (int channels : {4, 32}) {
        std::vector<uint8_t> file = xm::Write(lumbo_test::RichModule(channels));
        std::vector<int16_t> chunk(kChunkFrames * 2);
        // Alternating runs see the same load on a shared machine.
        double oursBest = 1e30, theirsBest = 1e30;
        for (int run = 0; run < kRuns; ++run) {
            double ours = LumboRun(file, chunk);
            double theirs = LibxmpRun(file, chunk);
            if (ours > 0 && ours < oursBest) oursBest = ours;
            if (theirs > 0 && theirs < theirsBest) theirsBest = theirs;
        }
        double ours = oursBest < 1e30 ? kSeconds / oursBest : 0;
        double theirs = theirsBest < 1e30 ? kSeconds / theirsBest : 0;
        char name[32];
        snprintf(name, sizeof name, "%d channels", channels);
        printf("%-22s %13.0fx %13.0fx %8.2f\n", name, ours, theirs, theirs > 0 ? ours / theirs : 0.0);
    }
    return 0;
}
