// Positions, boundaries and loops: where a voice reads and where it goes next.
#include "mixer_fixture.h"

namespace mixer_test {
namespace {

using lumbo::MixFrame;
using lumbo::Voice;

// Target 255 is a gain of exactly 1.0f (255 x 1/255 rounds to 1), so the left
// side shows the interpolated sample value itself; target 0 leaves the right 0.
constexpr int32_t kUnity = 255;

TEST_F(MixerTest, OneShotAtHalfStepPlaysTwiceItsLengthThenStops) {
    OwnedSample s(Frames(1000, [](uint32_t i) { return int(i) * 16 - 8000; }));
    Voice& v = PlaceVoice(0, s.sample, kFrame / 2, kUnity, 0);
    std::vector<MixFrame> out(2100);
    MixVoices(out.data(), 2100);
    auto d = [](int i) { return i < 1000 ? i * 16 - 8000 : 0; };   // frame 1000 is the first spare one
    for (int k = 0; k < 2000; ++k) {
        const float expected = k % 2 ? (d(k / 2) + d(k / 2 + 1)) / 2.0f : float(d(k / 2));
        ASSERT_EQ(out[k].left, expected) << "frame " << k;
        ASSERT_EQ(out[k].right, 0.0f);
    }
    EXPECT_EQ(out[1999].left, 7984 / 2.0f);   // halfway between frame 999 and the zero after it
    for (int k = 2000; k < 2100; ++k) ASSERT_EQ(out[k].left, 0.0f) << "frame " << k;
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.position, 0);
    EXPECT_EQ(v.positionFraction, 0u);
}

TEST_F(MixerTest, BoundaryAtTheLastFrameOfTheBufferActsInTheSameCall) {
    const struct {
        uint8_t mode;
        bool sounding;
        uint64_t position;
        int32_t direction;
    } cases[] = {
        {1, false, 0, 1},                               // no loop: stopped
        {2, true, Fixed(0, 0), 1},                      // forward: back at the loop start
        {4, true, Fixed(99, 0xFFFFFFFF), 2},            // ping-pong: turned at the end
    };
    for (const auto& c : cases) {
        OwnedSample s(Frames(100, [](uint32_t i) { return int(i); }), c.mode, 0, 100);
        Voice& v = PlaceVoice(0, s.sample, kFrame, 64, 64);
        std::vector<MixFrame> out(100);
        MixVoices(out.data(), 100);
        EXPECT_EQ(v.sample != nullptr, c.sounding) << int(c.mode);
        EXPECT_EQ(PositionOf(v), c.position) << int(c.mode);
        if (c.sounding) {
            EXPECT_EQ(v.direction, c.direction) << int(c.mode);
        }
    }
}

TEST_F(MixerTest, ForwardLoopContinuesAtItsStartPlusTheOvershoot) {
    OwnedSample s(Frames(200, [](uint32_t i) { return int(i) * 100; }), 2, 100, 50);
    // 1.25 frames per frame from 140 + 0x12345678 / 2^32: frame 8 would be at
    // 150.07..., 0.07... past the loop end, so it reads 100.07... instead.
    Voice& v = PlaceVoice(0, s.sample, kFrame + kFrame / 4, kUnity, 0, Fixed(140, 0x12345678));
    std::vector<MixFrame> out(10);
    MixVoices(out.data(), 10);
    const double w = (0x12345678u >> 1) * 0x1p-31;
    EXPECT_EQ(out[7].left, float(14875 + w * 100));   // 148.75...
    EXPECT_EQ(out[8].left, float(10000 + w * 100));   // 100.07...
    EXPECT_EQ(PositionOf(v), Fixed(102, 0x12345678 + 0x80000000u));
}

TEST_F(MixerTest, PingPongTurnsOneUnitInsideEachEnd) {
    OwnedSample s(Frames(40, [](uint32_t i) { return int(i); }), 4, 10, 10);
    const struct {
        uint64_t start;
        int32_t direction;
        int frames;
        uint64_t position;
        int32_t directionAfter;
    } cases[] = {
        {Fixed(15, 0), 1, 5, Fixed(19, 0xFFFFFFFF), 2},   // reaches the end exactly
        {Fixed(12, 0), 2, 2, Fixed(9, 0xFFFFFFFF), 1},    // reaches the start exactly
        // From 19.FFFFFFFF backward the count is 10 frames; bit 0 is cleared
        // before each step, so they end at 9.FFFFFFFE, one unit past the start.
        {Fixed(19, 0xFFFFFFFF), 2, 10, Fixed(10, 1), 1},
        {Fixed(19, 0), 1, 3, Fixed(17, 0xFFFFFFFE), 2},    // one frame to the end, two back
    };
    for (const auto& c : cases) {
        Voice& v = PlaceVoice(0, s.sample, kFrame, 64, 64, c.start);
        v.direction = c.direction;
        std::vector<MixFrame> out(c.frames);
        MixVoices(out.data(), c.frames);
        EXPECT_EQ(PositionOf(v), c.position) << std::hex << c.start;
        EXPECT_EQ(v.direction, c.directionAfter) << std::hex << c.start;
    }
}

// The position a voice in a forward loop [0, length) reaches after frames,
// taken frame by frame on the exact position.
uint64_t LoopedPosition(uint64_t position, uint64_t step, uint64_t length, int64_t frames) {
    for (int64_t k = 0; k < frames; ++k) {
        position = (position & ~uint64_t(1)) + step;
        while (position >= length) position -= length;
    }
    return position;
}

TEST_F(MixerTest, LoopAtFrameZeroNeverStalls) {
    // Each of these ends a run a few units short of the loop end, where
    // wrapping the 32-bit frame number would put the voice back with nothing
    // to mix: the first after 63 frames, the second after about 65000, the
    // third at once.
    const struct {
        uint64_t step, start;
    } cases[] = {{kFrame, Fixed(0, 0xFFFFFF02)}, {0x1000101, 0}, {kFrame, Fixed(63, 0xFFFFFF02)}};
    OwnedSample s(Frames(64, [](uint32_t i) { return 1000 + int(i); }), 2, 0, 64);
    for (const auto& c : cases) {
        Voice& v = PlaceVoice(0, s.sample, c.step, kUnity, 0, c.start);
        std::vector<MixFrame> out(884);
        const int calls = 500;   // 10 seconds
        for (int i = 0; i < calls; ++i) {
            std::fill(out.begin(), out.end(), MixFrame{0, 0});
            MixVoices(out.data(), 884);
        }
        EXPECT_GT(out[883].left, 999.0f);
        // Wrapped early by the short count, the voice may stand the same hair
        // before 0 as the exact position stands before the loop end.
        const uint64_t exact = LoopedPosition(c.start, c.step, 64 * kFrame, calls * 884);
        EXPECT_EQ(PositionOf(v) % (64 * kFrame), exact) << std::hex << c.step;
    }
}

TEST_F(MixerTest, FrameBeforeALoopAtZeroReadsAsSilence) {
    // A run ending short of the loop end leaves the voice just before frame 0;
    // its first frame then weighs frame -1, a silent lead frame of the buffer.
    OwnedSample s(Frames(8, [](uint32_t) { return 4000; }), 2, 0, 8);
    Voice& v = PlaceVoice(0, s.sample, kFrame, kUnity, 0, Fixed(7, 0x80000000));
    v.position = -1;
    std::vector<MixFrame> out(2);
    MixVoices(out.data(), 2);
    EXPECT_EQ(out[0].left, 2000.0f);
    EXPECT_EQ(out[1].left, 4000.0f);
}

TEST_F(MixerTest, RewoundBackwardVoiceTurnsForwardWhereItStands) {
    // A rewind sets position 0 and keeps the direction; inside a ping-pong loop
    // from 100 that points away from the loop and out of the data.
    OwnedSample s(Frames(300, [](uint32_t i) { return int(i) * 10; }), 4, 100, 100);
    Voice& v = PlaceVoice(0, s.sample, kFrame, kUnity, 0, 0);
    v.direction = 2;
    std::vector<MixFrame> out(150);
    MixVoices(out.data(), 150);
    for (int k = 0; k < 150; ++k) ASSERT_EQ(out[k].left, float(k * 10)) << "frame " << k;
    EXPECT_EQ(v.direction, 1);
    EXPECT_EQ(PositionOf(v), Fixed(150, 0));
}

TEST_F(MixerTest, VoicePastItsLoopEndIsBroughtBackBeforeAnyRead) {
    const struct {
        uint8_t mode;
        uint64_t start;
        bool sounding;
        uint64_t position;    // after one frame at step 1
        float first;          // the frame mixed
    } cases[] = {
        {1, Fixed(5000, 0), false, 0, 0.0f},                     // no loop: stops, nothing mixed
        {2, Fixed(137, 0), true, Fixed(18, 0), 170.0f},          // 107 frames past the end: 17
        {4, Fixed(55, 0), true, Fixed(16, 0), 150.0f},           // mirrored at 30, then at 10: 15
    };
    for (const auto& c : cases) {
        OwnedSample s(Frames(30, [](uint32_t i) { return int(i) * 10; }), c.mode, 10, 20);
        Voice& v = PlaceVoice(0, s.sample, kFrame, kUnity, 0, c.start);
        std::vector<MixFrame> out(1);
        MixVoices(out.data(), 1);
        EXPECT_EQ(v.sample != nullptr, c.sounding) << int(c.mode);
        EXPECT_EQ(PositionOf(v), c.position) << int(c.mode);
        EXPECT_EQ(out[0].left, c.first) << int(c.mode);
    }
}

TEST_F(MixerTest, StepsAndSamplesBeyondTheCountsRangeStayInsideTheData) {
    // Address sanitizer watches every read; each voice must also keep moving
    // within its loop and every call must return.
    const struct {
        uint8_t mode;
        uint32_t length, loopStart, loopLength;
        uint64_t step;
    } cases[] = {
        {2, 1000, 0, 1000, 300 * kFrame + 12345},        // 300 frames per frame
        {4, 1000, 500, 1, uint64_t(0x7FFFFFFF) << 32},    // the largest step, a one-frame ping-pong
        {2, 64, 0, 64, ~uint64_t(0)},                     // a negative whole step reads as huge
        {4, 64, 3, 5, 255},                               // below 2^-24 frame
        {2, 64, 0, 64, 1},
        {4, 64, 0, 64, 0},                                // standing still
    };
    for (const auto& c : cases) {
        OwnedSample s(Frames(c.length, [](uint32_t i) { return int(i % 200) * 100 - 10000; }), c.mode, c.loopStart,
                      c.loopLength);
        Voice& v = PlaceVoice(0, s.sample, c.step, 64, 64, Fixed(c.loopStart, 0));
        std::vector<MixFrame> out(1000);
        for (int i = 0; i < 50; ++i) MixVoices(out.data(), int32_t(out.size()));
        ASSERT_NE(v.sample, nullptr);
        EXPECT_GE(v.position, int32_t(c.loopStart) - 1) << std::hex << c.step;
        EXPECT_LE(v.position, int32_t(c.loopStart + c.loopLength)) << std::hex << c.step;
    }
}

TEST_F(MixerTest, SampleLongerThan2To24FramesEndsWhereItsDataEnds) {
    // 2^24 + 1000 frames at 255 frames per frame, mixed in one call: the count
    // cannot see that far, yet the voice must stop at the end, after
    // ceil((2^24 + 1000) / 255) = 65797 frames.
    const uint32_t length = (1u << 24) + 1000;
    OwnedSample s(Frames(length, [](uint32_t) { return 1; }));
    Voice& v = PlaceVoice(0, s.sample, 255 * kFrame, kUnity, 0);
    std::vector<MixFrame> out(100000);
    MixVoices(out.data(), int32_t(out.size()));
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(out[65796].left, 1.0f);
    EXPECT_EQ(out[65797].left, 0.0f);
}

}  // namespace
}  // namespace mixer_test
