// The vector frame loop for WebAssembly engines with 128-bit SIMD.
#pragma once
#include <cstdint>

#include "mixer/mix_frames.h"

#if defined(__wasm_simd128__)
#define LUMBO_SIMD128_FRAME_LOOP 1

namespace lumbo {

// Mixes the frames of MixFrames four per pass and returns how many it mixed
// (n rounded down to whole passes). With deltas, every gain
// left + k x deltaLeft must be exact (see MixRampFrames). Fresh as for
// MixFrames.
int32_t MixFramesSimd128(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                         bool fresh);

}  // namespace lumbo
#endif
