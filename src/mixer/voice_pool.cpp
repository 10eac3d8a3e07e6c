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

}  // namespace lumbo
