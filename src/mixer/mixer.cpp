#include "mixer/mixer.h"

#include <cmath>
#include <cstring>

#include "mixer/mix_frames.h"
#include "mixer/sample_loop.h"

namespace lumbo {
namespace {

// 1/255 as stored in single precision: a gain target t stands for t x this.
constexpr float kInverse255 = 0.003921568859368563f;

float TargetGain(int32_t target) { return float(double(target) * double(kInverse255)); }

float RampDelta(int64_t difference, float rampReciprocal) {
    return float(double(difference) * double(kInverse255) * double(rampReciprocal));
}

// Run by run, a changed target starts a new full ramp from the gain reached so
// far, so that no change of volume or panning clicks.
void DecideRamp(const Mixer& mixer, Voice& v) {
    if (v.rampFramesLeft > 0 && v.targetLeft == v.appliedLeft && v.targetRight == v.appliedRight) return;
    v.appliedLeft = v.targetLeft;
    v.appliedRight = v.targetRight;
    // >> 8 divides by 256 rounding down, also below zero.
    const int64_t left = int64_t(v.targetLeft) - (v.currentLeft >> 8);
    const int64_t right = int64_t(v.targetRight) - (v.currentRight >> 8);
    // A voice at its targets, the usual case, takes no ramp and needs no
    // floating-point work: RampDelta(0) is 0.
    if (left == 0 && right == 0) {
        v.rampDeltaLeft = 0;
        v.rampDeltaRight = 0;
        v.rampFramesLeft = 0;
        return;
    }
    v.rampDeltaLeft = RampDelta(left, mixer.rampReciprocal);
    v.rampDeltaRight = RampDelta(right, mixer.rampReciprocal);
    v.rampFramesLeft = mixer.rampLength;
}

// Whether the ramp decision will leave the voice without a ramp: it then
// plays at its targets until the sequencer changes them.
bool Steady(const Voice& v) {
    if (v.rampFramesLeft > 0 && v.appliedLeft == v.targetLeft && v.appliedRight == v.targetRight) return false;
    return (v.currentLeft >> 8) == v.targetLeft && (v.currentRight >> 8) == v.targetRight;
}

// Steady with both targets 0: it adds nothing until the sequencer changes it.
// (The common test of every mixing run, written out for speed.)
bool AddsNothing(const Voice& v) {
    if (v.targetLeft != 0 || v.targetRight != 0) return false;
    if (v.rampFramesLeft > 0 && v.appliedLeft == 0 && v.appliedRight == 0) return false;
    return (v.currentLeft >> 8) == 0 && (v.currentRight >> 8) == 0;
}

// How far a call's frames hold a sum: [0, filled) do, the rest hold whatever
// the buffer held before and are written fresh (see MixFrames). No frames at
// all: the voices only move.
struct Coverage {
    MixFrame* frames;
    int32_t   filled;
};

// Whether the voice's runs need no frame loop: it is steady and adds nothing,
// or nothing is mixed at all. Its runs then only move it.
bool OnlyMoves(const Voice& v, const Coverage& c) { return c.frames ? AddsNothing(v) : Steady(v); }

// Clears the frames from the sums up to start, where they end before it.
void CloseGap(Coverage& c, int32_t start) {
    if (start <= c.filled) return;
    memset(c.frames + c.filled, 0, sizeof(MixFrame) * size_t(start - c.filled));
    c.filled = start;
}

// Mixes frames [at, at + n), n >= 1, from position and returns the position
// after them. Without frames to mix, a ramp's gains still move as mixing
// moves them.
int64_t MixRun(Voice& v, Coverage& c, int32_t at, int32_t n, const int16_t* d, int64_t position, int64_t step,
               bool ramp) {
    const int64_t q = HalfPosition(position);
    const int64_t dq = HalfStep(step, v.direction);
    MixFrame* out = c.frames ? c.frames + at : nullptr;
    if (c.frames) CloseGap(c, at);
    if (ramp) {
        // A ramp is one call of the loop from single-precision gains, so one
        // that reaches past the sums finds the rest cleared.
        const bool fresh = at == c.filled;
        if (c.frames && !fresh) CloseGap(c, at + n);
        double left = float(double(v.currentLeft) * (1.0 / 256) * double(kInverse255));
        double right = float(double(v.currentRight) * (1.0 / 256) * double(kInverse255));
        MixRampFrames(out, n, d, q, dq, &left, &right, v.rampDeltaLeft, v.rampDeltaRight, fresh);
        v.currentLeft = int32_t(std::lrint(left * 255.0 * 256.0));
        v.currentRight = int32_t(std::lrint(right * 255.0 * 256.0));
    } else if (c.frames) {
        // Fixed gains mix every frame alike: onto the sums, then fresh.
        const float left = TargetGain(v.targetLeft), right = TargetGain(v.targetRight);
        const int32_t onto = c.filled - at < n ? c.filled - at : n;
        if (onto > 0) MixFrames(out, onto, d, q, dq, left, right);
        if (onto < n) MixFrames(out + onto, n - onto, d, q + onto * dq, dq, left, right, true);
    }
    if (at + n > c.filled) c.filled = at + n;
    return Advance(position, step, v.direction, n);
}

// Mixes one sounding voice into frames[0..frameCount) in runs: each run ends
// at the loop boundary, at the end of a volume ramp or at the end of the
// buffer, so that the frame loops test none of them.
void MixVoice(const Mixer& mixer, Voice& v, Coverage& c, int32_t frameCount) {
    LoopSpan loop;
    if (!LoopOf(*v.sample, &loop)) {
        StopVoice(v);
        return;
    }
    const int16_t* d = v.sample->data;
    const int64_t step = StepOf(v);
    int64_t position = PositionOf(v);
    int32_t done = 0;
    int32_t lastCount = 0;
    while (done < frameCount) {
        const int32_t left = frameCount - done;
        // A voice that adds nothing, such as one handed over and faded out,
        // goes through a forward loop in one step, and otherwise only moves.
        if (OnlyMoves(v, c) && d && v.direction == 1 && SkipInForwardLoop(loop, step, left, &position)) {
            DecideRamp(mixer, v);   // as its first run would
            break;
        }
        bool reached = false;
        int32_t n = FramesToBoundary(v, loop, position, step, left < kLongestRun ? left : kLongestRun,
                                     &reached, &lastCount);
        if (n < 0) {
            StopVoice(v);
            return;
        }
        DecideRamp(mixer, v);
        if (v.rampFramesLeft == 0 && (!c.frames || (v.targetLeft == 0 && v.targetRight == 0))) {
            if (!MoveSilently(v, loop, step, left, d != nullptr, n, reached, &position)) return;
            break;
        }
        const int32_t planned = n;
        const bool ramp = v.rampFramesLeft > 0;
        if (ramp && v.rampFramesLeft < n) n = v.rampFramesLeft;
        if (n > 0) {
            if (!d) {   // only a sample without frames has no data; it has nothing to play
                StopVoice(v);
                return;
            }
            position = MixRun(v, c, done, n, d, position, step, ramp);
        }
        if (ramp) {
            v.rampFramesLeft -= n;
            if (v.rampFramesLeft == 0) {
                v.rampDeltaLeft = 0;
                v.rampDeltaRight = 0;
                v.currentLeft = int32_t(uint32_t(v.targetLeft) * 256u);
                v.currentRight = int32_t(uint32_t(v.targetRight) * 256u);
            }
        }
        done += n;
        // A run cut short by the end of its ramp has not reached the boundary;
        // the next run counts afresh.
        if (reached && n == planned && !PassBoundary(v, loop, &position)) return;
    }
    StorePosition(v, position);
}

// A voice that only moves and meets no boundary within the call moves by the
// arithmetic of one run: the runs would give the same position and the same
// ramp decision (none). False, with nothing changed, when the voice needs the
// runs.
inline bool MovesQuietly(Voice& v, const Coverage& c, int32_t frameCount) {
    if (frameCount > kLongestRun || !OnlyMoves(v, c) || !v.sample->data) return false;
    const Sample& sample = *v.sample;
    const uint64_t endFrame = uint64_t(sample.loopStart) + sample.loopLength;
    if (endFrame > uint64_t(INT32_MAX)) return false;
    const int64_t position = PositionOf(v);
    uint64_t distance;
    if (v.direction == 1) {
        const int64_t end = int64_t(endFrame) * kOneFrame;
        if (position < -kOneFrame || position >= end) return false;
        distance = uint64_t(end - position);
    } else {
        const int64_t start = int64_t(sample.loopStart) * kOneFrame;
        if (position < start || position >= int64_t(endFrame + 1) * kOneFrame) return false;
        distance = uint64_t(position - start);
    }
    // The boundary count's test for a run that the boundary does not end.
    const int64_t step = StepOf(v);
    if ((distance >> 8) <= uint64_t(frameCount) * (uint64_t(step) >> 8)) return false;
    v.appliedLeft = v.targetLeft;
    v.appliedRight = v.targetRight;
    v.rampDeltaLeft = 0;
    v.rampDeltaRight = 0;
    v.rampFramesLeft = 0;
    StorePosition(v, Advance(position, step, v.direction, frameCount));
    return true;
}

// The voices over frames whose first filled frames hold sums already; with no
// frames, the voices only move.
void MixOnto(Mixer& mixer, MixFrame* frames, int32_t frameCount, int32_t filled) {
    Coverage c{frames, filled};
    for (Voice& v : mixer.voices) {
        if (v.sample && !MovesQuietly(v, c, frameCount)) MixVoice(mixer, v, c, frameCount);
    }
    if (frames) CloseGap(c, frameCount);
}

}  // namespace

void MixVoices(Mixer& mixer, MixFrame* frames, int32_t frameCount) {
    if (frameCount >= 1) MixOnto(mixer, frames, frameCount, frameCount);
}

void WriteVoices(Mixer& mixer, MixFrame* frames, int32_t frameCount) {
    if (frameCount >= 1) MixOnto(mixer, frames, frameCount, 0);
}

void MoveVoices(Mixer& mixer, int32_t frameCount) {
    if (frameCount >= 1) MixOnto(mixer, nullptr, frameCount, 0);
}

}  // namespace lumbo
