#include "xm_file.h"

#include <cstring>

namespace lumbo_tool {

namespace {

constexpr char kSignature[] = "Extended Module: ";
constexpr size_t kSignatureLength = 17;
constexpr size_t kMaxSamples = 16;

// Reads as the loader's image reader does: bytes past the end read as 0 and
// the position stops at the end.
struct Cursor {
    const uint8_t* bytes;
    size_t         size;
    size_t         position;

    void Seek(uint64_t to) { position = to < size ? size_t(to) : size; }
    uint8_t U8() { return position < size ? bytes[position++] : 0; }
    uint16_t U16() {
        uint16_t low = U8();
        return uint16_t(low | U8() << 8);
    }
    uint32_t U32() {
        uint32_t low = U16();
        return low | uint32_t(U16()) << 16;
    }
};

// The text field at offset, as far as the file has it: unprintable bytes
// become '?', trailing blanks and zeros go.
std::string Text(const uint8_t* bytes, size_t size, size_t offset, size_t length) {
    std::string text;
    for (size_t i = offset; i < offset + length && i < size; ++i) {
        uint8_t c = bytes[i];
        text.push_back(c >= 0x20 && c < 0x7F ? char(c) : c == 0 ? ' ' : '?');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

void SkipCell(Cursor& in) {
    uint8_t b = in.U8();
    if (!(b & 0x80)) {
        in.Seek(in.position + 4);
        return;
    }
    for (uint8_t bit = 0x01; bit <= 0x10; bit = uint8_t(bit << 1)) {
        if (b & bit) in.U8();
    }
}

}  // namespace

bool ReadXmFile(const uint8_t* bytes, size_t size, XmFile* file) {
    *file = XmFile{};
    if (size < kSignatureLength || memcmp(bytes, kSignature, kSignatureLength) != 0) return false;
    file->title = Text(bytes, size, 17, 20);
    file->tracker = Text(bytes, size, 38, 20);
    Cursor in = {bytes, size, 58};
    file->version = in.U16();
    uint32_t headerSize = in.U32();
    in.U16();  // song length
    in.U16();  // restart position
    uint16_t channels = in.U16();
    file->storedPatterns = in.U16();
    uint16_t instruments = in.U16();

    in.Seek(60 + uint64_t(headerSize));
    for (uint32_t p = 0; p < file->storedPatterns && in.position < size; ++p) {
        in.U32();  // header length, taken to be 9
        in.U8();   // packing type
        uint32_t rows = in.U16();
        if (in.U16() == 0) continue;  // no data
        uint64_t cells = uint64_t(channels) * rows;
        for (uint64_t c = 0; c < cells && in.position < size; ++c) SkipCell(in);
    }

    for (uint32_t i = 0; i < instruments && in.position < size; ++i) {
        size_t start = in.position;
        uint32_t instrumentSize = in.U32();
        in.Seek(in.position + 23);
        uint16_t sampleCount = in.U16();
        if (sampleCount > kMaxSamples) break;
        file->instruments.emplace_back();
        in.Seek(start + uint64_t(instrumentSize));
        if (sampleCount == 0) continue;
        uint64_t dataBytes = 0;
        for (uint16_t j = 0; j < sampleCount; ++j) {
            XmSampleHeader h;
            h.length = in.U32();
            h.loopStart = in.U32();
            h.loopLength = in.U32();
            in.U8();  // volume
            in.U8();  // finetune
            h.type = in.U8();
            in.Seek(in.position + 25);
            file->instruments.back().push_back(h);
            // 16-bit data is read as whole frames.
            dataBytes += (h.type & 0x10) ? h.length & ~1u : h.length;
        }
        in.Seek(in.position + dataBytes);
    }
    return true;
}

}  // namespace lumbo_tool
