#include "mixer/mix_frames.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LUMBO_MIX_AVX2 1
#include <immintrin.h>

#include <cstring>
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

#ifdef LUMBO_MIX_AVX2
// Four frames per pass, the same arithmetic lane by lane. Each lane loads the
// frames at and after its position as one 64-bit word (the spare frames after
// a sample cover the two extra) and interpolates in integers as
// u0 x (2^31 - w) + u1 x w with u = frame + 32768: exact (below 2^47) and equal
// to x + 2^46. The double is built from its bits. The lanes hold frames 0, 2,
// 1, 3, so that in-lane unpacks line the values up with the buffer's pairs.
// Returns the frames mixed, a multiple of 4.
__attribute__((target("avx2"))) int32_t MixFrameQuads(MixFrame* out, int32_t n, const int16_t* d, int64_t q,
                                                       int64_t dq, double left, double right) {
    const __m256i weightBits = _mm256_set1_epi64x(0x7FFFFFFF);
    const __m256i weightOne = _mm256_set1_epi64x(int64_t(1) << 31);
    const __m256i low16 = _mm256_set1_epi64x(0xFFFF);
    const __m256i toUnsigned = _mm256_set1_epi16(int16_t(0x8000));
    const __m256i exponent52 = _mm256_set1_epi64x(0x4330000000000000);   // the bits of 2^52
    const __m256d offset = _mm256_set1_pd(0x1p52 + 0x1p46);
    const __m256d gains = _mm256_setr_pd(left, right, left, right);
    const __m256i advance = _mm256_set1_epi64x(4 * dq);
    __m256i position = _mm256_setr_epi64x(q, q + 2 * dq, q + dq, q + 3 * dq);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4, q += 4 * dq) {
        long long frames[4];
        for (int j = 0; j < 4; ++j) memcpy(&frames[j], d + int32_t((q + j * dq) >> 31), 8);
        const __m128i low = _mm_insert_epi64(_mm_cvtsi64_si128(frames[0]), frames[2], 1);
        const __m128i high = _mm_insert_epi64(_mm_cvtsi64_si128(frames[1]), frames[3], 1);
        const __m256i both = _mm256_xor_si256(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), toUnsigned);
        const __m256i weight = _mm256_and_si256(position, weightBits);
        const __m256i first = _mm256_mul_epu32(_mm256_and_si256(both, low16), _mm256_sub_epi64(weightOne, weight));
        const __m256i second = _mm256_mul_epu32(_mm256_and_si256(_mm256_srli_epi64(both, 16), low16), weight);
        const __m256i biased = _mm256_or_si256(_mm256_add_epi64(first, second), exponent52);
        const __m256d x = _mm256_sub_pd(_mm256_castsi256_pd(biased), offset);
        position = _mm256_add_epi64(position, advance);

        float* o = &out[k].left;
        const __m256d o01 = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(o)), _mm256_mul_pd(_mm256_unpacklo_pd(x, x), gains));
        const __m256d o23 = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(o + 4)), _mm256_mul_pd(_mm256_unpackhi_pd(x, x), gains));
        _mm_storeu_ps(o, _mm256_cvtpd_ps(o01));
        _mm_storeu_ps(o + 4, _mm256_cvtpd_ps(o23));
    }
    return k;
}

bool HaveAvx2() { return __builtin_cpu_supports("avx2"); }
#endif

}  // namespace

void MixFrames(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
               float gainLeft, float gainRight) {
    const double left = double(gainLeft) * kWeightUnit;
    const double right = double(gainRight) * kWeightUnit;
    int32_t k = 0;
#ifdef LUMBO_MIX_AVX2
    if (n >= 8 && HaveAvx2()) k = MixFrameQuads(out, n, d, q, dq, left, right);
#endif
    MixFramePairs(out, k, n, d, q + k * dq, dq, left, right);
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
