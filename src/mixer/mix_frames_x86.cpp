#include "mixer/mix_frames_x86.h"

#ifdef LUMBO_SSE2_FRAME_LOOP
#include <emmintrin.h>

namespace lumbo {
namespace {

// The four frames at and after half-unit position q, and at and after qb, in
// the two halves of a vector (unaligned loads; movhpd has no alignment rule).
inline __m128i FramePairsSse2(const int16_t* d, int64_t qa, int64_t qb) {
    const __m128d low = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(d + (qa >> 31))));
    return _mm_castpd_si128(_mm_loadh_pd(low, reinterpret_cast<const double*>(d + (qb >> 31))));
}

// The arithmetic of the AVX2 loop below on two frames per vector, a pair of
// vectors per pass; needs nothing beyond SSE2, so the 32-bit DLL, which
// cannot probe the processor, uses it unconditionally.
template <bool kRamp>
int32_t Sse2Passes(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& g,
                   bool fresh) {
    // Fresh frames read as +0.0: one mask costs less code than a second loop.
    const __m128 keep = _mm_castsi128_ps(_mm_set1_epi32(fresh ? 0 : -1));
    const __m128i weightBits = _mm_set1_epi32(0x7FFFFFFF);   // the low halves are all mul_epu32 reads
    const __m128i weightOne = _mm_set1_epi32(int32_t(0x80000000u));
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    const __m128i toUnsigned = _mm_set1_epi16(int16_t(0x8000));
    const __m128i exponent52 = _mm_set_epi32(0x43300000, 0, 0x43300000, 0);   // the bits of 2^52
    const __m128d offset = _mm_set1_pd(0x1p52 + 0x1p46);
    const __m128d gains = _mm_setr_pd(g.left, g.right);
    const __m128d deltas = _mm_setr_pd(g.deltaLeft, g.deltaRight);
    __m128d frame = _mm_setzero_pd();   // k on both sides
    int32_t k = 0;
    for (; k + 4 <= n; k += 4, q += 4 * dq) {
        const __m128i w01 = FramePairsSse2(d, q, q + dq);
        const __m128i w23 = FramePairsSse2(d, q + 2 * dq, q + 3 * dq);
        // The weights: the low 32 bits of each position, top bit cleared.
        const __m128i p01 = _mm_set_epi32(0, int32_t(q + dq), 0, int32_t(q));
        const __m128i p23 = _mm_set_epi32(0, int32_t(q + 3 * dq), 0, int32_t(q + 2 * dq));
        __m128d x[2];
        const __m128i words[2] = {w01, w23};
        const __m128i positions[2] = {p01, p23};
        for (int half = 0; half < 2; ++half) {
            const __m128i both = _mm_xor_si128(words[half], toUnsigned);
            const __m128i weight = _mm_and_si128(positions[half], weightBits);
            const __m128i first = _mm_mul_epu32(_mm_and_si128(both, low16), _mm_sub_epi32(weightOne, weight));
            const __m128i second = _mm_mul_epu32(_mm_and_si128(_mm_srli_epi64(both, 16), low16), weight);
            const __m128i biased = _mm_or_si128(_mm_add_epi64(first, second), exponent52);
            x[half] = _mm_sub_pd(_mm_castsi128_pd(biased), offset);
        }
        float* o = &out[k].left;
        const __m128 o01 = _mm_and_ps(_mm_loadu_ps(o), keep);
        const __m128 o23 = _mm_and_ps(_mm_loadu_ps(o + 4), keep);
        const __m128d in[4] = {_mm_cvtps_pd(o01), _mm_cvtps_pd(_mm_movehl_ps(o01, o01)), _mm_cvtps_pd(o23),
                               _mm_cvtps_pd(_mm_movehl_ps(o23, o23))};
        const __m128d xs[4] = {_mm_unpacklo_pd(x[0], x[0]), _mm_unpackhi_pd(x[0], x[0]),
                               _mm_unpacklo_pd(x[1], x[1]), _mm_unpackhi_pd(x[1], x[1])};
        __m128 sums[4];
        for (int j = 0; j < 4; ++j) {
            __m128d gain = gains;
            if (kRamp) {   // exact: see RampSumsExact
                gain = _mm_add_pd(gains, _mm_mul_pd(frame, deltas));
                frame = _mm_add_pd(frame, _mm_set1_pd(1));
            }
            sums[j] = _mm_cvtpd_ps(_mm_add_pd(in[j], _mm_mul_pd(xs[j], gain)));
        }
        _mm_storeu_ps(o, _mm_movelh_ps(sums[0], sums[1]));
        _mm_storeu_ps(o + 4, _mm_movelh_ps(sums[2], sums[3]));
    }
    return k;
}

}  // namespace

int32_t MixFramesSse2(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                      bool fresh) {
    const bool ramp = gains.deltaLeft != 0 || gains.deltaRight != 0;
    return ramp ? Sse2Passes<true>(out, n, d, q, dq, gains, fresh) : Sse2Passes<false>(out, n, d, q, dq, gains, fresh);
}

}  // namespace lumbo
#endif

#ifdef LUMBO_X86_FRAME_LOOPS
// GCC 12 warns about the deliberately undefined vectors inside its own
// AVX-512 headers.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

namespace lumbo {
namespace {

// The frames at and after half-unit position q as one 64-bit word; it also
// holds the two frames after those, which the spare frames after every sample
// cover.
inline const double* FramesAt(const int16_t* d, int64_t q) { return reinterpret_cast<const double*>(d + (q >> 31)); }

// The word at q in the low half of a vector (an unaligned load).
inline __m128d LoadFrames(const int16_t* d, int64_t q) {
    return _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(FramesAt(d, q))));
}

// The words at qa and qb in the two halves of a vector.
inline __m128i LoadFramePairs(const int16_t* d, int64_t qa, int64_t qb) {
    return _mm_castpd_si128(_mm_loadh_pd(LoadFrames(d, qa), FramesAt(d, qb)));
}

// The word at q in every quarter of a vector. Sample data is only 2-byte
// aligned: broadcast from an unaligned integer load (one vpbroadcastq), not
// from a double the compiler may assume aligned.
__attribute__((target("avx2"))) inline __m256d BroadcastFrames(const int16_t* d, int64_t q) {
    return _mm256_castsi256_pd(
        _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(FramesAt(d, q)))));
}

// Four frames per pass, the same arithmetic lane by lane. Each lane
// interpolates in integers as u0 x (2^31 - w) + u1 x w with u = frame + 32768:
// exact (below 2^47) and equal to x + 2^46; the double is built from its bits.
// The lanes hold frames 0, 2, 1, 3, so that in-lane unpacks line the values up
// with the buffer's left/right pairs. Returns the frames mixed.
template <bool kRamp, bool kFresh>
__attribute__((target("avx2"))) int32_t Avx2Passes(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                                                    const RunGains& g) {
    const __m256i weightBits = _mm256_set1_epi64x(0x7FFFFFFF);
    const __m256i weightOne = _mm256_set1_epi64x(int64_t(1) << 31);
    const __m256i low16 = _mm256_set1_epi64x(0xFFFF);
    const __m256i toUnsigned = _mm256_set1_epi16(int16_t(0x8000));
    const __m256i exponent52 = _mm256_set1_epi64x(0x4330000000000000);   // the bits of 2^52
    const __m256d offset = _mm256_set1_pd(0x1p52 + 0x1p46);
    const __m256d gains = _mm256_setr_pd(g.left, g.right, g.left, g.right);
    const __m256d deltas = _mm256_setr_pd(g.deltaLeft, g.deltaRight, g.deltaLeft, g.deltaRight);
    __m256d frame = _mm256_setr_pd(0, 0, 1, 1);   // frame numbers k, k + 1 on each side
    const __m256i advance = _mm256_set1_epi64x(4 * dq);
    __m256i position = _mm256_setr_epi64x(q, q + 2 * dq, q + dq, q + 3 * dq);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4, q += 4 * dq) {
        // Broadcast loads and blends keep the shuffle unit free for the rest.
        __m256d words = _mm256_castpd128_pd256(LoadFrames(d, q));
        words = _mm256_blend_pd(words, BroadcastFrames(d, q + 2 * dq), 0x2);
        words = _mm256_blend_pd(words, BroadcastFrames(d, q + dq), 0x4);
        words = _mm256_blend_pd(words, BroadcastFrames(d, q + 3 * dq), 0x8);
        const __m256i both = _mm256_xor_si256(_mm256_castpd_si256(words), toUnsigned);
        const __m256i weight = _mm256_and_si256(position, weightBits);
        const __m256i first = _mm256_mul_epu32(_mm256_and_si256(both, low16), _mm256_sub_epi64(weightOne, weight));
        const __m256i second = _mm256_mul_epu32(_mm256_and_si256(_mm256_srli_epi64(both, 16), low16), weight);
        const __m256i biased = _mm256_or_si256(_mm256_add_epi64(first, second), exponent52);
        const __m256d x = _mm256_sub_pd(_mm256_castsi256_pd(biased), offset);
        position = _mm256_add_epi64(position, advance);

        __m256d gains01 = gains, gains23 = gains;
        if (kRamp) {   // exact: see RampSumsExact
            gains01 = _mm256_add_pd(gains, _mm256_mul_pd(frame, deltas));
            gains23 = _mm256_add_pd(gains, _mm256_mul_pd(_mm256_add_pd(frame, _mm256_set1_pd(2)), deltas));
            frame = _mm256_add_pd(frame, _mm256_set1_pd(4));
        }
        float* o = &out[k].left;
        const __m256d s01 = _mm256_mul_pd(_mm256_unpacklo_pd(x, x), gains01);
        const __m256d s23 = _mm256_mul_pd(_mm256_unpackhi_pd(x, x), gains23);
        // A fresh frame is 0.0 + s: the sum, not the product, keeps a zero positive.
        const __m256d o01 = _mm256_add_pd(kFresh ? _mm256_setzero_pd() : _mm256_cvtps_pd(_mm_loadu_ps(o)), s01);
        const __m256d o23 = _mm256_add_pd(kFresh ? _mm256_setzero_pd() : _mm256_cvtps_pd(_mm_loadu_ps(o + 4)), s23);
        _mm_storeu_ps(o, _mm256_cvtpd_ps(o01));
        _mm_storeu_ps(o + 4, _mm256_cvtpd_ps(o23));
    }
    return k;
}

// The same over eight frames. The lanes hold frames 0, 4, 1, 5, 2, 6, 3, 7.
template <bool kRamp, bool kFresh>
__attribute__((target("avx512f"))) int32_t Avx512Passes(MixFrame* out, int32_t n, const int16_t* d, int64_t q,
                                                        int64_t dq, const RunGains& g) {
    const __m512i weightBits = _mm512_set1_epi64(0x7FFFFFFF);
    const __m512i weightOne = _mm512_set1_epi64(int64_t(1) << 31);
    const __m512i low16 = _mm512_set1_epi64(0xFFFF);
    const __m512i toUnsigned = _mm512_set1_epi32(int(0x80008000u));
    const __m512i exponent52 = _mm512_set1_epi64(0x4330000000000000);
    const __m512d offset = _mm512_set1_pd(0x1p52 + 0x1p46);
    const __m512d gains = _mm512_setr_pd(g.left, g.right, g.left, g.right, g.left, g.right, g.left, g.right);
    const __m512d deltas = _mm512_setr_pd(g.deltaLeft, g.deltaRight, g.deltaLeft, g.deltaRight, g.deltaLeft,
                                          g.deltaRight, g.deltaLeft, g.deltaRight);
    __m512d frame = _mm512_setr_pd(0, 0, 1, 1, 2, 2, 3, 3);
    const __m512i advance = _mm512_set1_epi64(8 * dq);
    __m512i position = _mm512_setr_epi64(q, q + 4 * dq, q + dq, q + 5 * dq, q + 2 * dq, q + 6 * dq, q + 3 * dq,
                                         q + 7 * dq);
    int32_t k = 0;
    for (; k + 8 <= n; k += 8, q += 8 * dq) {
        const __m128i f04 = LoadFramePairs(d, q, q + 4 * dq);
        const __m128i f15 = LoadFramePairs(d, q + dq, q + 5 * dq);
        const __m128i f26 = LoadFramePairs(d, q + 2 * dq, q + 6 * dq);
        const __m128i f37 = LoadFramePairs(d, q + 3 * dq, q + 7 * dq);
        const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(f04), f15, 1);
        const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(f26), f37, 1);
        const __m512i both = _mm512_xor_si512(_mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1), toUnsigned);
        const __m512i weight = _mm512_and_si512(position, weightBits);
        const __m512i first = _mm512_mul_epu32(_mm512_and_si512(both, low16), _mm512_sub_epi64(weightOne, weight));
        const __m512i second = _mm512_mul_epu32(_mm512_and_si512(_mm512_srli_epi64(both, 16), low16), weight);
        const __m512i biased = _mm512_or_si512(_mm512_add_epi64(first, second), exponent52);
        const __m512d x = _mm512_sub_pd(_mm512_castsi512_pd(biased), offset);
        position = _mm512_add_epi64(position, advance);

        __m512d gains03 = gains, gains47 = gains;
        if (kRamp) {
            gains03 = _mm512_add_pd(gains, _mm512_mul_pd(frame, deltas));
            gains47 = _mm512_add_pd(gains, _mm512_mul_pd(_mm512_add_pd(frame, _mm512_set1_pd(4)), deltas));
            frame = _mm512_add_pd(frame, _mm512_set1_pd(8));
        }
        float* o = &out[k].left;
        const __m512d s03 = _mm512_mul_pd(_mm512_unpacklo_pd(x, x), gains03);
        const __m512d s47 = _mm512_mul_pd(_mm512_unpackhi_pd(x, x), gains47);
        const __m512d o03 = _mm512_add_pd(kFresh ? _mm512_setzero_pd() : _mm512_cvtps_pd(_mm256_loadu_ps(o)), s03);
        const __m512d o47 = _mm512_add_pd(kFresh ? _mm512_setzero_pd() : _mm512_cvtps_pd(_mm256_loadu_ps(o + 8)), s47);
        _mm256_storeu_ps(o, _mm512_cvtpd_ps(o03));
        _mm256_storeu_ps(o + 8, _mm512_cvtpd_ps(o47));
    }
    return k;
}

}  // namespace

int32_t MixFramesAvx2(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                      bool fresh) {
    const bool ramp = gains.deltaLeft != 0 || gains.deltaRight != 0;
    if (ramp) {
        return fresh ? Avx2Passes<true, true>(out, n, d, q, dq, gains)
                     : Avx2Passes<true, false>(out, n, d, q, dq, gains);
    }
    return fresh ? Avx2Passes<false, true>(out, n, d, q, dq, gains)
                 : Avx2Passes<false, false>(out, n, d, q, dq, gains);
}

int32_t MixFramesAvx512(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                        bool fresh) {
    const bool ramp = gains.deltaLeft != 0 || gains.deltaRight != 0;
    if (ramp) {
        return fresh ? Avx512Passes<true, true>(out, n, d, q, dq, gains)
                     : Avx512Passes<true, false>(out, n, d, q, dq, gains);
    }
    return fresh ? Avx512Passes<false, true>(out, n, d, q, dq, gains)
                 : Avx512Passes<false, false>(out, n, d, q, dq, gains);
}

}  // namespace lumbo
#endif
