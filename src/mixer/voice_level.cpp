#include "mixer/voice_level.h"

namespace lumbo {

int32_t VoiceLevel(const Voice& v, int32_t frames) {
    const Sample* sample = v.sample;
    const int32_t gain = v.currentLeft > v.currentRight ? v.currentLeft : v.currentRight;   // 255 x 256: unity
    if (!sample || !sample->data || gain <= 0 || frames <= 0) return 0;
    // The frames played: behind the position going forward, ahead of it going
    // back (the mixer plays no step of 256 frames or more). Loop turns within
    // them are not followed: an estimate.
    const int32_t last = int32_t(sample->length) - 1;
    const int32_t span = ((v.step < 255 ? v.step : 255) + 1) * frames;
    int32_t from = v.position < 0 ? 0 : v.position < last ? v.position : last;
    int32_t to = from;
    if (v.direction == 2) {
        to = from < last - span ? from + span : last;
    } else {
        from = from > span ? from - span : 0;
    }
    // At most 256 frames read, spread over the stretch.
    uint32_t peak = 0;
    for (int32_t i = from; i <= to; i += (to - from) / 256 + 1) {
        const int32_t s = sample->data[i];
        const uint32_t magnitude = uint32_t(s < 0 ? -s : s);
        if (magnitude > peak) peak = magnitude;
    }
    const uint32_t level = peak * uint32_t(gain) / (32768 * 256);   // below 2^31 x 2
    return level < 255 ? int32_t(level) : 255;
}

}  // namespace lumbo
