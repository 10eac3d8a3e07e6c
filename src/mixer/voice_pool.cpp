#include "mixer/mixer.h"

#include <cstring>

namespace lumbo {

void ResetVoicePool(Mixer& mixer) {
    memset(mixer.voices, 0, sizeof mixer.voices);
    for (int i = 0; i < kVoiceSlots; ++i) {
        mixer.voices[i].index = i;
        mixer.voices[i].step = 1;
    }
}

}  // namespace lumbo
