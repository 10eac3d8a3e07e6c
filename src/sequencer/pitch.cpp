#include "sequencer/pitch.h"

#include <cmath>
#include <cstring>

#include "sequencer/rounding.h"

namespace lumbo {

namespace {

constexpr double kAmigaPeriodScale = 13.375;
constexpr float kOneTwelfth = 0.0833333358168602f;
constexpr float kLinearCentre = 4608.0f;
constexpr float kOne768th = 0.0013020833721384406f;
constexpr double kLinearBaseFrequency = 8363.0;
constexpr int32_t kAmigaClock = 14317056;

// Rounded 13.375 x 2^((k - note) / 12): A(132) is the note's own period,
// A(131) the note above, A(133) the note below.
int32_t ScaledPeriod(int32_t k, int32_t note) {
    double exponent = double(int64_t(k) - note) * double(kOneTwelfth);
    return Low32(RoundToInt64(kAmigaPeriodScale * Power(2.0, exponent)));
}

}  // namespace

double Power(double x, double y) {
    double t = y * std::log2(x);
    // Beyond +-2100 octaves the result is out of double range either way;
    // this also keeps NaN and infinities away from the integer conversion.
    if (!(t > -2100.0 && t < 2100.0)) return t > 0 ? HUGE_VAL : 0.0;
    double n = NearestEven(t);
    double r = t - n;  // |r| <= 0.5, exact
    // 2^r lies in [0.707, 1.415]: forming it as (2^r - 1) + 1 gives back the
    // same double, so exp2 alone does; the scaling by 2^n is exact. Within
    // the normal range it is one multiplication by 2^n, built from its bits
    // (this runs for every pitch change).
    const double fraction = std::exp2(r);
    if (n < -1021 || n > 1022) return std::ldexp(fraction, int(n));
    const uint64_t bits = uint64_t(int64_t(n) + 1023) << 52;
    double scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return fraction * scale;
}

int32_t NotePeriod(int32_t note, int32_t finetune) {
    // Products in 64 bits: for the notes and finetunes that occur they equal
    // the 32-bit ones, and no other input can overflow.
    int64_t base = ScaledPeriod(132, note);
    // A negative finetune moves toward the note below, except for note 0,
    // which extrapolates with the interval to the note above.
    if (finetune < 0 && note != 0) {
        int64_t below = ScaledPeriod(133, note);
        return Low32(base + (-int64_t(finetune) * (base - below)) / -128);
    }
    int64_t above = ScaledPeriod(131, note);
    return Low32(base + ((base - above) * finetune) / -128);
}

int32_t PeriodToFrequency(int32_t period, int32_t periodOffset, bool linear) {
    if (linear) {
        // Formed in double, so no sum here can overflow.
        double units = double(kLinearCentre) - double(period) + double(periodOffset);
        return Low32(RoundToInt64(kLinearBaseFrequency * Power(2.0, units * double(kOne768th))));
    }
    // The sum wraps as 32-bit arithmetic does; UpdateVoice tests the same sum.
    int32_t amigaPeriod = Low32(int64_t(period) + periodOffset);
    if (amigaPeriod == 0) return 0;  // callers never pass 0; no division by it
    return kAmigaClock / amigaPeriod;
}

}  // namespace lumbo
