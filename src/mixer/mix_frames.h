// The per-frame loops of the mixer: linear interpolation of 16-bit sample data
// and a multiply-add of each side into the float buffer.
//
// Positions come in halves of 2^-32 frame (the 32.32 position shifted right
// by one). The mixer clears bit 0 of the fraction before every step and
// weighs with the top 31 fraction bits only, so the position it reads at frame
// k is exactly q + k x dq in these units: dq = step >> 1 going forward,
// -((step + 1) >> 1) going backward.
#pragma once
#include <cstdint>

#include "mixer/voice.h"

namespace lumbo {

// Adds frame k = 0..n-1 of the voice to out[k] with fixed gains: each side
// becomes float(out + s x gain) with s = d[p] + w x (d[p+1] - d[p]) and the
// product and sum in double precision. With fresh, out[0..n) is taken to hold
// +0.0 whatever it holds: the first voice over a frame writes the very floats
// that adding to a cleared buffer gives, and nothing need clear it.
void MixFrames(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
               float gainLeft, float gainRight, bool fresh = false);

// The same during a volume ramp: the gains, carried in double precision, grow
// by deltaLeft and deltaRight after every frame; returns them as they end.
// The gains and deltas on entry hold single-precision values. With no out,
// only the gains move, as mixing would move them.
void MixRampFrames(MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                   double* gainLeft, double* gainRight, double deltaLeft, double deltaRight, bool fresh = false);

// The loops these pick from: the portable one, and vector loops over 4 or 8
// frames where the processor has them (x86) or the engine (WebAssembly). All
// give the same floats.
enum class FrameLoop { kPortable, kSse2, kAvx2, kAvx512, kSimd128 };
bool HasFrameLoop(FrameLoop loop);
// MixRampFrames with the given loop, which must be present; for the tests.
// Deltas of 0 mix at fixed gains, as MixFrames does.
void MixRampFramesWith(FrameLoop loop, MixFrame* out, int32_t n, const int16_t* d, int64_t q, int64_t dq,
                       double* gainLeft, double* gainRight, double deltaLeft, double deltaRight,
                       bool fresh = false);

// The gains of a run as the loops take them, all times 2^-31: frame k is mixed
// with left + k x deltaLeft and right + k x deltaRight.
struct RunGains {
    double left, right;
    double deltaLeft, deltaRight;
};

}  // namespace lumbo
