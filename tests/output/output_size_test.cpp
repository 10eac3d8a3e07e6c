#include "output/output_size.h"

#include <gtest/gtest.h>

#include "mixer/mixer.h"
#include "output/output_ring.h"

#include "support/playback_fixture.h"

using namespace lumbo;
using lumbo_test::TestStream;

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
        TestStream().player.mixer.voices[5].sample = &placeholderSample;
        TestStream().player.mixer.voices[5].index = 77;
        TestStream().player.mixer.voices[63].step = 9;
        ASSERT_TRUE(SizeOutput(TestStream(), c.rate)) << c.rate;
        EXPECT_EQ(TestStream().ring.blockFrames, c.blockFrames) << c.rate;
        EXPECT_EQ(TestStream().ring.ringFrames, c.ringFrames) << c.rate;
        EXPECT_EQ(TestStream().ring.ringFrames / TestStream().ring.blockFrames, 100) << c.rate;
        EXPECT_EQ(TestStream().player.mixer.rampLength, c.rampLength) << c.rate;
        EXPECT_EQ(TestStream().player.mixer.rampReciprocal, c.rampReciprocal) << c.rate;
        // The voice pool is cleared as well.
        EXPECT_EQ(TestStream().player.mixer.voices[5].sample, nullptr);
        EXPECT_EQ(TestStream().player.mixer.voices[5].index, 5);
        EXPECT_EQ(TestStream().player.mixer.voices[63].step, 1);
    }
}

TEST(SizeOutput, UnusableRateChangesNothing) {
    ASSERT_TRUE(SizeOutput(TestStream(), 44100));
    TestStream().player.mixer.voices[3].sample = &placeholderSample;
    for (int32_t rate : {0, -44100, 344, 16777216, INT32_MAX}) {
        EXPECT_FALSE(SizeOutput(TestStream(), rate)) << rate;
        EXPECT_EQ(TestStream().ring.blockFrames, 884);
        EXPECT_EQ(TestStream().ring.ringFrames, 88400);
        EXPECT_EQ(TestStream().player.mixer.rampLength, 128);
        EXPECT_EQ(TestStream().player.mixer.voices[3].sample, &placeholderSample);
    }
    TestStream().player.mixer.voices[3].sample = nullptr;
}
