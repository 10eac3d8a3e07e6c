// What lumbo info reads from an XM file's own bytes: the texts the Song does
// not keep, and the sample headers as written, before the loader cuts loops
// to fit.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lumbo_tool {

struct XmSampleHeader {
    uint32_t length;           // bytes, as written
    uint32_t loopStart;        // bytes
    uint32_t loopLength;       // bytes
    uint8_t  type;             // bits 0-1 loop type, bit 4 16-bit data
};

struct XmFile {
    std::string title;         // printable, trailing blanks removed
    std::string tracker;
    uint16_t    version;       // 0x0104 for format 1.04
    uint16_t    storedPatterns;
    // Each instrument's sample headers, as far as the walk got (it stops at an
    // instrument of more than 16 samples, as the loader does).
    std::vector<std::vector<XmSampleHeader>> instruments;
};

// Reads the header texts and walks the file the way the loader does (pattern
// data cell by cell, not by its stated size). The file must start with the
// XM signature; false when it does not.
bool ReadXmFile(const uint8_t* bytes, size_t size, XmFile* file);

}  // namespace lumbo_tool
