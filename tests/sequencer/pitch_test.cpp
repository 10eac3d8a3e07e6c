#include <gtest/gtest.h>

#include <cmath>

#include "sequencer/pitch.h"
#include "sequencer/rounding.h"

namespace {

using lumbo::NotePeriod;
using lumbo::PeriodToFrequency;

// The Amiga period worked out independently in long double.
long double ScaledPeriodWide(int k, int note) {
    long double exponent = (long double)(k - note) * (long double)0.0833333358168602f;
    return std::nearbyint(13.375L * std::exp2(exponent));
}

int32_t NotePeriodWide(int note, int finetune) {
    long double base = ScaledPeriodWide(132, note);
    if (finetune < 0 && note != 0) {
        long double below = ScaledPeriodWide(133, note);
        return int32_t(base) + int32_t(-finetune * (base - below)) / -128;
    }
    long double above = ScaledPeriodWide(131, note);
    return int32_t(base) + int32_t((base - above) * finetune) / -128;
}

TEST(Pitch, NearestRoundsHalvesToEven) {
    const struct { double in, out; } cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {127.5, 128}, {382.5, 382},
        {0.4999999999999999, 0}, {1e300, 1e300}, {-7.25, -7}, {4503599627370495.5, 4503599627370496.0},
    };
    for (const auto& c : cases) EXPECT_EQ(lumbo::NearestEven(c.in), c.out) << c.in;
    EXPECT_EQ(lumbo::RoundToInt64(1e19), INT64_MIN);
    EXPECT_EQ(lumbo::RoundToInt64(NAN), INT64_MIN);
    EXPECT_EQ(lumbo::RoundToInt64(-9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(lumbo::Low32(8769241088LL), 179306496);
}

TEST(Pitch, NotePeriodsOfTheReferenceNotes) {
    const struct { int note, finetune, period; } cases[] = {
        {48, 0, 1712}, {48, 127, 1617}, {48, -128, 1814}, {60, 0, 856}, {0, 0, 27392}, {0, -64, 28160},
    };
    for (const auto& c : cases) EXPECT_EQ(NotePeriod(c.note, c.finetune), c.period) << c.note << " " << c.finetune;
}

TEST(Pitch, NotePeriodMatchesWideArithmeticForEveryNoteAndFinetune) {
    // Notes reach 255 + 15 through the relative note and arpeggio.
    for (int note = 0; note <= 270; ++note)
        for (int finetune = -128; finetune <= 127; ++finetune)
            ASSERT_EQ(NotePeriod(note, finetune), NotePeriodWide(note, finetune)) << note << " " << finetune;
    EXPECT_EQ(NotePeriod(270, 0), 0);  // far above hearing, still defined
}

TEST(Pitch, FrequenciesOfReferencePeriods) {
    const struct { int32_t period, offset; bool linear; int32_t hz; } cases[] = {
        {1712, 0, false, 8362},   {856, 0, false, 16725},  {1712, -1812, false, -143170},
        {4608, 0, true, 8363},    {4608, 64, true, 8860},  {3840, 0, true, 16726},
        {5376, 0, true, 4181},    // the stored 1/768 is a hair large: 4181.49991
        {4608 - 768 * 20, 0, true, 179310119},  // 8769244711 keeps its low 32 bits
        {-100000, 0, true, 0},    // past the 64-bit range
        {1000000, 0, true, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PeriodToFrequency(c.period, c.offset, c.linear), c.hz) << c.period << " " << c.offset;
}

TEST(Pitch, LinearFrequencyMatchesWideArithmetic) {
    const long double oneOver768 = (long double)0.0013020833721384406f;
    for (int32_t period = -2000; period <= 9000; ++period) {
        long double hz = std::nearbyint(8363.0L * std::exp2((4608.0L - period) * oneOver768));
        ASSERT_EQ(PeriodToFrequency(period, 0, true), int32_t(hz)) << period;
    }
}

TEST(Pitch, PowerOfTwo) {
    EXPECT_EQ(lumbo::Power(2.0, 7.0), 128.0);
    EXPECT_EQ(lumbo::Power(2.0, -3.0), 0.125);
    EXPECT_NEAR(lumbo::Power(2.0, 0.5), std::sqrt(2.0), 1e-15);
    EXPECT_EQ(lumbo::Power(2.0, 5000.0), HUGE_VAL);
    EXPECT_EQ(lumbo::Power(2.0, -5000.0), 0.0);
}

}  // namespace
