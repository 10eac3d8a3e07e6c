#include "sequencer/envelope.h"

#include "sequencer/rounding.h"

namespace lumbo {

namespace {

constexpr uint8_t kEnvelopeSustain = 0x02;
constexpr uint8_t kEnvelopeLoop = 0x04;

// Sustain and loop point numbers come from the file unchecked (0..255). A
// point inside the record reads as stored, points past its end read as
// (0, 0), so no read leaves the record.
EnvelopePoint PointAt(const EnvelopePoint* points, int32_t index) {
    if (index < 0 || index >= kEnvelopeRoom) return EnvelopePoint{0, 0};
    return points[index];
}

// 16.16 fixed point of an envelope value; the file allows values up to 65535,
// whose 16.16 form keeps only its low 32 bits.
int32_t Fixed(int32_t value) { return Low32(int64_t(value) * 65536); }

int32_t Plus(int32_t a, int32_t b) { return Low32(int64_t(a) + b); }

}  // namespace

void StepEnvelope(Channel* channel, int32_t* point, int32_t* tick, uint8_t flags, uint8_t pointCount,
                  const EnvelopePoint* points, uint8_t loopEnd, uint8_t loopStart, uint8_t sustain,
                  int32_t* level, int32_t* value, uint8_t* done, int32_t* step, uint8_t updateBit) {
    channel->updateFlags |= updateBit;
    int32_t i = *point;

    // Only a loop jump to a point past the last one gets here: hold the value.
    if (i >= pointCount) {
        *level = *value >> 16;
        *tick = Plus(*tick, 1);
        return;
    }

    // Between two points. The point counts as reached once the tick is at or
    // past it: for rising ticks that is the moment they are equal, and a point
    // whose tick does not rise above its predecessor's is reached at once
    // instead of never, which would let the value run on out of range.
    if (*tick < PointAt(points, i).tick) {
        *value = Plus(*value, *step);
        *level = *value >> 16;
        *tick = Plus(*tick, 1);
        return;
    }

    // Point i reached. The loop jump comes first, so a loop that ends on the
    // last point never finishes; a sustain on the loop start holds after it.
    if ((flags & kEnvelopeLoop) && i == loopEnd) {
        i = loopStart;
        *tick = PointAt(points, i).tick;
    }
    if (i == pointCount - 1) {
        *point = i;
        *level = PointAt(points, i).value;
        *done = 1;
        return;
    }
    if ((flags & kEnvelopeSustain) && i == sustain && channel->keyOff == 0) {
        *point = i;
        *level = PointAt(points, i).value;
        return;
    }

    EnvelopePoint from = PointAt(points, i);
    EnvelopePoint to = PointAt(points, i + 1);
    int32_t dt = int32_t(to.tick) - int32_t(from.tick);
    // The rise is taken to 32 bits before the division, as the 16.16 values
    // are; a division in 64 bits cannot trap on the one quotient that
    // overflows.
    int32_t rise = Fixed(int32_t(to.value) - int32_t(from.value));
    *step = dt == 0 ? 0 : Low32(int64_t(rise) / dt);
    *value = Fixed(from.value);
    *point = i + 1;
    *level = from.value;
    *tick = Plus(*tick, 1);
}

}  // namespace lumbo
