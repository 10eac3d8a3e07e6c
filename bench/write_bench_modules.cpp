// Writes the busy 4- and 32-channel modules the speed measurements render:
//   write_bench_modules DIR   ->  DIR/busy4.xm, DIR/busy32.xm
#include <cstdio>
#include <string>

#include "support/rich_module.h"
#include "support/xm_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_bench_modules DIR\n");
        return 64;
    }
    for (int channels : {4, 32}) {
        const std::vector<uint8_t> bytes = xm::Write(lumbo_test::RichModule(channels));
        const std::string path = std::string(argv[1]) + "/busy" + std::to_string(channels) + ".xm";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f && std::fclose(f) != 0) ok = false;
        if (!ok) {
            std::fprintf(stderr, "write_bench_modules: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
