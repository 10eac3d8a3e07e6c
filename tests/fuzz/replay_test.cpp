// Runs the fuzz targets' entry over the seed corpus and every input a fuzzer
// ever found a fault with, so a change that reopens a hole fails here.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_entry.h"

namespace {

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
        }
        closedir(d);
    }
    return files;
}

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(FuzzReplay, SeedCorpusLoadsAndRenders) {
    std::vector<std::string> files = FilesIn(LUMBO_FUZZ_DIR "/corpus");
    ASSERT_GE(files.size(), 40u);
    for (const std::string& f : files) {
        std::vector<uint8_t> bytes = Bytes(f);
        EXPECT_TRUE(lumbo_fuzz::RunModuleBytes(bytes.data(), bytes.size())) << f << " was rejected";
        EXPECT_TRUE(lumbo_fuzz::RunImageBytes(bytes.data(), bytes.size())) << f;
        EXPECT_TRUE(lumbo_fuzz::RunPublicApiBytes(bytes.data(), bytes.size())) << f;
    }
}

TEST(FuzzReplay, RegressionInputsRunCleanly) {
    for (const std::string& f : FilesIn(LUMBO_FUZZ_DIR "/regressions")) {
        SCOPED_TRACE(f);
        std::vector<uint8_t> bytes = Bytes(f);
        lumbo_fuzz::RunModuleBytes(bytes.data(), bytes.size());
        lumbo_fuzz::RunImageBytes(bytes.data(), bytes.size());
        lumbo_fuzz::RunPublicApiBytes(bytes.data(), bytes.size());
    }
}

}  // namespace
