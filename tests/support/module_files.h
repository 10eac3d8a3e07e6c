// XM files for tests that use the public API: the built-in songs as files,
// busy modules, and a flat line.
#pragma once
#include <cstdint>
#include <vector>

#include "song/loader.h"

namespace lumbo_test {

// A built-in song's XM file: its image without the length word.
std::vector<uint8_t> EmbeddedFile(const lumbo::ModuleImage* image);
// RichModule(channels, seed) as a file.
std::vector<uint8_t> Busy(int channels, uint32_t seed);
// One constant 16-bit level, looped, from row 0: the mix is a flat line.
std::vector<uint8_t> Flat();

}  // namespace lumbo_test
