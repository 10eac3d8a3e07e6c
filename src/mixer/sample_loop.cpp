#include "mixer/sample_loop.h"

namespace lumbo {

namespace {

// Forward loop: back by loopLength until inside the loop. Works on the full
// 32.32 position, so a run that ended a hair short of the end lands the same
// hair before the loop start (frame -1 for a loop at 0) instead of wrapping the
// 32-bit frame number round, and the next run always has frames to mix.
int64_t WrapForward(const LoopSpan& loop, int64_t position) {
    if (position < loop.end) return position - loop.length;
    const uint64_t beyond = uint64_t(position - loop.end);
    const uint64_t length = uint64_t(loop.length);
    return loop.start + int64_t(beyond < length ? beyond : beyond % length);
}

// Ping-pong loop: mirror about the boundary reached, then about the other one,
// until the position lies inside the loop. Each mirror is P -> 2B - P - 1 (in
// 2^-32 frame units), so a voice reaching the end exactly turns at end - 1 with
// fraction 0xFFFFFFFF.
int64_t Reflect(Voice& v, const LoopSpan& loop, int64_t position) {
    // Two mirrors move the position by twice the loop length: drop whole pairs
    // first, so that an overshoot of many loop lengths costs one step.
    const uint64_t pair = 2 * uint64_t(loop.length);
    uint64_t p = uint64_t(position);
    // (A run overshoots by less than a step, so the division is rarely needed.)
    if (v.direction == 1 && position >= loop.end) {
        const uint64_t beyond = uint64_t(position - loop.end);
        if (beyond >= pair) p -= pair * (beyond / pair);
    } else if (v.direction != 1 && position < loop.start) {
        const uint64_t below = uint64_t(loop.start - 1 - position);
        if (below >= pair) p += pair * (below / pair);
    }
    for (;;) {
        if (v.direction == 1) {
            p = 2 * uint64_t(loop.end) - p - 1;
            v.direction = 2;
            if (int64_t(p) >= loop.start) break;
        } else {
            p = 2 * uint64_t(loop.start) - p - 1;
            v.direction = 1;
            if (int64_t(p) < loop.end) break;
        }
    }
    return int64_t(p);
}

}  // namespace

bool SkipInForwardLoop(const LoopSpan& loop, int64_t step, int32_t frames, int64_t* position) {
    // Runs end short of the loop end by less than 2^17 units, or past it by
    // less than 255 units a frame, below 2^24 (see FramesToBoundary).
    constexpr int64_t kMargin = int64_t(1) << 25;
    const int64_t p = *position;
    if (loop.length <= 0 || !(loop.mode & 2) || p < loop.start || p >= loop.end) return false;
    if (step < (int64_t(1) << 24) || frames < 1 || frames > kLongestRun) return false;
    // As one run: bit 0 cleared before every step (below 2^57, no overflow).
    const int64_t ahead = (p & ~int64_t(1)) + int64_t(frames - 1) * (step & ~int64_t(1)) + step;
    // The remainder by a whole number of frames is the remainder of the whole
    // frames (below 2^32 here) with the fraction kept: a 32-bit division.
    const uint64_t beyond = uint64_t(ahead - loop.start);
    const uint32_t frameCount = uint32_t(uint64_t(loop.length) >> 32);
    const uint32_t whole = uint32_t(beyond >> 32);
    const uint64_t wrapped = uint64_t(whole < frameCount ? whole : whole % frameCount) << 32 | uint32_t(beyond);
    const int64_t inside = loop.start + int64_t(wrapped);
    if (inside < loop.start + kMargin || inside > loop.end - kMargin) return false;
    *position = inside;
    return true;
}

bool MoveSilently(Voice& v, const LoopSpan& loop, int64_t step, int32_t frames, bool hasData, int32_t count,
                  bool reached, int64_t* position) {
    int64_t p = *position;
    int32_t lastCount = count;
    for (;;) {
        if (count > 0 && !hasData) {
            StopVoice(v);
            return false;
        }
        if (count > 0) p = Advance(p, step, v.direction, count);
        frames -= count;
        if (reached && !PassBoundary(v, loop, &p)) return false;
        if (frames <= 0) break;
        count = FramesToBoundary(v, loop, p, step, frames < kLongestRun ? frames : kLongestRun, &reached, &lastCount);
        if (count < 0) {
            StopVoice(v);
            return false;
        }
    }
    *position = p;
    return true;
}

bool PassBoundary(Voice& v, const LoopSpan& loop, int64_t* position) {
    if (loop.length > 0 && (loop.mode & 2)) {
        // A forward loop plays forward only; a voice that came to its start
        // moving backward (written so directly) turns where it stands.
        if (v.direction != 1) {
            v.direction = 1;
        } else {
            *position = WrapForward(loop, *position);
        }
        return true;
    }
    if (loop.length > 0 && (loop.mode & 4)) {
        *position = Reflect(v, loop, *position);
        return true;
    }
    StopVoice(v);
    *position = 0;
    return false;
}

}  // namespace lumbo
