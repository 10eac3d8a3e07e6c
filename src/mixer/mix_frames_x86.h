// Vector frame loops for x86 processors: SSE2, which every processor the
// library builds for has (its floating-point model needs it), and AVX2 and
// AVX-512, used only where the processor has them (see HasFrameLoop).
#pragma once
#include <cstdint>

#include "mixer/mix_frames.h"

#if defined(__GNUC__) && defined(__SSE2__) && !defined(LUMBO_NO_SSE2_LOOP)
#define LUMBO_SSE2_FRAME_LOOP 1

namespace lumbo {

// Mixes the frames of MixFrames four per pass and returns how many it mixed
// (n rounded down to whole passes). With deltas, every gain
// left + k x deltaLeft must be exact (see MixRampFrames). Fresh as for
// MixFrames.
int32_t MixFramesSse2(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                      bool fresh);

}  // namespace lumbo
#endif

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(LUMBO_PORTABLE_MIXER)
#define LUMBO_X86_FRAME_LOOPS 1

namespace lumbo {

// Mix the frames of MixFrames in passes of 4 or 8 and return how many they
// mixed (n rounded down to whole passes). With deltas, every gain
// left + k x deltaLeft must be exact (see MixRampFrames). Fresh as for
// MixFrames.
int32_t MixFramesAvx2(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                      bool fresh);
int32_t MixFramesAvx512(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq, const RunGains& gains,
                        bool fresh);

}  // namespace lumbo
#endif
