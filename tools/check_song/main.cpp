// Checks an XM file with the engine's own loader. The build runs it on every
// song it embeds, so that a library is never built around a module it would
// refuse to play.
//
//   lumbo_check_song LABEL FILE
//
// Exit status 0 when the loader accepts the file; otherwise 1, with the
// loader's reason on standard error.
#include <cstdio>
#include <vector>

#include "song/load_status_text.h"
#include "song/loader.h"
#include "song/song.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumbo_check_song LABEL FILE\n");
        return 2;
    }
    const char* label = argv[1];
    const char* path = argv[2];
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "%s: cannot open %s\n", label, path);
        return 1;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);

    lumbo::LoadStatus status{};
    lumbo::Song* song = bytes.size() <= 0xFFFFFFFFu
                            ? lumbo::LoadSongFromMemory(bytes.data(), uint32_t(bytes.size()), &status)
                            : nullptr;
    if (!song) {
        char reason[256];
        if (bytes.size() > 0xFFFFFFFFu) std::snprintf(reason, sizeof reason, "the file is larger than 4 GiB");
        else lumbo::DescribeLoadStatus(status, reason, sizeof reason);
        std::fprintf(stderr, "%s (%s) is rejected by the loader: %s\n", label, path, reason);
        return 1;
    }
    lumbo::FreeSong(song);
    return 0;
}
