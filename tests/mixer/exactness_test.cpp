// Bit-exactness of the mixed floats, whatever the optimiser does.
#include <limits>
#include <random>

#include "mixer/mix_frames.h"
#include "mixer_fixture.h"

namespace mixer_test {
namespace {

using lumbo::MixFrame;
using lumbo::Voice;

// One frame of one voice onto a buffer frame that already holds a value. The
// expected floats were worked out in exact rational arithmetic. Each row is
// chosen so that a tempting shortcut gives a different float on both sides:
// "gain" and "ramp" rows if a gain is not rounded to single precision first
// (a vectorised left/right pair has been seen to drop that rounding); "fma"
// rows if product and sum are fused into one rounding.
TEST_F(MixerTest, FramesMatchHandComputedFloatsToTheBit) {
    const struct {
        int32_t targetLeft, targetRight, currentLeft, currentRight;
        int16_t d0, d1;
        uint32_t fraction;
        float outLeft, outRight, left, right;
    } rows[] = {
        {23, 80, 0, 0, 10824, 10824, 0x00000000u, -0x1.6ba34cp+11, -0x1.0dd8e4p+9, -0x1.e33486p+10, 0x1.65024p+11},  // gain
        {85, 76, 0, 0, 17848, 17848, 0x00000000u, -0x1.3ff37ap+11, -0x1.33698p+11, 0x1.a7b732p+11, 0x1.65836ep+11},   // gain
        {100, 25, 0, 0, 24221, 22495, 0x40838067u, -0x1.237edep+13, -0x1.237edep+11, -0x1.9f7cbcp-17, -0x1.9f7cbcp-19},  // fma
        {3, 53, 0, 0, -12828, 5294, 0xC0819791u, -0x1.2ced12p+3, -0x1.4c45c4p+7, 0x1.f71abcp-25, -0x1.422da8p-19},    // fma
        {0, 0, 21808, 19234, -19312, -19312, 0x00000000u, 0x1.4e4fcap+9, -0x1.003e56p+11, -0x1.696e92p+12, -0x1.e3c01ap+12},  // ramp
        {0, 0, 23832, 15786, 14824, 14824, 0x00000000u, 0x1.f021dp+10, -0x1.d7a398p+10, 0x1.ce461p+12, 0x1.a88bap+10},     // ramp
    };
    for (const auto& r : rows) {
        OwnedSample s({r.d0, r.d1});
        Voice& v = PlaceVoice(0, s.sample, kFrame, r.targetLeft, r.targetRight, Fixed(0, r.fraction));
        if (r.currentLeft) {   // a ramp down from these gains starts with them
            v.currentLeft = r.currentLeft;
            v.currentRight = r.currentRight;
        }
        MixFrame out{r.outLeft, r.outRight};
        MixVoices(&out, 1);
        EXPECT_EQ(Bits(out.left), Bits(r.left)) << r.targetLeft << " " << r.d0;
        EXPECT_EQ(Bits(out.right), Bits(r.right)) << r.targetRight << " " << r.d0;
    }
}

// One frame as defined, one operation per statement so that nothing can be
// fused or kept wider: weight from the top 31 fraction bits, interpolation,
// product and sum in double precision, stored as a float.
float DefinedFrame(float out, const int16_t* d, uint64_t position, double gain) {
    const int32_t p = int32_t(uint32_t(position >> 32));
    volatile double w = double(uint32_t(position) >> 1) * 0x1p-31;
    volatile double slope = w * double(d[p + 1] - d[p]);
    volatile double s = double(d[p]) + slope;
    volatile double product = s * gain;
    volatile double sum = double(out) + product;
    return float(sum);
}

float DefinedGain(int32_t target) {
    volatile double g = double(target) * double(0.003921568859368563f);
    return float(g);
}

// Many voices of all kinds of steps, fractions and gains, in both directions,
// against the definition taken frame by frame: whatever the frame loops do
// (pairs, vectors, closed-form positions) must come to the same floats.
TEST_F(MixerTest, LongRunsMatchTheFrameByFrameDefinition) {
    std::mt19937 random(1234);
    const uint32_t length = 1 << 16;
    OwnedSample forward(Frames(length, [&](uint32_t) { return int(random() % 65536) - 32768; }));
    OwnedSample pingPong(Frames(length, [&](uint32_t) { return int(random() % 65536) - 32768; }), 4, 0, length);
    const uint64_t steps[] = {kFrame, kFrame / 2, 0x0000000100000001, 0x00000000A3D70A3D, 0x00000002E8BA2E8B,
                              0x000000000CCCCCCD, 0x0000000300000000, 0x0000000137A6F4E3, 0x00000000FFFFFFFF,
                              0x0000000000B60B61};
    const int32_t targets[][2] = {{64, 63}, {128, 0}, {0, 128}, {3, 125}, {255, 255}, {77, 41}, {1, 2}, {100, 99},
                                  {128, 128}, {13, 5}};
    struct Track {
        const OwnedSample* sample;
        uint64_t position, step;
        int32_t direction;
        float gainLeft, gainRight;
    } tracks[10];
    for (int i = 0; i < 10; ++i) {
        const bool backward = i % 3 == 2;
        const OwnedSample& s = backward ? pingPong : forward;
        const uint64_t start = Fixed(backward ? length - 20 : 5, uint32_t(random()));
        Voice& v = PlaceVoice(i * 6, s.sample, steps[i], targets[i][0], targets[i][1], start);
        v.direction = backward ? 2 : 1;
        tracks[i] = {&s, start, steps[i], v.direction, DefinedGain(targets[i][0]), DefinedGain(targets[i][1])};
    }
    std::vector<MixFrame> mixed(6000), expected(6000);
    for (size_t k = 0; k < mixed.size(); ++k) {
        mixed[k] = expected[k] = MixFrame{float(int(random() % 20000) - 10000) / 7.0f, float(k)};
    }
    // Calls of many sizes, so that runs start at every alignment.
    for (int32_t at = 0, n = 1; at < int32_t(mixed.size()); at += n, n = n * 3 % 1021 + 1) {
        n = std::min(n, int32_t(mixed.size()) - at);
        MixVoices(mixed.data() + at, n);
    }
    for (Track& t : tracks) {
        for (MixFrame& f : expected) {
            f.left = DefinedFrame(f.left, t.sample->sample.data, t.position, t.gainLeft);
            f.right = DefinedFrame(f.right, t.sample->sample.data, t.position, t.gainRight);
            const uint64_t cleared = t.position & ~uint64_t(1);
            t.position = t.direction == 1 ? cleared + t.step : cleared - t.step;
        }
    }
    for (size_t k = 0; k < mixed.size(); ++k) {
        ASSERT_EQ(Bits(mixed[k].left), Bits(expected[k].left)) << "frame " << k;
        ASSERT_EQ(Bits(mixed[k].right), Bits(expected[k].right)) << "frame " << k;
    }
    for (int i = 0; i < 10; ++i) EXPECT_EQ(PositionOf(TestMixer().voices[i * 6]), tracks[i].position) << i;
}

// Each frame loop the processor offers, on its own, against the definition:
// forward and backward, from frame -1, at steps small and large, with fixed
// gains and inside ramps (gains summed frame by frame); adding to what the
// buffer holds, and fresh over stale floats (NaN, infinity, -0) as if onto
// +0.0.
TEST(FrameLoops, EachGivesTheDefinedFloats) {
    std::mt19937 random(99);
    OwnedSample s(Frames(4096, [&](uint32_t) { return int(random() % 65536) - 32768; }));
    const int16_t* d = s.sample.data;
    const struct {
        uint64_t position;
        int64_t step;   // signed: backward below 0
        int32_t frames;
    } runs[] = {{Fixed(0, 0x9E3779B9), 0x6A09E667, 885}, {Fixed(4000, 0x12345678), -0x36A09E667, 1000},
                {uint64_t(-int64_t(kFrame / 3)), 0x3C6EF372, 37}, {Fixed(100, 0), int64_t(kFrame), 64},
                {Fixed(200, 0xFFFFFFFF), 0x3A54FF53A5, 55}, {Fixed(2048, 1), -0x510E527F, 1023}};
    const float c = 0.003921568859368563f, r = 0.0078125f;
    const struct {
        float left, right, deltaLeft, deltaRight;
    } gains[] = {{DefinedGain(64), DefinedGain(63), 0, 0},
                 {DefinedGain(3), DefinedGain(128), 0, 0},
                 {0, 0, float(64.0 * c * r), float(63.0 * c * r)},                   // a note starting
                 {float(12345 / 256.0 * c), float(7 / 256.0 * c), float(-48.0 * c * r), float(1.0 * c * r)},
                 // Deltas too small to add exactly: only frame-by-frame sums give these.
                 {1.0f, 3.0f, 0x1.000002p-60f, -0x1.fffffep-58f}};
    for (lumbo::FrameLoop loop : {lumbo::FrameLoop::kPortable, lumbo::FrameLoop::kSse2, lumbo::FrameLoop::kAvx2,
                                   lumbo::FrameLoop::kAvx512}) {
        if (!lumbo::HasFrameLoop(loop)) continue;
        for (const auto& run : runs) {
            for (const auto& g : gains) for (bool fresh : {false, true}) {
                std::vector<MixFrame> mixed(run.frames), expected(run.frames);
                const float stale[] = {std::numeric_limits<float>::quiet_NaN(), -0.0f,
                                       -std::numeric_limits<float>::infinity(), 1e30f};
                for (int k = 0; k < run.frames; ++k) {
                    mixed[k] = expected[k] = MixFrame{float(k) / 3, -float(k) / 7};
                    if (fresh) {
                        mixed[k] = MixFrame{stale[k % 4], stale[(k + 1) % 4]};
                        expected[k] = MixFrame{0.0f, 0.0f};
                    }
                }
                // Half units, as the loops take them; the step's own bit 0 is
                // lost with the cleared position bit.
                const int64_t q = int64_t(run.position) >> 1;
                const int64_t dq = run.step >= 0 ? run.step >> 1 : -((-run.step + 1) >> 1);
                double left = g.left, right = g.right;
                lumbo::MixRampFramesWith(loop, mixed.data(), run.frames, d, q, dq, &left, &right, g.deltaLeft,
                                         g.deltaRight, fresh);
                uint64_t position = run.position;
                volatile double expectedLeft = g.left, expectedRight = g.right;
                for (MixFrame& f : expected) {
                    f.left = DefinedFrame(f.left, d, position, expectedLeft);
                    f.right = DefinedFrame(f.right, d, position, expectedRight);
                    position = (position & ~uint64_t(1)) + uint64_t(run.step);
                    expectedLeft = expectedLeft + double(g.deltaLeft);
                    expectedRight = expectedRight + double(g.deltaRight);
                }
                for (int k = 0; k < run.frames; ++k) {
                    ASSERT_EQ(Bits(mixed[k].left), Bits(expected[k].left)) << int(loop) << " frame " << k;
                    ASSERT_EQ(Bits(mixed[k].right), Bits(expected[k].right)) << int(loop) << " frame " << k;
                }
                EXPECT_EQ(left, expectedLeft);
                EXPECT_EQ(right, expectedRight);
            }
        }
    }
}

// Writing over a stale buffer gives the floats of clearing it and adding,
// bit for bit: voices that end, fade out, or start with a ramp that reaches
// past the frames an earlier voice covers, and calls no voice reaches.
TEST_F(MixerTest, WritingMatchesAddingOntoAClearedBuffer) {
    OwnedSample oneShot(Frames(300, [](uint32_t i) { return int(i) * 97 - 14000; }));
    OwnedSample tone(Frames(1000, [](uint32_t i) { return int(i % 50) * 400 - 10000; }), 2, 0, 1000);
    PlaceVoice(0, oneShot.sample, kFrame, 80, 60);                          // ends at frame 300
    PlaceVoice(3, oneShot.sample, kFrame / 3, 100, 20, 0, false);           // ramps up, ends at 900
    lumbo::Voice& fading = PlaceVoice(7, tone.sample, 0x0000000137A6F4E3, 90, 90);
    fading.targetLeft = fading.targetRight = 0;                            // fades out, runs on silently
    const lumbo::Mixer start = TestMixer();
    const int32_t calls[] = {7, 1, 64, 178, 400, 1, 3, 900, 1446};
    std::vector<MixFrame> written(3000, MixFrame{std::numeric_limits<float>::quiet_NaN(), -0.0f});
    std::vector<MixFrame> added(3000);
    for (bool write : {true, false}) {
        TestMixer() = start;
        int32_t at = 0;
        for (int32_t n : calls) {
            // At 250 a note on an earlier slot: its ramp reaches past frame 300.
            if (at == 250) PlaceVoice(1, oneShot.sample, kFrame / 2, 128, 0, 0, false);
            if (write) {
                lumbo::WriteVoices(TestMixer(), written.data() + at, n);
            } else {
                MixVoices(added.data() + at, n);
            }
            at += n;
        }
    }
    for (size_t k = 0; k < added.size(); ++k) {
        ASSERT_EQ(Bits(written[k].left), Bits(added[k].left)) << "frame " << k;
        ASSERT_EQ(Bits(written[k].right), Bits(added[k].right)) << "frame " << k;
    }
    EXPECT_NE(added[850].left, 0.0f);
    EXPECT_EQ(Bits(added[2999].left), 0u);
}

}  // namespace
}  // namespace mixer_test
