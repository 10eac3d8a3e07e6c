#include "mixer/mix_frames_wasm.h"

#ifdef LUMBO_SIMD128_FRAME_LOOP
#include <wasm_simd128.h>

namespace lumbo {
namespace {

// The two frames at and after half-unit position q, as one 32-bit word (an
// unaligned load; the spare frame after every sample covers the second).
inline const void* FramesAt(const int16_t* d, int64_t q) { return d + (q >> 31); }

// The arithmetic of the x86 loops, lane by lane: each frame interpolates in
// integers as u0 x (2^31 - w) + u1 x w with u = frame + 32768, exact (below
// 2^47) and equal to x + 2^46, and the double is built from its bits. Then
// out + x x gain, rounded to double at the product and at the sum and stored
// as a float, as the portable loop does. Four frames per pass.
template <bool kRamp>
int32_t Simd128Passes(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& g,
                      bool fresh) {
    const v128_t keep = wasm_i32x4_splat(fresh ? 0 : -1);   // fresh frames read as +0.0
    const v128_t weightBits = wasm_i32x4_splat(0x7FFFFFFF);
    const v128_t weightOne = wasm_i32x4_splat(int32_t(0x80000000u));
    const v128_t low16 = wasm_i32x4_splat(0xFFFF);
    const v128_t toUnsigned = wasm_i16x8_splat(int16_t(0x8000));
    const v128_t exponent52 = wasm_i64x2_splat(0x4330000000000000);   // the bits of 2^52
    const v128_t offset = wasm_f64x2_splat(0x1p52 + 0x1p46);
    const v128_t gains = wasm_f64x2_make(g.left, g.right);
    const v128_t deltas = wasm_f64x2_make(g.deltaLeft, g.deltaRight);
    v128_t frame = wasm_f64x2_splat(0);   // k on both sides
    // The low 32 bits of the four positions: all the weights need.
    v128_t position = wasm_i32x4_make(int32_t(q), int32_t(q + dq), int32_t(q + 2 * dq), int32_t(q + 3 * dq));
    const v128_t advance = wasm_i32x4_splat(int32_t(4 * dq));
    int32_t k = 0;
    for (; k + 4 <= n; k += 4, q += 4 * dq) {
        v128_t words = wasm_v128_load32_zero(FramesAt(d, q));
        words = wasm_v128_load32_lane(FramesAt(d, q + dq), words, 1);
        words = wasm_v128_load32_lane(FramesAt(d, q + 2 * dq), words, 2);
        words = wasm_v128_load32_lane(FramesAt(d, q + 3 * dq), words, 3);
        const v128_t both = wasm_v128_xor(words, toUnsigned);
        const v128_t weight = wasm_v128_and(position, weightBits);
        const v128_t first = wasm_v128_and(both, low16);
        const v128_t second = wasm_u32x4_shr(both, 16);
        const v128_t rest = wasm_i32x4_sub(weightOne, weight);
        position = wasm_i32x4_add(position, advance);
        v128_t x[2];
        x[0] = wasm_i64x2_add(wasm_u64x2_extmul_low_u32x4(first, rest), wasm_u64x2_extmul_low_u32x4(second, weight));
        x[1] = wasm_i64x2_add(wasm_u64x2_extmul_high_u32x4(first, rest), wasm_u64x2_extmul_high_u32x4(second, weight));
        for (int half = 0; half < 2; ++half) x[half] = wasm_f64x2_sub(wasm_v128_or(x[half], exponent52), offset);

        float* o = &out[k].left;
        const v128_t o01 = wasm_v128_and(wasm_v128_load(o), keep);
        const v128_t o23 = wasm_v128_and(wasm_v128_load(o + 4), keep);
        const v128_t in[4] = {wasm_f64x2_promote_low_f32x4(o01),
                              wasm_f64x2_promote_low_f32x4(wasm_i64x2_shuffle(o01, o01, 1, 0)),
                              wasm_f64x2_promote_low_f32x4(o23),
                              wasm_f64x2_promote_low_f32x4(wasm_i64x2_shuffle(o23, o23, 1, 0))};
        const v128_t xs[4] = {wasm_i64x2_shuffle(x[0], x[0], 0, 0), wasm_i64x2_shuffle(x[0], x[0], 1, 1),
                              wasm_i64x2_shuffle(x[1], x[1], 0, 0), wasm_i64x2_shuffle(x[1], x[1], 1, 1)};
        v128_t sums[4];
        for (int j = 0; j < 4; ++j) {
            v128_t gain = gains;
            if (kRamp) {   // exact: see RampSumsExact
                gain = wasm_f64x2_add(gains, wasm_f64x2_mul(frame, deltas));
                frame = wasm_f64x2_add(frame, wasm_f64x2_splat(1));
            }
            sums[j] = wasm_f32x4_demote_f64x2_zero(wasm_f64x2_add(in[j], wasm_f64x2_mul(xs[j], gain)));
        }
        wasm_v128_store(o, wasm_i64x2_shuffle(sums[0], sums[1], 0, 2));
        wasm_v128_store(o + 4, wasm_i64x2_shuffle(sums[2], sums[3], 0, 2));
    }
    return k;
}

}  // namespace

int32_t MixFramesSimd128(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                         bool fresh) {
    const bool ramp = gains.deltaLeft != 0 || gains.deltaRight != 0;
    return ramp ? Simd128Passes<true>(out, n, d, q, dq, gains, fresh)
                : Simd128Passes<false>(out, n, d, q, dq, gains, fresh);
}

}  // namespace lumbo
#endif
