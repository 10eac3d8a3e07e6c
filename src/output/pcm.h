// The float mix to the 16-bit PCM the device plays.
#pragma once
#include <cstdint>

#include "mixer/voice.h"

namespace lumbo {

// Writes frameCount frames of source to destination as interleaved left/right
// 16-bit samples: each float rounded to nearest (ties to even) and clamped to
// -32768..32767, with no scaling (the mix is already in 16-bit units). Does
// nothing when either pointer is null or frameCount is not in 1..2^30 - 1.
void ConvertToPcm16(int16_t* destination, const MixFrame* source, int32_t frameCount);

}  // namespace lumbo
