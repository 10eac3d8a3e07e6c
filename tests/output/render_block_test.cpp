#include "output/render_block.h"

#include <gtest/gtest.h>

#include <vector>

#include "mixer/mixer.h"
#include "output/output_ring.h"
#include "output/output_size.h"
#include "output/ring_buffers.h"

#include "support/playback_fixture.h"

using namespace lumbo;
using lumbo_test::TestStream;

namespace {

// The ticks a test song asks for, and where each one began. Voice 0 plays a
// long sample at a step of exactly 1.0, so its position when the tick handler
// runs is the number of frames mixed since the start.
struct TickLog {
    std::vector<int32_t> lengths;      // samplesPerTick set by tick k (the last repeats)
    std::vector<int32_t> startFrames;  // frames mixed before tick k was processed
};
TickLog tickLog;

void LoggingTickHandler(Player& player) {
    const size_t k = tickLog.startFrames.size();
    tickLog.startFrames.push_back(player.mixer.voices[0].position);
    player.song->samplesPerTick = tickLog.lengths[k < tickLog.lengths.size() ? k : tickLog.lengths.size() - 1];
}

constexpr uint32_t kRampFrames = 300000;   // more than any test mixes
constexpr int32_t kRampPeriod = 20000;

class RenderBlockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SizeOutput(TestStream(), kOutputRate));
        ASSERT_TRUE(AllocateRingSamples(TestStream().ring));
        ASSERT_TRUE(AllocateMixBuffer(TestStream().ring));
        // Frame k of the sample holds k mod 20000: at unity gain the output
        // frame f is f mod 20000, which shows where every frame landed.
        ramp.data = AllocateSampleData(kRampFrames);
        ASSERT_NE(ramp.data, nullptr);
        for (uint32_t k = 0; k < kRampFrames; ++k) ramp.data[k] = int16_t(k % kRampPeriod);
        ramp.length = kRampFrames;
        ramp.loopLength = kRampFrames;
        ramp.loopMode = 1;
        ramp.bits = 16;
        // Unity gain on the left, half on the right, already reached: no ramp.
        Voice& v = TestStream().player.mixer.voices[0];
        v.sample = &ramp;
        v.targetLeft = v.appliedLeft = 255;
        v.targetRight = v.appliedRight = 0;
        v.currentLeft = 255 * 256;
        v.direction = 1;

        TestStream().player.tickHandler = LoggingTickHandler;
        TestStream().player.song = &song;
        TestStream().ring.writeBlock = 0;
        tickLog = {};
    }
    void TearDown() override {
        TestStream().player.song = nullptr;
        ReleaseMixBuffer(TestStream().ring);
        ReleaseRingSamples(TestStream().ring);
        ResetVoicePool(TestStream().player.mixer);
        ReleaseSampleData(&ramp);
    }

    Song song{};
    Sample ramp{};
};

}  // namespace

// 882-frame ticks in 884-frame blocks: each block starts its tick two frames
// earlier than the one before.
TEST_F(RenderBlockTest, TicksShorterThanABlockCarryTheirRemainder) {
    tickLog.lengths = {882};
    const int32_t leftAfterBlock[] = {880, 878, 876, 874};
    for (int b = 0; b < 4; ++b) {
        RenderBlock(TestStream());
        EXPECT_EQ(song.tickSamplesLeft, leftAfterBlock[b]) << "block " << b;
    }
    // Blocks 0..3 hold frames 0..3535: ticks at 0, 882, 1764, 2646, 3528.
    EXPECT_EQ(tickLog.startFrames, (std::vector<int32_t>{0, 882, 1764, 2646, 3528}));

    // Far into the run the frames per tick stay exact: tick k starts at 882 k.
    for (int b = 4; b < 300; ++b) RenderBlock(TestStream());
    for (size_t k = 0; k < tickLog.startFrames.size(); ++k)
        ASSERT_EQ(tickLog.startFrames[k], int32_t(882 * k)) << "tick " << k;
    // 300 blocks = 265200 frames = 300 ticks + 600 frames, so tick 300 has 282 left.
    EXPECT_EQ(tickLog.startFrames.size(), 301u);
    EXPECT_EQ(song.tickSamplesLeft, 282);
}

// A slow tempo: one tick spans parts of several blocks, and the blocks in
// between run no tick at all.
TEST_F(RenderBlockTest, LongTickSpansBlocks) {
    tickLog.lengths = {3445};
    struct Step {
        size_t  ticksSoFar;
        int32_t leftAfter;
    };
    const Step steps[] = {
        {1, 2561},   // block 0: tick 0 at frame 0
        {1, 1677},   // block 1: none
        {1, 793},    // block 2: none
        {2, 3354},   // block 3 (2652..3535): tick 1 at 3445, 91 frames of it mixed
        {2, 2470},   // block 4
        {2, 1586},   // block 5
        {2, 702},    // block 6
        {3, 3263},   // block 7 (6188..7071): tick 2 at 6890
    };
    for (const Step& s : steps) {
        RenderBlock(TestStream());
        ASSERT_EQ(tickLog.startFrames.size(), s.ticksSoFar);
        EXPECT_EQ(song.tickSamplesLeft, s.leftAfter);
    }
    EXPECT_EQ(tickLog.startFrames, (std::vector<int32_t>{0, 3445, 6890}));
}

// A tick that ends on a block's last frame: the next tick is processed at the
// start of the next block, not at the end of this one.
TEST_F(RenderBlockTest, TickEndingAtBlockEndRunsNextTickInNextBlock) {
    struct Case {
        int32_t tickFrames;
        size_t  ticksPerBlock;
    };
    bool first = true;
    for (const Case& c : {Case{884, 1}, Case{442, 2}, Case{221, 4}}) {
        if (!first) {
            TearDown();
            SetUp();
        }
        first = false;
        tickLog.lengths = {c.tickFrames};
        for (int b = 0; b < 5; ++b) {
            RenderBlock(TestStream());
            EXPECT_EQ(song.tickSamplesLeft, 0);
            EXPECT_EQ(tickLog.startFrames.size(), c.ticksPerBlock * (b + 1)) << c.tickFrames;
        }
    }
}

// The tick handler may change the tick length; the new length already sizes
// the tick that set it.
TEST_F(RenderBlockTest, TickLengthIsReadAfterTheHandler) {
    tickLog.lengths = {100, 300, 50, 1000, 1, 1, 700};
    for (int b = 0; b < 3; ++b) RenderBlock(TestStream());
    EXPECT_EQ(tickLog.startFrames, (std::vector<int32_t>{0, 100, 400, 450, 1450, 1451, 1452, 2152}));
    EXPECT_EQ(song.tickSamplesLeft, 2152 + 700 - 3 * 884);
}

TEST_F(RenderBlockTest, CarriedRemainderDelaysTheFirstTick) {
    tickLog.lengths = {882};
    song.tickSamplesLeft = 500;
    RenderBlock(TestStream());
    EXPECT_EQ(tickLog.startFrames, (std::vector<int32_t>{500}));
    EXPECT_EQ(song.tickSamplesLeft, 882 - 384);
}

// Each block lands in its own place of the ring, converted from its own place
// of the float buffer; after the last block writing starts over at block 0.
TEST_F(RenderBlockTest, BlocksFillTheRingInOrderAndWrap) {
    tickLog.lengths = {882};
    for (int b = 0; b < 99; ++b) RenderBlock(TestStream());
    EXPECT_EQ(TestStream().ring.writeBlock, 99);
    RenderBlock(TestStream());
    EXPECT_EQ(TestStream().ring.writeBlock, 0);
    for (int32_t f = 0; f < 88400; ++f) {
        ASSERT_EQ(TestStream().ring.ringSamples[2 * f], f % kRampPeriod) << "frame " << f;
        ASSERT_EQ(TestStream().ring.ringSamples[2 * f + 1], 0) << "frame " << f;
        ASSERT_EQ(TestStream().ring.mixBuffer[f].left, float(f % kRampPeriod)) << "frame " << f;
    }
    // The next lap overwrites block 0 only, with the frames that follow.
    RenderBlock(TestStream());
    EXPECT_EQ(TestStream().ring.writeBlock, 1);
    for (int32_t f = 0; f < 884; ++f) ASSERT_EQ(TestStream().ring.ringSamples[2 * f], (88400 + f) % kRampPeriod);
    EXPECT_EQ(TestStream().ring.ringSamples[2 * 884], 884);
}

// Without a song or a ring there is nothing to render into; nothing moves.
TEST_F(RenderBlockTest, MissingSongOrBufferDoesNothing) {
    tickLog.lengths = {882};
    TestStream().player.song = nullptr;
    RenderBlock(TestStream());
    EXPECT_EQ(TestStream().ring.writeBlock, 0);
    EXPECT_TRUE(tickLog.startFrames.empty());

    TestStream().player.song = &song;
    TestStream().ring.writeBlock = 100;   // past the last block
    RenderBlock(TestStream());
    EXPECT_EQ(TestStream().ring.writeBlock, 100);
    EXPECT_TRUE(tickLog.startFrames.empty());
    EXPECT_EQ(TestStream().player.mixer.voices[0].position, 0);
}
