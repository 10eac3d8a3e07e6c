// Composes the two embedded songs and writes them as song1.xm and song2.xm
// into the folder given (src/data/ in the source tree).
//
//   lumbo_compose DIR
#include <cstdio>
#include <string>
#include <vector>

#include "songs.h"

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumbo_compose DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    const struct {
        const char* name;
        xm::Module (*compose)();
    } songs[] = {{"song1.xm", compose::FirstSong}, {"song2.xm", compose::SecondSong}};
    for (const auto& song : songs) {
        std::vector<uint8_t> file = xm::Write(song.compose());
        std::string path = dir + "/" + song.name;
        if (!WriteFile(path, file)) {
            std::fprintf(stderr, "lumbo_compose: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", path.c_str(), file.size());
    }
    return 0;
}
