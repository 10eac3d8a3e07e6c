#include "output/output_size.h"

#include <gtest/gtest.h>

#include "mixer/mixer.h"
#include "output/output_ring.h"

using namespace lumbo;

TEST(SizeOutput, BlockRingAndRampFollowTheRate) {
    struct Case {
        int32_t rate;
        int32_t blockFrames;   // 20 ms, truncated, raised to a multiple of 4
        int32_t ringFrames;    // 100 blocks
        int32_t rampLength;    // rate x 128 / 44100, truncated
        float   rampReciprocal;
    };
    const Case cases[] = {
        {44100, 884, 88400, 128, 0.0078125f},   // 882 -> 884
        {22050, 444, 44400, 64, 0.015625f},     // 441 -> 444
        {48000, 960, 96000, 139, static_cast<float>(1.0L / 139)},
        {8000, 160, 16000, 23, static_cast<float>(1.0L / 23)},
        {345, 8, 800, 1, 1.0f},                 // 6.9 -> 6 -> 8; the shortest ramp
    };
    for (const Case& c : cases) {
        voices[5].sample = &placeholderSample;
        voices[5].index = 77;
        voices[200].step = 9;
        ASSERT_TRUE(SizeOutput(c.rate)) << c.rate;
        EXPECT_EQ(outputRing.blockFrames, c.blockFrames) << c.rate;
        EXPECT_EQ(outputRing.ringFrames, c.ringFrames) << c.rate;
        EXPECT_EQ(outputRing.ringFrames / outputRing.blockFrames, 100) << c.rate;
        EXPECT_EQ(rampLength, c.rampLength) << c.rate;
        EXPECT_EQ(rampReciprocal, c.rampReciprocal) << c.rate;
        // The voice pool is cleared as well.
        EXPECT_EQ(voices[5].sample, nullptr);
        EXPECT_EQ(voices[5].index, 5);
        EXPECT_EQ(voices[200].step, 1);
    }
}

TEST(SizeOutput, UnusableRateChangesNothing) {
    ASSERT_TRUE(SizeOutput(44100));
    voices[3].sample = &placeholderSample;
    for (int32_t rate : {0, -44100, 344, 16777216, INT32_MAX}) {
        EXPECT_FALSE(SizeOutput(rate)) << rate;
        EXPECT_EQ(outputRing.blockFrames, 884);
        EXPECT_EQ(outputRing.ringFrames, 88400);
        EXPECT_EQ(rampLength, 128);
        EXPECT_EQ(voices[3].sample, &placeholderSample);
    }
    voices[3].sample = nullptr;
}
