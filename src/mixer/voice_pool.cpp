#include "mixer/mixer.h"

#include <cstring>

namespace lumbo {

Voice voices[kVoiceSlots];
int32_t sampleRate = 44100;
int32_t rampLength = 128;
float rampReciprocal = 0.0078125f;

void ResetVoicePool() {
    memset(voices, 0, sizeof voices);
    for (int i = 0; i < kVoiceSlots; ++i) {
        voices[i].index = i;
        voices[i].step = 1;
    }
}

void SetRampLength(int32_t rate) {
    rampLength = int32_t((int64_t(rate) * 128) / 44100);
    rampReciprocal = rampLength > 0 ? 1.0f / float(rampLength) : 0.0f;
}

}  // namespace lumbo
