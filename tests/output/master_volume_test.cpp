// The master volume on a buffer of known frames: every frame of a ramp
// against the gain worked out by hand.
#include "output/master_volume.h"

#include <gtest/gtest.h>

#include <memory>

#include "output/output_size.h"

using namespace lumbo;

namespace {

TEST(MasterVolume, ChangesMoveTheGainInAStraightLineOverOneRamp) {
    auto stream = std::make_unique<Stream>();
    ASSERT_TRUE(SizeOutput(*stream, 44100));   // a ramp of 128 frames, the gain at rest at full
    // The volumes are chosen so that every gain on the way is a multiple of
    // 2^-16: the expectations below are exact, and a step of a different
    // size misses them by far more than a float's last bit.
    struct Step {
        int32_t volume;        // set before these frames
        int32_t frames;        // rendered in two calls: the ramp carries over
        double  from, to;      // gain before the change, and at rest
    } steps[] = {
        {64, 200, 1.0, 0.25},
        {256, 32, 0.25, 1.0},   // interrupted a quarter of the way up...
        {0, 160, 0.4375, 0.0},  // ...and taken down to silence from there
        {256, 130, 0.0, 1.0},
    };
    const float left = 12345.678f, right = -0.3f;   // values with every mantissa bit in use
    MixFrame frames[200];
    for (const Step& s : steps) {
        for (MixFrame& f : frames) f = {left, right};
        SetMasterVolume(*stream, s.volume);
        const int32_t half = s.frames / 2;
        ApplyMasterVolume(*stream, frames, half);
        ApplyMasterVolume(*stream, frames + half, s.frames - half);
        for (int32_t k = 0; k < s.frames; ++k) {
            const int32_t step = k + 1 < 128 ? k + 1 : 128;
            const double gain = s.from + (s.to - s.from) * step / 128;
            ASSERT_EQ(frames[k].left, float(double(left) * gain)) << "volume " << s.volume << " frame " << k;
            ASSERT_EQ(frames[k].right, float(double(right) * gain)) << "volume " << s.volume << " frame " << k;
        }
    }
}

}  // namespace
