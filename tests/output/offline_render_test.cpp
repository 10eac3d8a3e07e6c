#include "output/offline_render.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mixer/mixer.h"
#include "output/output_ring.h"
#include "output/output_size.h"
#include "output/render_block.h"
#include "output/ring_buffers.h"
#include "sequencer/channel.h"
#include "sequencer/tick_driver.h"
#include "support/rich_module.h"
#include "support/song_fixture.h"

#include "support/playback_fixture.h"

using namespace lumbo;
using lumbo_test::TestStream;
using lumbo_test::Load;
using lumbo_test::RichModule;
using lumbo_test::SongPtr;

namespace {

// Frames from the start of the song, rendered offline in pieces of the given sizes (the last repeats).
std::vector<int16_t> RenderInPieces(Song* song, int64_t frames, std::vector<int64_t> pieces) {
    std::vector<int16_t> pcm(size_t(frames) * 2, 0x5555);
    EXPECT_TRUE(BeginOfflineRender(TestStream(), song, kOutputRate));
    int64_t done = 0;
    for (size_t k = 0; done < frames; ++k) {
        int64_t n = pieces[k < pieces.size() ? k : pieces.size() - 1];
        if (n > frames - done) n = frames - done;
        EXPECT_TRUE(RenderOfflineFrames(TestStream(), pcm.data() + 2 * done, n));
        done += n;
    }
    EndOfflineRender(TestStream());
    return pcm;
}

uint64_t Fnv1a(const std::vector<int16_t>& pcm) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (int16_t s : pcm) {
        for (int shift : {0, 8}) {   // little-endian bytes, as in the files
            hash ^= uint8_t(uint16_t(s) >> shift);
            hash *= 0x100000001b3ull;
        }
    }
    return hash;
}

bool Silent(const std::vector<int16_t>& pcm) {
    for (int16_t s : pcm)
        if (s != 0) return false;
    return true;
}

}  // namespace

// Every way of asking for the frames gives the same bytes, render after
// render. (Each render loads the module afresh, as playback does: a render
// leaves traces in the song, such as effect memories.)
TEST(OfflineRender, SameBytesWhateverTheChunking) {
    const int64_t frames = 3 * 44100 + 17;
    SongPtr first = Load(RichModule(8));
    ASSERT_TRUE(first);
    std::vector<int16_t> whole = RenderInPieces(first.get(), frames, {frames});
    EXPECT_FALSE(Silent(whole));
    const std::vector<std::vector<int64_t>> chunkings = {
        {frames}, {884}, {883}, {885}, {1}, {7, 1000, 3, 884 * 3}, {44100}, {0, 5, 0, 88400},
    };
    for (const auto& pieces : chunkings) {
        SongPtr song = Load(RichModule(8));
        std::vector<int16_t> again = RenderInPieces(song.get(), frames, pieces);
        ASSERT_TRUE(again == whole) << "first piece " << pieces[0];
    }
}

// The stream is what playback puts in the ring: the 100 blocks of the
// start-up pre-render, then each block re-rendered in ring order.
TEST(OfflineRender, StreamIsWhatTheRingReceives) {
    SongPtr song = Load(RichModule(6, 7));
    ASSERT_TRUE(song);
    const int64_t frames = 88400 + 884 * 30;
    std::vector<int16_t> stream = RenderInPieces(song.get(), frames, {frames});

    // Playback's own steps: size, reset, allocate, pre-render, then the thread's blocks.
    TestStream().player.mixer.sampleRate = kOutputRate;
    ASSERT_TRUE(SizeOutput(TestStream(), kOutputRate));
    TestStream().player.song = song.get();
    ResetSongState(TestStream().player);
    ResetChannels(TestStream().player);
    ASSERT_TRUE(AllocateRingSamples(TestStream().ring));
    ASSERT_TRUE(AllocateMixBuffer(TestStream().ring));
    TestStream().ring.writeBlock = 0;
    do RenderBlock(TestStream());
    while (TestStream().ring.writeBlock != 0);
    EXPECT_EQ(memcmp(TestStream().ring.ringSamples, stream.data(), 88400 * 4), 0);
    for (int b = 0; b < 30; ++b) {
        RenderBlock(TestStream());
        EXPECT_EQ(memcmp(TestStream().ring.ringSamples + 2 * 884 * b, stream.data() + 2 * (88400 + 884 * b), 884 * 4), 0)
            << "block " << b << " of the second lap";
    }
    TestStream().player.song = nullptr;
    ReleaseMixBuffer(TestStream().ring);
    ReleaseRingSamples(TestStream().ring);
}

// A hash of a few seconds of a busy module. The optimised and the sanitizer
// builds must agree with it (and so with each other): the output is meant to
// be bit-exact whatever the build. A change to the engine that changes its
// output on purpose updates the value.
TEST(OfflineRender, BusyModuleHashIsStable) {
    SongPtr song = Load(RichModule(12, 3));
    ASSERT_TRUE(song);
    std::vector<int16_t> pcm = RenderInPieces(song.get(), 4 * 44100, {10000});
    EXPECT_EQ(Fnv1a(pcm), 0x60901452861ef375ull) << std::hex << Fnv1a(pcm);
}

// A tempo set on the first row already sizes that row's first tick: at 150
// BPM a tick is 44100 x 5 / 300 = 735 frames, so the first block holds tick 0
// whole and 149 frames of tick 1, leaving 586 (at the default 125 BPM, 880;
// at 32 BPM a tick is 3445 frames).
TEST(OfflineRender, TempoFromTheFirstRowSizesItsOwnTick) {
    struct Case {
        uint8_t tempo;      // F-effect parameter; 0 = none
        int32_t leftAfterBlock0;
        int32_t leftAfterBlock1;
    };
    for (const Case& c : {Case{0, 880, 878}, Case{150, 586, 437}, Case{32, 2561, 1677}}) {
        xm::Module m;
        m.orders = {0};
        m.AddPattern(64).At(0, 2) = {0, 0, 0, 0x0F, c.tempo};
        SongPtr song = Load(m);
        ASSERT_TRUE(song);
        int16_t pcm[884 * 2];
        ASSERT_TRUE(BeginOfflineRender(TestStream(), song.get(), kOutputRate));
        ASSERT_TRUE(RenderOfflineFrames(TestStream(), pcm, 884));
        EXPECT_EQ(song->tickSamplesLeft, c.leftAfterBlock0) << int(c.tempo);
        ASSERT_TRUE(RenderOfflineFrames(TestStream(), pcm, 884));
        EXPECT_EQ(song->tickSamplesLeft, c.leftAfterBlock1) << int(c.tempo);
        EndOfflineRender(TestStream());
    }
}

TEST(OfflineRender, RefusesWhatItCannotRender) {
    SongPtr song = Load(RichModule(4));
    ASSERT_TRUE(song);
    int16_t pcm[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_FALSE(RenderOfflineFrames(TestStream(), pcm, 2));   // nothing begun
    EXPECT_EQ(pcm[0], 1);
    EXPECT_FALSE(BeginOfflineRender(TestStream(), nullptr, kOutputRate));
    EXPECT_FALSE(BeginOfflineRender(TestStream(), song.get(), 0));
    EXPECT_FALSE(BeginOfflineRender(TestStream(), song.get(), -44100));

    // A ring that playback holds is not taken over.
    Song other{};
    TestStream().player.song = &other;
    EXPECT_FALSE(BeginOfflineRender(TestStream(), song.get(), kOutputRate));
    TestStream().player.song = nullptr;

    ASSERT_TRUE(BeginOfflineRender(TestStream(), song.get(), kOutputRate));
    EXPECT_FALSE(RenderOfflineFrames(TestStream(), nullptr, 2));
    EXPECT_FALSE(RenderOfflineFrames(TestStream(), pcm, -1));
    EXPECT_TRUE(RenderOfflineFrames(TestStream(), pcm, 0));
    EXPECT_EQ(pcm[0], 1);
    EndOfflineRender(TestStream());
    EXPECT_EQ(TestStream().player.song, nullptr);
    EXPECT_EQ(TestStream().ring.ringSamples, nullptr);
    EXPECT_EQ(TestStream().ring.mixAllocation, nullptr);
    EXPECT_FALSE(RenderOfflineFrames(TestStream(), pcm, 2));
}
