#include <gtest/gtest.h>

#include <vector>

#include "sequencer/envelope.h"

namespace {

using lumbo::Channel;
using lumbo::EnvelopePoint;

constexpr uint8_t kOn = 0x01, kSustain = 0x02, kLoop = 0x04;

// An envelope as the instrument record holds it: exactly kEnvelopeRoom points
// on the heap, so the address sanitizer sees any read past the record.
struct Envelope {
    std::vector<EnvelopePoint> points = std::vector<EnvelopePoint>(lumbo::kEnvelopeRoom);
    uint8_t flags = kOn, count = 0, sustain = 0, loopStart = 0, loopEnd = 0;

    Envelope(std::initializer_list<EnvelopePoint> loaded) {
        for (const EnvelopePoint& p : loaded) points[count++] = p;
    }
};

// A channel just after the instrument defaults.
Channel FreshChannel() {
    Channel c{};
    c.volEnvLevel = 64;
    return c;
}

void Step(Channel& c, const Envelope& e) {
    lumbo::StepEnvelope(&c, &c.volEnvPoint, &c.volEnvTick, e.flags, e.count, e.points.data(), e.loopEnd,
                        e.loopStart, e.sustain, &c.volEnvLevel, &c.volEnvValue, &c.volEnvDone, &c.volEnvStep,
                        lumbo::UpdateVolume);
}

// Levels of successive steps; a 'done' mark after the step that finished.
std::vector<int> Levels(Channel& c, const Envelope& e, int steps) {
    std::vector<int> levels;
    for (int i = 0; i < steps && !c.volEnvDone; ++i) {
        c.updateFlags = 0;
        Step(c, e);
        EXPECT_EQ(c.updateFlags, lumbo::UpdateVolume);
        levels.push_back(c.volEnvLevel);
    }
    return levels;
}

TEST(Envelope, FallingSegmentInSixteenSixteen) {
    Envelope e{{0, 64}, {10, 0}};
    Channel c = FreshChannel();
    Step(c, e);
    EXPECT_EQ(c.volEnvStep, -419430);  // -6.4 truncated
    EXPECT_EQ(c.volEnvValue, 64 << 16);
    EXPECT_EQ(c.volEnvPoint, 1);
    c = FreshChannel();
    // 64 - 6.4 k, floored, then the last point at tick 10.
    EXPECT_EQ(Levels(c, e, 20), (std::vector<int>{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0}));
    EXPECT_EQ(c.volEnvDone, 1);
    EXPECT_EQ(c.volEnvTick, 10);
}

TEST(Envelope, SustainHoldsUntilTheKeyIsReleased) {
    Envelope e{{0, 0}, {4, 40}, {8, 20}};
    e.flags = kOn | kSustain;
    e.sustain = 1;
    Channel c = FreshChannel();
    EXPECT_EQ(Levels(c, e, 9), (std::vector<int>{0, 10, 20, 30, 40, 40, 40, 40, 40}));
    EXPECT_EQ(c.volEnvTick, 4);
    c.keyOff = 1;
    EXPECT_EQ(Levels(c, e, 9), (std::vector<int>{40, 35, 30, 25, 20}));
    EXPECT_EQ(c.volEnvDone, 1);
}

TEST(Envelope, LoopJumpsBackAndRestartsTheSegmentInTheSameStep) {
    Envelope e{{0, 0}, {2, 32}, {4, 64}, {6, 0}};
    e.flags = kOn | kLoop;
    e.loopStart = 1;
    e.loopEnd = 3;
    Channel c = FreshChannel();
    EXPECT_EQ(Levels(c, e, 12), (std::vector<int>{0, 16, 32, 48, 64, 32, 32, 48, 64, 32, 32, 48}));
    EXPECT_EQ(c.volEnvDone, 0);
    // A sustain on the loop start holds right after the jump.
    e.flags = kOn | kLoop | kSustain;
    e.sustain = 1;
    c = FreshChannel();
    EXPECT_EQ(Levels(c, e, 9), (std::vector<int>{0, 16, 32, 32, 32, 32, 32, 32, 32}));
}

TEST(Envelope, LoopEndingOnTheLastPointNeverFinishes) {
    Envelope e{{0, 10}, {1, 20}, {2, 30}};
    e.flags = kOn | kLoop;
    e.loopStart = 0;
    e.loopEnd = 2;
    Channel c = FreshChannel();
    EXPECT_EQ(Levels(c, e, 7), (std::vector<int>{10, 20, 10, 20, 10, 20, 10}));
}

// Point numbers come from the file unchecked. Reads stay inside the 20-point
// record; points past it read as (0, 0).
TEST(Envelope, PointNumbersPastTheLoadedPoints) {
    const struct { uint8_t flags, sustain, loopStart, loopEnd; EnvelopePoint extra; std::vector<int> levels; } cases[] = {
        // Sustain past the points: never met, the envelope runs to its end.
        {kOn | kSustain, 7, 0, 0, {0, 0}, {0, 32, 64}},
        {kOn | kSustain, 255, 0, 0, {0, 0}, {0, 32, 64}},
        // Loop end past the points: never met either.
        {kOn | kLoop, 0, 0, 200, {0, 0}, {0, 32, 64}},
        // Loop start past the points, inside the record: the stored point there
        // is read (here 50), then the value holds.
        {kOn | kLoop, 0, 15, 2, {0, 50}, {0, 32, 50, 50, 50, 50}},
        {kOn | kLoop, 0, 19, 2, {0, 50}, {0, 32, 50, 50, 50, 50}},
        // Loop start past the record: (0, 0), silence.
        {kOn | kLoop, 0, 20, 2, {0, 50}, {0, 32, 0, 0, 0, 0}},
        {kOn | kLoop, 0, 255, 2, {0, 50}, {0, 32, 0, 0, 0, 0}},
        // A sustain on that far loop start holds for one step only: the point
        // index is then past the points and the value (32) holds instead.
        {kOn | kLoop | kSustain, 255, 255, 2, {0, 50}, {0, 32, 0, 32, 32, 32}},
    };
    for (const auto& k : cases) {
        Envelope e{{0, 0}, {1, 32}, {2, 64}};
        e.flags = k.flags;
        e.sustain = k.sustain;
        e.loopStart = k.loopStart;
        e.loopEnd = k.loopEnd;
        e.points[15] = e.points[19] = k.extra;
        Channel c = FreshChannel();
        EXPECT_EQ(Levels(c, e, int(k.levels.size())), k.levels) << int(k.loopStart) << " " << int(k.sustain);
        c.keyOff = 1;
        Levels(c, e, 3);
    }
}

TEST(Envelope, PointThatDoesNotRiseIsReachedAtOnce) {
    // Point 2 lies before point 1: it is taken as reached on the first step
    // past point 1, so the level stays within the point values and ends.
    Envelope e{{0, 64}, {4, 32}, {2, 0}, {6, 64}};
    Channel c = FreshChannel();
    EXPECT_EQ(Levels(c, e, 20), (std::vector<int>{64, 56, 48, 40, 32, 0, 64}));
    EXPECT_EQ(c.volEnvDone, 1);
    // Two points on the same tick: a zero step, no division; the second is
    // reached on the next step.
    Envelope same{{0, 10}, {0, 50}, {3, 20}};
    c = FreshChannel();
    EXPECT_EQ(Levels(c, same, 20), (std::vector<int>{10, 50, 40, 20}));
}

TEST(Envelope, ValuesAboveTheFormatRangeStayDefined) {
    // The file allows values up to 65535; their 16.16 form wraps in 32 bits.
    Envelope e{{0, 0}, {1, 65535}, {3, 0}};
    Channel c = FreshChannel();
    std::vector<int> levels = Levels(c, e, 6);
    EXPECT_EQ(levels.size(), 4u);
    EXPECT_EQ(levels.back(), 0);
}

}  // namespace
