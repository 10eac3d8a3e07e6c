// How a voice moves through its sample: the 32.32 position, the count of
// frames to the next loop boundary, and what happens there.
#pragma once
#include <cstdint>

#include "mixer/voice.h"

namespace lumbo {

constexpr int64_t kOneFrame = int64_t(1) << 32;
// Steps of 256 frames or more are beyond what the boundary count's 24-bit
// divisor holds; they are played as the largest step below 256 frames.
constexpr int64_t kLargestStep = 256 * kOneFrame - 1;
// A run never mixes more frames than this. It keeps the count's rounding error
// (below 256 units per frame) under a frame, and with it every read inside
// the loop's frames plus one either side.
constexpr int32_t kLongestRun = 65536;

// The loop a voice plays in, as 32.32 positions.
struct LoopSpan {
    int64_t start;             // loopStart
    int64_t end;               // loopStart + loopLength: the forward boundary
    int64_t length;            // loopLength; 0 for the placeholder sample
    uint8_t mode;              // the sample's loopMode: 2 forward, 4 ping-pong
};

// The loop of sample; false when its end lies beyond what a 32-bit position
// reaches (the loader never makes such a sample).
inline bool LoopOf(const Sample& sample, LoopSpan* loop) {
    const uint64_t end = uint64_t(sample.loopStart) + sample.loopLength;
    if (end > uint64_t(INT32_MAX)) return false;
    loop->start = int64_t(sample.loopStart) * kOneFrame;
    loop->end = int64_t(end) * kOneFrame;
    loop->length = int64_t(sample.loopLength) * kOneFrame;
    loop->mode = sample.loopMode;
    return true;
}

// The voice's position and step as single signed 32.32 values.
inline int64_t PositionOf(const Voice& v) {
    return int64_t(uint64_t(uint32_t(v.position)) << 32 | v.positionFraction);
}

inline int64_t StepOf(const Voice& v) {
    const uint64_t step = uint64_t(uint32_t(v.step)) << 32 | v.stepFraction;
    return step < uint64_t(kLargestStep) ? int64_t(step) : kLargestStep;
}

inline void StorePosition(Voice& v, int64_t position) {
    v.position = int32_t(uint32_t(uint64_t(position) >> 32));
    v.positionFraction = uint32_t(uint64_t(position));
}

// Half-unit position and step of the frame loops (see mix_frames.h).
inline int64_t HalfPosition(int64_t position) { return position >> 1; }
inline int64_t HalfStep(int64_t step, int32_t direction) { return direction == 1 ? step >> 1 : -((step + 1) >> 1); }

// The position after n >= 1 frames from position: the last frame is read at
// 2 x (q + (n-1) dq), and from there one more step.
inline int64_t Advance(int64_t position, int64_t step, int32_t direction, int32_t n) {
    const uint64_t last = uint64_t(HalfPosition(position)) + uint64_t(n - 1) * uint64_t(HalfStep(step, direction));
    return int64_t(direction == 1 ? 2 * last + uint64_t(step) : 2 * last - uint64_t(step));
}

// Frames the voice may mix, at most limit, before it reaches its boundary in
// the direction of travel; *reached says whether the boundary ends the count.
// A voice already at or past the boundary gets 0 frames and *reached. Returns
// -1 when the position lies outside the sample data altogether (the voice is
// then to be stopped). A backward voice below its loop start (a rewind inside
// a ping-pong loop) is turned forward where it stands. *lastCount carries the
// last count that reached a boundary from call to call (0 at first); it only
// saves work, the count is the same whatever it holds.
inline int32_t FramesToBoundary(Voice& v, const LoopSpan& loop, int64_t position, int64_t step,
                                int32_t limit, bool* reached, int32_t* lastCount) {
    *reached = false;
    // Only a rewind puts a backward voice below its loop start. Moving on
    // backward would leave the data; it plays forward from there instead, as a
    // rewound forward voice does.
    if (v.direction != 1 && position < loop.start) v.direction = 1;
    // Readable are frame -1 (a silent lead frame) up to the frame after the
    // loop; a voice outside that was written so directly and is stopped.
    if (position < -kOneFrame || (v.direction != 1 && position >= loop.end + kOneFrame)) return -1;

    uint64_t distance;
    if (v.direction == 1) {
        // At or past the end already: the boundary acts before any frame.
        if (position >= loop.end) {
            *reached = true;
            return 0;
        }
        distance = uint64_t(loop.end - position);
    } else {
        distance = uint64_t(position - loop.start);
    }
    // The count works on distance and step with their lowest 8 bits dropped
    // and rounds up, so the run ends within a few units of the boundary: short
    // of it by at most 255 units plus one per frame (the cleared bit 0), or
    // past it by less than a step. A step below 2^-24 frame has no divisor; it
    // cannot cross a boundary by more than 2^24 units within a run, and the
    // next run finds it there.
    const uint64_t divisor = uint64_t(step) >> 8;
    if (divisor == 0) return limit;
    const uint64_t dividend = distance >> 8;
    // The rounded-up count exceeds limit exactly when the dividend exceeds
    // limit divisors (below 2^48: limit <= kLongestRun, divisor < 2^32), so
    // most runs, which end with the tick, need no division. Distances of 2^24
    // frames or more give counts above kLongestRun, so such runs are not
    // bounded here, as intended for them.
    if (dividend > uint64_t(limit) * divisor) return limit;
    *reached = true;
    // A voice in a short loop meets its boundaries every few dozen frames,
    // each time after nearly the same count: try the last one and its
    // neighbours before dividing. count is the rounded-up quotient exactly
    // when (count - 1) x divisor < dividend <= count x divisor.
    const uint64_t guess = uint64_t(*lastCount);
    if (guess > 1 && guess <= uint64_t(limit)) {
        const uint64_t at = guess * divisor;
        if (dividend <= at) {
            if (dividend > at - divisor) return int32_t(guess);
            if (dividend > at - 2 * divisor) return *lastCount = int32_t(guess - 1);
        } else if (dividend <= at + divisor) {
            return *lastCount = int32_t(guess + 1);
        }
    }
    const uint64_t count = dividend / divisor + (dividend % divisor != 0 ? 1 : 0);
    return *lastCount = int32_t(count);
}

// Where a forward voice that mixes nothing stands after frames more frames
// inside a forward loop, found at once instead of run by run. Runs move the
// position exactly as one long run would, and each wrap takes off a whole
// number of loop lengths, so the runs leave the one such position that lies
// in the loop give or take their rounding (under 2^-8 frame). False, with
// *position unchanged, when the voice is not inside such a loop, steps by
// less than 2^-8 frame, frames exceeds kLongestRun, or the result lies within
// 2^-7 frame of a loop end: those go run by run.
bool SkipInForwardLoop(const LoopSpan& loop, int64_t step, int32_t frames, int64_t* position);

// Moves a voice that mixes nothing (no ramp, both targets 0) by frames
// frames, run by run exactly as MixVoices would, beginning with a run of
// count frames that FramesToBoundary gave (reached as it said); hasData says
// whether its sample has frames. False when the voice stopped on the way (its
// sample is then null and its position 0); otherwise *position is where it
// stands.
bool MoveSilently(Voice& v, const LoopSpan& loop, int64_t step, int32_t frames, bool hasData, int32_t count,
                  bool reached, int64_t* position);

// Acts on a boundary that the last run reached: a forward loop wraps, a
// ping-pong loop reflects, anything else stops the voice. Returns false when
// the voice stopped (its sample is then null and its position 0).
bool PassBoundary(Voice& v, const LoopSpan& loop, int64_t* position);

// Stops the voice: silent, position 0.
inline void StopVoice(Voice& v) {
    v.sample = nullptr;
    v.position = 0;
    v.positionFraction = 0;
}

}  // namespace lumbo
