#include "mixer/sample_loop.h"

namespace lumbo {

int32_t FramesToBoundary(Voice& v, const LoopSpan& loop, int64_t position, int64_t step,
                         int32_t limit, bool* reached) {
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
    const uint64_t count = dividend / divisor + (dividend % divisor != 0 ? 1 : 0);
    *reached = true;
    return int32_t(count);
}

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
    if (v.direction == 1 && position >= loop.end) {
        p -= pair * (uint64_t(position - loop.end) / pair);
    } else if (v.direction != 1 && position < loop.start) {
        p += pair * (uint64_t(loop.start - 1 - position) / pair);
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
