#include "output/pcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using lumbo::ConvertToPcm16;
using lumbo::MixFrame;

namespace {

struct Conversion {
    float   in;
    int16_t out;
};

// Rounding to nearest with ties to even, then clamping; no scaling.
const Conversion kConversions[] = {
    {0.0f, 0},           {1.5f, 2},           {2.5f, 2},           {-0.5f, 0},
    {-1.5f, -2},         {-2.5f, -2},         {0.49999997f, 0},    {3.5f, 4},
    {32767.4f, 32767},   {32767.5f, 32767},   {32766.5f, 32766},   {-32767.5f, -32768},
    {-32768.5f, -32768}, {40000.0f, 32767},   {-40000.0f, -32768}, {1e20f, 32767},
    {-1e20f, -32768},    {12345.0f, 12345},   {-7.25f, -7},        {100.75f, 101},
    {std::numeric_limits<float>::infinity(), 32767},
    {-std::numeric_limits<float>::infinity(), -32768},
};
constexpr int kConversionCount = sizeof kConversions / sizeof kConversions[0];

}  // namespace

// Every value at every place in the run, in runs of every length up to two
// vector widths and beyond, so both the wide and the one-by-one path see it.
TEST(ConvertToPcm16, RoundsHalfToEvenAndClamps) {
    for (int frames = 1; frames <= 21; ++frames) {
        const int samples = 2 * frames;
        for (int shift = 0; shift < kConversionCount; ++shift) {
            std::vector<MixFrame> mix(frames);
            float* floats = &mix[0].left;
            for (int i = 0; i < samples; ++i) floats[i] = kConversions[(i + shift) % kConversionCount].in;
            std::vector<int16_t> pcm(samples + 4, 0x5A5A);
            ConvertToPcm16(pcm.data(), mix.data(), frames);
            for (int i = 0; i < samples; ++i) {
                const Conversion& c = kConversions[(i + shift) % kConversionCount];
                ASSERT_EQ(pcm[i], c.out) << "in " << c.in << ", run of " << frames << " frames, sample " << i;
            }
            for (int i = samples; i < samples + 4; ++i) ASSERT_EQ(pcm[i], 0x5A5A) << "wrote past the run";
        }
    }
}

TEST(ConvertToPcm16, NotANumberBecomesTheLowestSample) {
    std::vector<MixFrame> mix(8, MixFrame{std::nanf(""), -std::nanf("")});
    std::vector<int16_t> pcm(16, 1);
    ConvertToPcm16(pcm.data(), mix.data(), 8);
    for (int16_t s : pcm) EXPECT_EQ(s, -32768);
    ConvertToPcm16(pcm.data(), mix.data(), 1);
    EXPECT_EQ(pcm[0], -32768);
}

TEST(ConvertToPcm16, UnusableArgumentsWriteNothing) {
    MixFrame mix[4] = {{1, 1}, {1, 1}, {1, 1}, {1, 1}};
    struct Case {
        bool    destination;
        bool    source;
        int32_t frames;
    };
    const Case cases[] = {
        {true, true, 0},      {true, true, -1},   {true, true, INT32_MIN},
        {true, true, 1 << 30},   // 2 x frames is not a positive 32-bit count
        {true, true, INT32_MAX}, {false, true, 4}, {true, false, 4}, {false, false, 4},
    };
    for (const Case& c : cases) {
        int16_t pcm[8] = {7, 7, 7, 7, 7, 7, 7, 7};
        ConvertToPcm16(c.destination ? pcm : nullptr, c.source ? mix : nullptr, c.frames);
        for (int16_t s : pcm) ASSERT_EQ(s, 7) << "frames " << c.frames;
    }
}
