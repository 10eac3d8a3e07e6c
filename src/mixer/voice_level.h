// How loud a voice has been lately, for a host's level meters.
#pragma once
#include <cstdint>

#include "mixer/voice.h"

namespace lumbo {

// An estimate of the voice's peak over the last `frames` output frames, 0
// (silent) .. 255 (full scale), linear in amplitude: the largest sample value
// in the stretch of its sample those frames played, times the louder side's
// gain reached now. Reads at most 257 frames of the sample; does not change
// the voice.
int32_t VoiceLevel(const Voice& v, int32_t frames);

}  // namespace lumbo
