#include "mixer/mix_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mixer/mix_frames_wasm.h"
#include "mixer/mix_frames_x86.h"

// A four-frame loop every processor of the build has, which needs no probe:
// the frames after its passes go one by one.
#if defined(LUMBO_SSE2_FRAME_LOOP) || defined(LUMBO_SIMD128_FRAME_LOOP)
#define LUMBO_BASE_VECTOR_LOOP 1
#endif

namespace lumbo {
namespace {

constexpr double kWeightUnit = 1.0 / 2147483648.0;   // 2^-31, one step of the 31-bit weight

// 2^31 times the interpolated sample value at half-unit position q. Exact,
// like the interpolation in double precision it stands for: a 31-bit weight
// times a 17-bit difference, plus the first frame, all within 53 bits.
inline double ScaledSample(const int16_t* d, int64_t q) {
    const int32_t p = int32_t(q >> 31);
    const int32_t a = d[p];
    const int32_t b = d[p + 1];
    return double(int64_t(a) * (int64_t(1) << 31) + (q & 0x7FFFFFFF) * int64_t(b - a));
}

// The gain of frame k of a run.
template <bool kRamp>
inline double GainAt(double gain, double delta, int32_t k) {
    return kRamp ? gain + k * delta : gain;
}

#ifndef LUMBO_BASE_VECTOR_LOOP
// out + s x gain, rounded to double at the product and at the sum, then stored
// as a float. (x = s x 2^31 and scaledGain = gain x 2^-31 give the same product.)
inline float AddScaled(float out, double x, double scaledGain) {
    return float(double(out) + x * scaledGain);
}

// Frames k..n-1 one pair per pass: the loop where there is no vector loop.
template <bool kRamp>
void MixFramePairs(MixFrame* out, int32_t k, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                   const RunGains& g, bool fresh) {
    if (fresh) {
        for (int32_t i = k; i < n; ++i) out[i] = MixFrame{0.0f, 0.0f};
    }
    for (; k + 2 <= n; k += 2) {
        const double x0 = ScaledSample(d, q);
        const double x1 = ScaledSample(d, q + dq);
        q += 2 * dq;
        out[k].left = AddScaled(out[k].left, x0, GainAt<kRamp>(g.left, g.deltaLeft, k));
        out[k].right = AddScaled(out[k].right, x0, GainAt<kRamp>(g.right, g.deltaRight, k));
        out[k + 1].left = AddScaled(out[k + 1].left, x1, GainAt<kRamp>(g.left, g.deltaLeft, k + 1));
        out[k + 1].right = AddScaled(out[k + 1].right, x1, GainAt<kRamp>(g.right, g.deltaRight, k + 1));
    }
    if (k < n) {
        const double x = ScaledSample(d, q);
        out[k].left = AddScaled(out[k].left, x, GainAt<kRamp>(g.left, g.deltaLeft, k));
        out[k].right = AddScaled(out[k].right, x, GainAt<kRamp>(g.right, g.deltaRight, k));
    }
}

#endif

// The ramp as defined, the gains summed frame by frame.
void MixRampOneByOne(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, double* gainLeft,
                     double* gainRight, double deltaLeft, double deltaRight, bool fresh) {
    double left = *gainLeft;
    double right = *gainRight;
    if (out && fresh && n > 0) memset(out, 0, sizeof(MixFrame) * size_t(n));   // few frames: the tail of a pass loop
    for (int32_t k = 0; k < n; ++k, q += dq) {
        if (out) {
            const double s = ScaledSample(d, q) * kWeightUnit;
            out[k].left = float(double(out[k].left) + s * left);
            out[k].right = float(double(out[k].right) + s * right);
        }
        left += deltaLeft;
        right += deltaRight;
    }
    *gainLeft = left;
    *gainRight = right;
}

// The binary exponent of a normal double, and kNotNormal for zero,
// subnormals, infinities and NaN; run once per ramp run.
constexpr int kNotNormal = 4096;

inline int Exponent(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int biased = int(bits >> 52) & 0x7FF;
    return biased != 0 && biased != 0x7FF ? biased - 1023 : kNotNormal;
}

// 2^e for a normal e (-1022..1023).
inline double PowerOfTwo(int e) {
    const uint64_t bits = uint64_t(e + 1023) << 52;
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// Whether gain + k x delta is exact in double precision for every k <= n:
// then adding delta k times comes to the same value, and the frames of a ramp
// need not wait for one another. Both hold single-precision values, so each
// is a multiple of 2^(exponent - 23); with the largest sum below 2^52 times
// the smaller of those units, every sum is. True for every gain and delta a
// voice can have in play; values outside that (not normal numbers, or
// exponents near the top of the range) take the summing definition.
bool RampSumsExact(double gain, double delta, int32_t n) {
    if (delta == 0) return true;
    const int deltaExponent = Exponent(delta);
    const int gainExponent = gain != 0 ? Exponent(gain) : deltaExponent;
    if (deltaExponent == kNotNormal || gainExponent == kNotNormal) return false;
    const int bound = std::min(deltaExponent, gainExponent) - 23 + 52;   // at least -993
    if (bound > 1023) return false;
    return std::fabs(gain) + n * std::fabs(delta) < PowerOfTwo(bound);
}

}  // namespace

bool HasFrameLoop(FrameLoop loop) {
#ifdef LUMBO_SSE2_FRAME_LOOP
    if (loop == FrameLoop::kSse2) return true;
#endif
#ifdef LUMBO_SIMD128_FRAME_LOOP
    if (loop == FrameLoop::kSimd128) return true;
#endif
#ifdef LUMBO_X86_FRAME_LOOPS
    if (loop == FrameLoop::kAvx2) return __builtin_cpu_supports("avx2");
    if (loop == FrameLoop::kAvx512) return __builtin_cpu_supports("avx512f");
#endif
    return loop == FrameLoop::kPortable;
}

void MixRampFramesWith(FrameLoop loop, MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                       double* gainLeft, double* gainRight, double deltaLeft, double deltaRight, bool fresh) {
    if (!RampSumsExact(*gainLeft, deltaLeft, n) || !RampSumsExact(*gainRight, deltaRight, n)) {
        MixRampOneByOne(out, n, d, q, dq, gainLeft, gainRight, deltaLeft, deltaRight, fresh);
        return;
    }
    if (!out) {   // the gains alone
        *gainLeft += n * deltaLeft;
        *gainRight += n * deltaRight;
        return;
    }
    // Scaling by 2^-31 is exact and lets the loops use s x 2^31 as it comes.
    const RunGains gains{*gainLeft * kWeightUnit, *gainRight * kWeightUnit, deltaLeft * kWeightUnit,
                         deltaRight * kWeightUnit};
    int32_t k = 0;
#ifdef LUMBO_SSE2_FRAME_LOOP
    if (loop == FrameLoop::kSse2) k = MixFramesSse2(out, n, d, q, dq, gains, fresh);
#endif
#ifdef LUMBO_SIMD128_FRAME_LOOP
    if (loop == FrameLoop::kSimd128) k = MixFramesSimd128(out, n, d, q, dq, gains, fresh);
#endif
#ifdef LUMBO_X86_FRAME_LOOPS
    if (loop == FrameLoop::kAvx512) {
        k = MixFramesAvx512(out, n, d, q, dq, gains, fresh);
        // Four of the up to seven frames left in one more pass: from frame k,
        // whose gains are exact sums like every other frame's.
        if (n - k >= 4 && HasFrameLoop(FrameLoop::kAvx2)) {
            const RunGains rest{gains.left + k * gains.deltaLeft, gains.right + k * gains.deltaRight,
                                gains.deltaLeft, gains.deltaRight};
            k += MixFramesAvx2(out + k, n - k, d, q + k * dq, dq, rest, fresh);
        }
    }
    if (loop == FrameLoop::kAvx2) k = MixFramesAvx2(out, n, d, q, dq, gains, fresh);
#endif
    (void)loop;
#ifdef LUMBO_BASE_VECTOR_LOOP
    // The frames after the last whole pass (and short runs): as defined, from
    // the gains frame k has, which are exact sums, so the same floats as the
    // pair loop gives, and no second copy of it in the code.
    double left = *gainLeft + k * deltaLeft, right = *gainRight + k * deltaRight;
    MixRampOneByOne(out + k, n - k, d, q + k * dq, dq, &left, &right, deltaLeft, deltaRight, fresh);
#else
    if (deltaLeft == 0 && deltaRight == 0) {
        MixFramePairs<false>(out, k, n, d, q + k * dq, dq, gains, fresh);
    } else {
        MixFramePairs<true>(out, k, n, d, q + k * dq, dq, gains, fresh);
    }
#endif
    *gainLeft += n * deltaLeft;
    *gainRight += n * deltaRight;
}

namespace {

FrameLoop FastestFrameLoop(int32_t n) {
    if (n < 4) return FrameLoop::kPortable;   // no whole pass
#ifdef LUMBO_X86_FRAME_LOOPS
    if (n >= 8) {
        if (HasFrameLoop(FrameLoop::kAvx512)) return FrameLoop::kAvx512;
        if (HasFrameLoop(FrameLoop::kAvx2)) return FrameLoop::kAvx2;
    }
#endif
#if defined(LUMBO_SSE2_FRAME_LOOP)
    return FrameLoop::kSse2;
#elif defined(LUMBO_SIMD128_FRAME_LOOP)
    return FrameLoop::kSimd128;
#else
    return FrameLoop::kPortable;
#endif
}

}  // namespace

void MixFrames(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
               float gainLeft, float gainRight, bool fresh) {
    double left = gainLeft, right = gainRight;
    MixRampFramesWith(FastestFrameLoop(n), out, n, d, q, dq, &left, &right, 0, 0, fresh);
}

void MixRampFrames(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                   double* gainLeft, double* gainRight, double deltaLeft, double deltaRight, bool fresh) {
    MixRampFramesWith(FastestFrameLoop(n), out, n, d, q, dq, gainLeft, gainRight, deltaLeft, deltaRight, fresh);
}

}  // namespace lumbo
