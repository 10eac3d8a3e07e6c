#include "wav_header.h"

#include <cstring>

namespace lumbo_tool {

namespace {

constexpr uint16_t kPcmFormat = 1;
constexpr uint16_t kChannels = 2;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint16_t kBytesPerFrame = kChannels * kBitsPerSample / 8;

uint8_t* Put16(uint8_t* at, uint16_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
    return at + 2;
}

uint8_t* Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
    return at + 4;
}

uint8_t* PutTag(uint8_t* at, const char* tag) {
    memcpy(at, tag, 4);
    return at + 4;
}

}  // namespace

void FillWavHeader(uint8_t header[kWavHeaderBytes], int64_t frames, int32_t rate) {
    const uint32_t dataBytes = uint32_t(frames) * kBytesPerFrame;
    uint8_t* at = header;
    at = PutTag(at, "RIFF");
    at = Put32(at, 36 + dataBytes);   // everything after this field
    at = PutTag(at, "WAVE");
    at = PutTag(at, "fmt ");
    at = Put32(at, 16);
    at = Put16(at, kPcmFormat);
    at = Put16(at, kChannels);
    at = Put32(at, uint32_t(rate));
    at = Put32(at, uint32_t(rate) * kBytesPerFrame);
    at = Put16(at, kBytesPerFrame);
    at = Put16(at, kBitsPerSample);
    at = PutTag(at, "data");
    Put32(at, dataBytes);
}

}  // namespace lumbo_tool
