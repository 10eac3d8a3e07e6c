// Builds XM modules in memory from a readable description. Used by the tests,
// the fuzz corpus and the song composer.
//
//   xm::Module m;                       // 4 channels, speed 6, tempo 125
//   m.orders = {0};
//   xm::Pattern& p = m.AddPattern(64);
//   p.At(0, 0) = {49, 1, 0x40, 0x0C, 0x20};   // C-4, instrument 1, volume 0x30, C20
//   xm::Instrument& ins = m.AddInstrument();
//   ins.samples.push_back(xm::Sample::Pcm8({0, 64, 127, 64, 0, -64, -128, -64}));
//   std::vector<uint8_t> file = xm::Write(m);
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xm {

constexpr uint8_t kKeyOff = 97;  // the file's key-off note

struct Cell {
    uint8_t note = 0;          // file value: 1..96, 97 key-off
    uint8_t instrument = 0;
    uint8_t volume = 0;        // volume-column byte
    uint8_t effect = 0;
    uint8_t param = 0;
};

enum class CellEncoding {
    Compact,    // mask byte with only the fields that are set; a full cell unpacked
    Masked,     // always a mask byte (0x80 | fields), even for a full cell
    Unpacked,   // always five bytes (a note of 128 or more falls back to a mask)
};

struct Pattern {
    int rows = 64;
    int channels = 4;            // set by Module::AddPattern
    std::vector<Cell> cells;     // rows x channels, row-major
    CellEncoding encoding = CellEncoding::Compact;
    bool storeNoData = false;    // write packed size 0 and no data
    int packedSizeOverride = -1; // write this packed size instead of the real one

    Cell& At(int row, int channel) { return cells.at(size_t(row) * channels + channel); }
};

struct Sample {
    std::vector<int16_t> frames;   // values to store: -128..127 for 8-bit, full range for 16-bit
    bool sixteenBit = false;
    uint32_t loopStart = 0;        // frames
    uint32_t loopLength = 0;       // frames
    uint8_t loopType = 0;          // 0 none, 1 forward, 2 ping-pong (3 reads as ping-pong)
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::string name;
    // Raw header values in bytes, written instead of the derived ones when >= 0.
    int64_t lengthBytesOverride = -1;
    int64_t loopStartBytesOverride = -1;
    int64_t loopLengthBytesOverride = -1;
    int typeByteOverride = -1;
    // Written as the sample's data instead of the delta-encoded frames when set.
    bool useRawData = false;
    std::vector<uint8_t> rawData;

    static Sample Pcm8(std::vector<int16_t> frames);
    static Sample Pcm16(std::vector<int16_t> frames);
    Sample& Loop(uint32_t start, uint32_t length, uint8_t type = 1);
};

struct Envelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;  // (tick, value)
    bool on = false;
    bool sustain = false;
    bool loop = false;
    uint8_t sustainPoint = 0;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
    int pointCountOverride = -1;   // written instead of points.size() when >= 0
    int typeOverride = -1;         // written instead of the on/sustain/loop bits when >= 0
};

struct Instrument {
    std::string name;
    std::vector<Sample> samples;
    uint8_t noteSampleMap[96] = {};
    Envelope volume;
    Envelope panning;
    uint8_t vibratoType = 0;
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    uint16_t fadeout = 0;          // file value (the loader doubles it)
    int64_t headerSizeOverride = -1;   // default 263 with samples, 29 without
    int sampleCountOverride = -1;      // written instead of samples.size() when >= 0
};

struct Module {
    std::string name = "lumbo test";
    std::string tracker = "lumbo xm writer";
    uint16_t version = 0x0104;
    uint32_t headerSize = 276;
    int songLengthOverride = -1;       // default: orders.size()
    uint16_t restartPosition = 0;
    uint16_t channels = 4;
    uint16_t flags = 1;                // bit 0: linear frequency table
    uint16_t speed = 6;
    uint16_t tempo = 125;
    std::vector<uint8_t> orders;       // up to 256; the rest of the table is written as 0
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    int patternCountOverride = -1;     // header value instead of patterns.size()
    int instrumentCountOverride = -1;  // header value instead of instruments.size()
    int channelCountOverride = -1;     // header value instead of channels (cells keep `channels`)
    std::vector<uint8_t> trailer;      // bytes after the last instrument (extension chunks)

    Pattern& AddPattern(int rows = 64);
    Instrument& AddInstrument(std::string name = "");
};

// The XM file bytes.
std::vector<uint8_t> Write(const Module& module);
// The embedded form: a 4-byte little-endian length, then the file.
std::vector<uint8_t> Image(const std::vector<uint8_t>& file);
// Bytes one pattern's cells take in the given encoding (for tests of the encoder).
std::vector<uint8_t> EncodeCells(const Pattern& pattern);

}  // namespace xm
