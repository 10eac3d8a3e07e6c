#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sequencer/modulators.h"

namespace {

using lumbo::Channel;
using lumbo::Instrument;

Instrument AutoVibrato(uint8_t type, uint8_t depth, uint8_t sweep, uint8_t rate) {
    Instrument ins{};
    ins.vibratoType = type;
    ins.vibratoDepth = depth;
    ins.vibratoSweep = sweep;
    ins.vibratoRate = rate;
    return ins;
}

// periodOffset added by one auto-vibrato step at phase p.
int AutoVibratoAt(const Instrument& ins, int p) {
    Channel c{};
    c.autoVibratoPosition = p;
    c.periodOffset = 1000;
    lumbo::StepAutoVibrato(&c, &ins);
    EXPECT_EQ(c.updateFlags, lumbo::UpdatePitch);
    return c.periodOffset - 1000;
}

TEST(AutoVibrato, SineAtEveryPhaseMatchesTheFormula) {
    // Depth 64 makes the added offset the waveform value itself.
    Instrument sine = AutoVibrato(0, 64, 0, 0);
    for (int p = 0; p < 256; ++p) {
        double expected = std::nearbyint(64.0 * std::sin(p * double(0.0245436877f)));
        ASSERT_EQ(AutoVibratoAt(sine, p), int(expected)) << p;
    }
}

TEST(AutoVibrato, SquareAndRamps) {
    const struct { uint8_t type; int p, v; } cases[] = {
        {1, 0, 64}, {1, 127, 64}, {1, 128, -64}, {1, 255, -64},
        {2, 0, 0}, {2, 64, -32}, {2, 127, -64}, {2, 128, 64}, {2, 192, 32}, {2, 255, 0},
        {3, 0, 0}, {3, 64, 32}, {3, 128, 64}, {3, 129, -64}, {3, 192, -32}, {3, 255, -1},
        // Types above 3 have no waveform: no vibrato.
        {4, 64, 0}, {7, 200, 0}, {255, 100, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(AutoVibratoAt(AutoVibrato(c.type, 64, 0, 0), c.p), c.v) << int(c.type) << " " << c.p;
}

TEST(AutoVibrato, SweepScalesInOverTheFirstTicks) {
    // Square +64 x depth 4 = 256 at full depth, 4 after the shift by 6; the
    // negative half floors after the truncating sweep division.
    const struct { int phase; uint8_t depth; std::vector<int> offsets; } cases[] = {
        {0, 4, {0, 1, 2, 3, 4, 4, 4}},
        {128, 3, {0, -1, -2, -3, -3, -3}},
    };
    for (const auto& k : cases) {
        Instrument ins = AutoVibrato(1, k.depth, 4, 0);
        Channel c{};
        c.autoVibratoPosition = k.phase;
        std::vector<int> offsets;
        for (size_t i = 0; i < k.offsets.size(); ++i) {
            c.periodOffset = 0;
            lumbo::StepAutoVibrato(&c, &ins);
            offsets.push_back(c.periodOffset);
        }
        EXPECT_EQ(offsets, k.offsets);
        EXPECT_EQ(c.autoVibratoSweep, 4);
    }
}

TEST(AutoVibrato, PhaseAdvancesByTheRateAndWraps) {
    Instrument ins = AutoVibrato(0, 0, 0, 10);
    Channel c{};
    c.autoVibratoPosition = 250;
    lumbo::StepAutoVibrato(&c, &ins);
    EXPECT_EQ(c.autoVibratoPosition, 4);
    lumbo::StepAutoVibrato(&c, &ins);
    EXPECT_EQ(c.autoVibratoPosition, 14);
}

int VibratoAt(uint8_t control, int p, uint8_t depth) {
    Channel c{};
    c.waveformControl = control;
    c.vibratoPosition = int8_t(p);
    c.vibratoDepth = depth;
    c.periodOffset = 999;
    lumbo::StepVibrato(&c);
    EXPECT_EQ(c.updateFlags, lumbo::UpdatePitch);
    EXPECT_EQ(c.vibratoPosition, p);  // the callers advance it
    return c.periodOffset;
}

TEST(Vibrato, SineAtEveryPhaseMatchesTheFormula) {
    // Depth 128 gives four times the waveform value, nothing cut off.
    for (int p = -32; p <= 31; ++p) {
        int v = int(std::nearbyint(std::fabs(256.0 * std::sin(2 * p * 0.049087375))));
        ASSERT_EQ(VibratoAt(0, p, 128), p >= 0 ? -4 * v : 4 * v) << p;
    }
}

TEST(Vibrato, WaveformsAndDepths) {
    const struct { uint8_t control; int p; uint8_t depth; int offset; } cases[] = {
        {0, 0, 15, 0}, {0, 16, 15, -120}, {0, -16, 15, 120}, {0, 5, 15, -56},  // 121 x 15 >> 5 = 56
        {0x04, 16, 15, -120},                                                      // bit 2 only keeps the phase
        {1, 5, 15, -16}, {1, 31, 15, -116}, {1, -1, 15, 0}, {1, -32, 15, 116},   // ramp: 40, 248, 7, 255
        {2, 3, 15, -116}, {3, -3, 15, 116}, {2, 3, 1, -4},                       // square 255
    };
    for (const auto& c : cases) EXPECT_EQ(VibratoAt(c.control, c.p, c.depth), c.offset) << int(c.control) << " " << c.p;
}

TEST(Tremolo, OffsetsAreClippedToTheVolumeRange) {
    const struct { uint8_t control; int p; uint8_t depth; int volume, offset; } cases[] = {
        {0x00, 16, 15, 40, 24},    // 60 clipped so the volume reaches 64
        {0x00, 16, 15, 0, 60},
        {0x30, 16, 15, 0, 60},     // waveform 3 is the sine too
        {0x00, -16, 15, 40, -40},  // not below 0
        {0x00, -16, 15, 64, -60},
        {0x00, 0, 15, 30, 0},
        {0x10, 8, 8, 0, 8},        // ramp 64
        {0x10, -1, 15, 64, -1},    // ramp 7
        {0x20, -1, 15, 64, -59},   // square 255
        {0x00, 4, 15, 80, -16},    // a Cxx volume above 64 is pulled to 64
    };
    for (const auto& c : cases) {
        Channel ch{};
        ch.waveformControl = c.control;
        ch.tremoloPosition = int8_t(c.p);
        ch.tremoloDepth = c.depth;
        ch.volume = c.volume;
        ch.volumeOffset = 123;
        lumbo::StepTremolo(&ch);
        EXPECT_EQ(ch.volumeOffset, c.offset) << int(c.control) << " " << c.p << " " << c.volume;
        EXPECT_EQ(ch.updateFlags, lumbo::UpdateVolume);
    }
}

TEST(Tremolo, PhaseAdvancesWithinMinus32To31) {
    Channel c{};
    c.tremoloSpeed = 15;
    std::vector<int> phases;
    for (int i = 0; i < 7; ++i) {
        lumbo::StepTremolo(&c);
        phases.push_back(c.tremoloPosition);
    }
    EXPECT_EQ(phases, (std::vector<int>{15, 30, -19, -4, 11, 26, -23}));
}

TEST(Tremor, OnThreeOffTwo) {
    Channel c{};
    c.tremorOn = 3;
    c.tremorOff = 2;
    c.volume = 50;
    std::vector<int> offsets, counters;
    for (int tick = 0; tick < 10; ++tick) {
        c.volumeOffset = 0;  // as the tick processing does
        lumbo::StepTremor(&c);
        offsets.push_back(c.volumeOffset);
        counters.push_back(c.tremorCounter);
    }
    EXPECT_EQ(offsets, (std::vector<int>{0, 0, 0, -50, -50, 0, 0, 0, -50, -50}));
    EXPECT_EQ(counters, (std::vector<int>{1, 2, 3, 4, 0, 1, 2, 3, 4, 0}));
}

TEST(TonePortamento, StopsAtTheTarget) {
    const struct { int32_t period, target; uint8_t speed; int32_t result; } cases[] = {
        {1000, 1010, 8, 1010}, {1000, 1040, 8, 1032}, {1010, 1000, 8, 1000}, {1040, 1000, 8, 1008},
        {1000, 1000, 8, 1000}, {1000, 2000, 0, 1000}, {100, 60000, 255, 1120},
        {2147483000, 2147483647, 255, 2147483647},  // no overflow on the way
    };
    for (const auto& c : cases) {
        Channel ch{};
        ch.period = c.period;
        ch.tonePortaTarget = c.target;
        ch.tonePortaSpeed = c.speed;
        lumbo::StepTonePortamento(&ch);
        EXPECT_EQ(ch.period, c.result) << c.period << " -> " << c.target;
        EXPECT_EQ(ch.updateFlags, lumbo::UpdatePitch);
    }
}

}  // namespace
