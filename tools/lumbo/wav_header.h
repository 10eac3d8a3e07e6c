// The canonical 44-byte RIFF/WAVE header for 16-bit stereo PCM.
#pragma once
#include <cstdint>

namespace lumbo_tool {

constexpr int kWavHeaderBytes = 44;
// The most frames one WAV file can describe (its sizes are 32-bit).
constexpr int64_t kMaxWavFrames = (0xFFFFFFFFll - 36) / 4;

// Fills header for frames frames at rate Hz. frames must not exceed kMaxWavFrames.
void FillWavHeader(uint8_t header[kWavHeaderBytes], int64_t frames, int32_t rate);

}  // namespace lumbo_tool
