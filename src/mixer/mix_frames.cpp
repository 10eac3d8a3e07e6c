#include "mixer/mix_frames.h"

#include "mixer/mix_frames_x86.h"

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

// out + s x gain, rounded to double at the product and at the sum, then stored
// as a float. (x = s x 2^31 and scaledGain = gain x 2^-31 give the same product.)
inline float AddScaled(float out, double x, double scaledGain) {
    return float(double(out) + x * scaledGain);
}

// Frames k..n-1 one pair per pass, with the gains scaled by 2^-31.
void MixFramePairs(MixFrame* out, int32_t k, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                   double left, double right) {
    for (; k + 2 <= n; k += 2) {
        const double x0 = ScaledSample(d, q);
        const double x1 = ScaledSample(d, q + dq);
        q += 2 * dq;
        out[k].left = AddScaled(out[k].left, x0, left);
        out[k].right = AddScaled(out[k].right, x0, right);
        out[k + 1].left = AddScaled(out[k + 1].left, x1, left);
        out[k + 1].right = AddScaled(out[k + 1].right, x1, right);
    }
    if (k < n) {
        const double x = ScaledSample(d, q);
        out[k].left = AddScaled(out[k].left, x, left);
        out[k].right = AddScaled(out[k].right, x, right);
    }
}

}  // namespace

bool HasFrameLoop(FrameLoop loop) {
#ifdef LUMBO_X86_FRAME_LOOPS
    if (loop == FrameLoop::kAvx2) return __builtin_cpu_supports("avx2");
    if (loop == FrameLoop::kAvx512) return __builtin_cpu_supports("avx512f");
#endif
    return loop == FrameLoop::kPortable;
}

void MixFramesWith(FrameLoop loop, MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                   float gainLeft, float gainRight) {
    const double left = double(gainLeft) * kWeightUnit;
    const double right = double(gainRight) * kWeightUnit;
    int32_t k = 0;
#ifdef LUMBO_X86_FRAME_LOOPS
    if (loop == FrameLoop::kAvx512) k = MixFramesAvx512(out, n, d, q, dq, left, right);
    if (loop == FrameLoop::kAvx2) k = MixFramesAvx2(out, n, d, q, dq, left, right);
#else
    (void)loop;
#endif
    MixFramePairs(out, k, n, d, q + k * dq, dq, left, right);
}

void MixFrames(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
               float gainLeft, float gainRight) {
    FrameLoop loop = FrameLoop::kPortable;
    if (n >= 8) {
        if (HasFrameLoop(FrameLoop::kAvx512)) {
            loop = FrameLoop::kAvx512;
        } else if (HasFrameLoop(FrameLoop::kAvx2)) {
            loop = FrameLoop::kAvx2;
        }
    }
    MixFramesWith(loop, out, n, d, q, dq, gainLeft, gainRight);
}

void MixRampFrames(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                   double* gainLeft, double* gainRight, double deltaLeft, double deltaRight) {
    double left = *gainLeft;
    double right = *gainRight;
    for (int32_t k = 0; k < n; ++k, q += dq) {
        const double s = ScaledSample(d, q) * kWeightUnit;
        out[k].left = float(double(out[k].left) + s * left);
        out[k].right = float(double(out[k].right) + s * right);
        left += deltaLeft;
        right += deltaRight;
    }
    *gainLeft = left;
    *gainRight = right;
}

}  // namespace lumbo
