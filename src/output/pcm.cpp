#include "output/pcm.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(LUMBO_PORTABLE_MIXER)
#define LUMBO_AVX2_PCM 1
#include <immintrin.h>
#endif

namespace lumbo {

static_assert(sizeof(MixFrame) == 2 * sizeof(float), "MixFrame is read as a run of floats");

namespace {

constexpr float kPcmMin = -32768.0f;
constexpr float kPcmMax = 32767.0f;

// Clamping before rounding gives the same result as rounding and then
// clamping for every finite value, and keeps the conversion in range for any
// magnitude. A NaN fails the first comparison and becomes -32768, as in the
// vector path.
inline int16_t ToPcm16(float value) {
    float clamped = value > kPcmMin ? value : kPcmMin;
    clamped = clamped < kPcmMax ? clamped : kPcmMax;
    return static_cast<int16_t>(std::lrint(clamped));   // nearest, ties to even
}

#ifdef LUMBO_AVX2_PCM
// The SSE2 loop below, sixteen samples per pass, where the processor has AVX2;
// returns the samples it converted.
__attribute__((target("avx2"))) int32_t ConvertAvx2(int16_t* destination, const float* in, int32_t sampleCount) {
    const __m256 low = _mm256_set1_ps(kPcmMin);
    const __m256 high = _mm256_set1_ps(kPcmMax);
    int32_t i = 0;
    for (; i + 16 <= sampleCount; i += 16) {
        const __m256 a = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(in + i), low), high);
        const __m256 b = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(in + i + 8), low), high);
        // Packing works within 128-bit lanes: a0-3 b0-3 a4-7 b4-7, put in order.
        const __m256i packed = _mm256_packs_epi32(_mm256_cvtps_epi32(a), _mm256_cvtps_epi32(b));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return i;
}
#endif

}  // namespace

void ConvertToPcm16(int16_t* destination, const MixFrame* source, int32_t frameCount) {
    if (!destination || !source || frameCount <= 0) return;
    if (frameCount > INT32_MAX / 2) return;   // 2 x frameCount would not be a positive 32-bit count
    const int32_t sampleCount = 2 * frameCount;
    const float* in = &source->left;   // MixFrame is two packed floats, left first
    int32_t i = 0;
#ifdef LUMBO_AVX2_PCM
    if (sampleCount >= 16 && __builtin_cpu_supports("avx2")) i = ConvertAvx2(destination, in, sampleCount);
#endif
#if defined(__SSE2__)
    // cvtps2dq rounds with the current mode, nearest-even by default; max
    // returns its second operand for a NaN, like the scalar path.
    const __m128 low = _mm_set1_ps(kPcmMin);
    const __m128 high = _mm_set1_ps(kPcmMax);
    for (; i + 8 <= sampleCount; i += 8) {
        __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(in + i), low), high);
        __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(in + i + 4), low), high);
        __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
    }
#endif
#if defined(__wasm_simd128__)
    // The scalar path's clamps (pmax and pmin keep the first operand unless
    // the comparison holds, so a NaN becomes -32768), then nearest-even; the
    // whole numbers then convert exactly.
    const v128_t low = wasm_f32x4_splat(kPcmMin);
    const v128_t high = wasm_f32x4_splat(kPcmMax);
    for (; i + 8 <= sampleCount; i += 8) {
        const v128_t a = wasm_f32x4_nearest(wasm_f32x4_pmin(high, wasm_f32x4_pmax(low, wasm_v128_load(in + i))));
        const v128_t b = wasm_f32x4_nearest(wasm_f32x4_pmin(high, wasm_f32x4_pmax(low, wasm_v128_load(in + i + 4))));
        wasm_v128_store(destination + i, wasm_i16x8_narrow_i32x4(wasm_i32x4_trunc_sat_f32x4(a), wasm_i32x4_trunc_sat_f32x4(b)));
    }
#endif
    for (; i < sampleCount; ++i) destination[i] = ToPcm16(in[i]);
}

}  // namespace lumbo
