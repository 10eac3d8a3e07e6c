// Compares what a listener recorded with what the song should sound like.
//   lumbo_pcm_compare EXPECTED RECORDED SECONDS [MAX_BAD_WINDOWS]
// Both files are raw 44100 Hz stereo s16le. The recording starts at an unknown
// point: it is aligned on the expected audio's first sounding 10 ms, then
// SECONDS of it are compared window by window (10 ms each), aligning again
// after a window that differs. Fails when the
// audio is not found or more than MAX_BAD_WINDOWS (default 2) windows differ.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int64_t kRate = 44100;
constexpr int64_t kWindow = kRate / 100;   // frames in 10 ms

std::vector<uint32_t> ReadFrames(const char* path) {
    std::vector<uint32_t> frames;
    FILE* file = fopen(path, "rb");
    if (!file) return frames;
    uint32_t frame;
    while (fread(&frame, 4, 1, file) == 1) frames.push_back(frame);
    fclose(file);
    return frames;
}

bool SameWindow(const uint32_t* a, const uint32_t* b) { return memcmp(a, b, kWindow * 4) == 0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: lumbo_pcm_compare EXPECTED RECORDED SECONDS [MAX_BAD_WINDOWS]\n");
        return 2;
    }
    std::vector<uint32_t> expected = ReadFrames(argv[1]);
    std::vector<uint32_t> recorded = ReadFrames(argv[2]);
    int64_t frames = int64_t(atof(argv[3]) * kRate);
    int64_t maxBad = argc > 4 ? atoi(argv[4]) : 2;

    int64_t first = 0;   // first sounding frame of the expected audio
    while (first < int64_t(expected.size()) && expected[first] == 0) ++first;
    if (first + kWindow > int64_t(expected.size())) {
        fprintf(stderr, "pcm_compare: the expected audio is silent\n");
        return 1;
    }
    int64_t offset = -1;   // recorded frame = expected frame + offset
    for (int64_t at = 0; at + kWindow <= int64_t(recorded.size()); ++at) {
        if (recorded[at] == expected[first] && SameWindow(&recorded[at], &expected[first])) {
            offset = at - first;
            break;
        }
    }
    if (offset < 0) {
        fprintf(stderr, "pcm_compare: the song's first 10 ms are nowhere in the recording (%zu frames)\n",
                recorded.size());
        return 1;
    }
    int64_t available = int64_t(recorded.size()) - offset;
    if (available > int64_t(expected.size())) available = int64_t(expected.size());
    if (frames > available) {
        fprintf(stderr, "pcm_compare: only %.2f s recorded after the song started, %.2f s wanted\n",
                double(available) / kRate, double(frames) / kRate);
        return 1;
    }
    // A glitch of the capture path drops or inserts a little audio; after a
    // window that differs, the rest is found again nearby and compared from there.
    int64_t windows = frames / kWindow;
    int64_t bad = 0;
    for (int64_t w = 0; w < windows; ++w) {
        int64_t at = w * kWindow;
        if (offset + at < 0) continue;   // before the recording began: the leading silence
        if (offset + at + kWindow > int64_t(recorded.size())) {
            fprintf(stderr, "pcm_compare: the recording ends at %.2f s of the song\n", double(at) / kRate);
            return 1;
        }
        if (SameWindow(&recorded[offset + at], &expected[at])) continue;
        ++bad;
        int64_t next = at + kWindow;
        int64_t from = offset + at - kRate, to = offset + at + kRate;
        if (from < 0) from = 0;
        int64_t found = -1;
        for (int64_t r = from; r <= to && r + kWindow <= int64_t(recorded.size()) && next + kWindow <= int64_t(expected.size()); ++r) {
            if (SameWindow(&recorded[r], &expected[next])) {
                found = r - next;
                break;
            }
        }
        if (bad <= 10) {
            fprintf(stderr, "pcm_compare: window %lld (%.2f s) differs", (long long)w, double(at) / kRate);
            if (found >= 0 && found != offset) fprintf(stderr, "; the song goes on %+lld frames later", (long long)(found - offset));
            fprintf(stderr, "\n");
        }
        if (found >= 0) offset = found;
    }
    printf("pcm_compare: song found at recorded frame %lld; %lld of %lld 10 ms windows differ (at most %lld allowed)\n",
           (long long)(offset + first), (long long)bad, (long long)windows, (long long)maxBad);
    return bad <= maxBad ? 0 : 1;
}
