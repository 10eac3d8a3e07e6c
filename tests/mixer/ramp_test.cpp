// Volume ramps: every change of a gain target is spread over rampLength frames.
#include <cmath>

#include "mixer_fixture.h"

namespace mixer_test {
namespace {

using lumbo::MixFrame;
using lumbo::Voice;

// 1/255 as the mixer stores it.
const long double c = 0.003921568859368563f;

// With a constant sample of 16384 (2^14) every product below is exact in long
// double, so each expected float is one rounding of an exact value.
std::vector<int16_t> Constant(uint32_t n) { return Frames(n, [](uint32_t) { return 16384; }); }

TEST_F(MixerTest, NewNoteRampsUpFromSilenceAndThenHoldsItsTargets) {
    OwnedSample s(Constant(4096));
    Voice& v = PlaceVoice(0, s.sample, kFrame, 64, 63, 0, /*settled=*/false);
    std::vector<MixFrame> out(300);
    MixVoices(out.data(), 300);

    // Deltas per frame: 64 x c / 128 is exactly c / 2; 63 x c / 128 rounds.
    const long double deltaRight = float(63 * c / 128);
    EXPECT_EQ(out[0].left, 0.0f);
    EXPECT_EQ(out[0].right, 0.0f);
    for (int k = 0; k < 128; ++k) {
        ASSERT_EQ(out[k].left, float(16384 * k * c / 2)) << "frame " << k;
        ASSERT_EQ(out[k].right, float(16384 * k * deltaRight)) << "frame " << k;
    }
    // From the 129th frame on: exactly the target gains 64/255 and 63/255.
    for (int k = 128; k < 300; ++k) {
        ASSERT_EQ(out[k].left, float(16384 * (long double)float(64 * c))) << "frame " << k;
        ASSERT_EQ(out[k].right, float(16384 * (long double)float(63 * c))) << "frame " << k;
    }
    EXPECT_EQ(v.rampFramesLeft, 0);
    EXPECT_EQ(v.currentLeft, 64 * 256);
    EXPECT_EQ(v.currentRight, 63 * 256);
    EXPECT_EQ(v.rampDeltaLeft, 0.0f);
    EXPECT_EQ(v.rampDeltaRight, 0.0f);
    EXPECT_EQ(v.appliedLeft, 64);
    EXPECT_EQ(v.appliedRight, 63);
}

TEST_F(MixerTest, TargetChangeMidRampStartsAFullRampFromTheGainReached) {
    OwnedSample s(Constant(4096));
    Voice& v = PlaceVoice(0, s.sample, kFrame, 64, 63, 0, /*settled=*/false);
    std::vector<MixFrame> out(300);
    MixVoices(out.data(), 50);

    // After 50 frames the gains are 50 deltas up, kept as integers x 65280.
    const long double deltaRight = float(63 * c / 128);
    const long long reachedLeft = std::llrint(50 * (c / 2) * 255 * 256);
    const long long reachedRight = std::llrint(50 * deltaRight * 255 * 256);
    EXPECT_EQ(v.currentLeft, reachedLeft);
    EXPECT_EQ(v.currentRight, reachedRight);
    EXPECT_EQ(v.rampFramesLeft, 78);

    v.targetLeft = 0;   // the note is panned hard right while still ramping
    MixVoices(out.data() + 50, 1);
    const long long left = 0 - reachedLeft / 256, right = 63 - reachedRight / 256;
    EXPECT_EQ(v.rampFramesLeft, 127);
    EXPECT_EQ(v.appliedLeft, 0);
    EXPECT_EQ(v.rampDeltaLeft, float(left * c / 128));
    EXPECT_EQ(v.rampDeltaRight, float(right * c / 128));
    // The new ramp starts from the integer gain, in single precision.
    EXPECT_EQ(out[50].left, float(16384 * (long double)float(reachedLeft * c / 256)));
    EXPECT_EQ(out[50].right, float(16384 * (long double)float(reachedRight * c / 256)));

    MixVoices(out.data() + 51, 249);
    // 128 frames after the change the ramp is over, mid-buffer: the rest of
    // the buffer is mixed at the targets.
    EXPECT_NE(out[177].left, 0.0f);
    for (int k = 178; k < 300; ++k) {
        ASSERT_EQ(out[k].left, 0.0f) << "frame " << k;
        ASSERT_EQ(out[k].right, float(16384 * (long double)float(63 * c))) << "frame " << k;
    }
    EXPECT_EQ(v.rampFramesLeft, 0);
    EXPECT_EQ(v.currentLeft, 0);
    EXPECT_EQ(v.currentRight, 63 * 256);
}

TEST_F(MixerTest, CallsThatMixNothingChangeNothing) {
    OwnedSample s(Constant(64));
    Voice& sounding = PlaceVoice(0, s.sample, kFrame, 64, 64, 0, /*settled=*/false);
    // A silent voice keeps its ramp fields however its targets change.
    Voice& silent = PlaceVoice(1, s.sample, kFrame, 10, 20, Fixed(5, 7));
    silent.sample = nullptr;
    silent.rampFramesLeft = 9;
    silent.rampDeltaLeft = 0.25f;
    silent.targetLeft = 99;
    const Voice soundingBefore = sounding, silentBefore = silent;
    std::vector<MixFrame> out(8, MixFrame{1.5f, -2.5f});

    MixVoices(out.data(), 0);
    MixVoices(out.data(), -5);
    EXPECT_EQ(memcmp(&sounding, &soundingBefore, sizeof(Voice)), 0);
    MixVoices(out.data(), 8);
    EXPECT_EQ(memcmp(&silent, &silentBefore, sizeof(Voice)), 0);
    EXPECT_EQ(sounding.position, 8);
}

}  // namespace
}  // namespace mixer_test
