// Steering a player: exact seek, a jump at the next row, channel mutes, a
// repeat count that ends the stream, and the output rate.
#include "lumbo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "control/host_player.h"
#include "data/songs.h"
#include "support/module_files.h"
#include "support/xm_writer.h"

using namespace lumbo_test;

namespace {

struct PlayerDeleter {
    void operator()(lumbo_player* p) const { lumbo_free(p); }
};
using PlayerPtr = std::unique_ptr<lumbo_player, PlayerDeleter>;

PlayerPtr NewPlayer(const std::vector<uint8_t>& file, std::vector<int> muted = {}, int32_t rate = 44100) {
    PlayerPtr player(lumbo_load_at(file.data(), file.size(), rate, nullptr));
    EXPECT_TRUE(player);
    for (int c : muted) lumbo_set_channel_mute(player.get(), c, 1);
    return player;
}

// The next frames of the player, as many as it hands out of those asked for.
std::vector<int16_t> Pull(lumbo_player* player, size_t frames) {
    std::vector<int16_t> pcm(2 * frames);
    pcm.resize(2 * lumbo_render(player, pcm.data(), frames));
    return pcm;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& pcm, size_t frame, size_t frames) {
    return std::vector<int16_t>(pcm.begin() + 2 * frame, pcm.begin() + 2 * (frame + frames));
}

lumbo_position PositionOf(lumbo_player* player) {
    lumbo_position p{};
    lumbo_position_of(player, &p);
    return p;
}

// Row starts seen while pulling frames one at a time: the frame and position.
struct RowStart {
    uint64_t frame;
    int32_t  order, row;
};

std::vector<RowStart> PullRowStarts(lumbo_player* player, size_t frames, std::vector<int16_t>* pcm) {
    std::vector<RowStart> starts;
    int16_t frame[2];
    lumbo_position before = PositionOf(player);
    for (size_t i = 0; i < frames && lumbo_render(player, frame, 1) == 1; ++i) {
        pcm->insert(pcm->end(), frame, frame + 2);
        const lumbo_position now = PositionOf(player);
        if (now.tick == 0 && (before.tick != 0 || now.row != before.row || now.order != before.order)) {
            starts.push_back({now.frame - 1, now.order, now.row});
        }
        before = now;
    }
    return starts;
}

const std::vector<std::vector<uint8_t>>& Songs() {
    static const std::vector<std::vector<uint8_t>> files = {EmbeddedFile(lumbo::firstSongImage),
                                                            EmbeddedFile(lumbo::secondSongImage), Busy(32, 3),
                                                            Busy(4, 5)};
    return files;
}

TEST(PlayerControl, SeekGivesTheStreamOfANewPlayerBitForBit) {
    std::mt19937 random(11);
    const size_t total = 30 * 44100;
    for (const std::vector<uint8_t>& file : Songs()) {
        // The reference is a new player with the same mutes from its start.
        const std::vector<int16_t> reference = Pull(NewPlayer(file, {1, 2}).get(), total);
        PlayerPtr player = NewPlayer(file);
        Pull(player.get(), 3000);
        lumbo_jump(player.get(), 1, 2);   // forgotten by the seeks
        Pull(player.get(), 9000);
        lumbo_set_channel_mute(player.get(), 1, 1);
        lumbo_set_channel_mute(player.get(), 2, 1);
        Pull(player.get(), 500);
        // Forwards and back: frame 0, block boundaries, just after a block's
        // first tick (inside a new note's ramp), anywhere.
        std::vector<uint64_t> frames = {0, 884, 884 * 3 + 1, 60000, 59999, 884 * 200, 884 * 200 - 1, 12};
        for (int i = 0; i < 24; ++i) frames.push_back(random() % (total - 6000));
        for (uint64_t f : frames) {
            ASSERT_EQ(lumbo_seek(player.get(), f), 1) << f;
            const size_t n = 1 + random() % 6000;
            ASSERT_EQ(Pull(player.get(), n), Slice(reference, f, n)) << "seek to " << f;
            if (f % 7 == 0) {
                lumbo_jump(player.get(), 0, 1);
                Pull(player.get(), 2000);
            }
        }
    }
}

TEST(PlayerControl, PositionAfterASeekDescribesTheFrameBefore) {
    const std::vector<uint8_t>& file = Songs()[0];
    PlayerPtr player = NewPlayer(file);
    for (uint64_t f : {884u * 40, 884u * 40 + 300, 5u, 884u * 90 - 1}) {
        PlayerPtr fresh = NewPlayer(file);
        Pull(fresh.get(), f);
        ASSERT_EQ(lumbo_seek(player.get(), f), 1);
        const lumbo_position want = PositionOf(fresh.get()), got = PositionOf(player.get());
        EXPECT_EQ(got.frame, f);
        EXPECT_EQ(got.order, want.order) << f;
        EXPECT_EQ(got.row, want.row) << f;
        EXPECT_EQ(got.tick, want.tick) << f;
    }
    ASSERT_EQ(lumbo_seek(player.get(), 0), 1);
    lumbo_position p;
    EXPECT_EQ(lumbo_position_of(player.get(), &p), 0);
}

TEST(PlayerControl, SeekOrderLandsOnTheRowsFirstTick) {
    const std::vector<uint8_t>& file = Songs()[1];
    PlayerPtr player = NewPlayer(file);
    lumbo_info info;
    ASSERT_EQ(lumbo_player_info(player.get(), &info), 1);
    for (auto [order, row] : {std::pair{0, 0}, {1, 0}, {2, 17}, {info.loop_order, info.loop_row}}) {
        ASSERT_EQ(lumbo_seek_order(player.get(), order, row), 1) << order << ":" << row;
        const uint64_t frame = PositionOf(player.get()).frame;
        if (order == info.loop_order && row == info.loop_row) {
            EXPECT_EQ(frame, info.loop_start_frame);
        }
        Pull(player.get(), 1);
        const lumbo_position p = PositionOf(player.get());
        EXPECT_EQ(p.order, order);
        EXPECT_EQ(p.row, row);
        EXPECT_EQ(p.tick, 0);
        if (frame > 0) {   // the frame before belongs to another row
            lumbo_seek(player.get(), frame);
            EXPECT_NE(PositionOf(player.get()).row * 1000 + PositionOf(player.get()).order, row * 1000 + order);
        }
    }
    const uint64_t before = PositionOf(player.get()).frame;
    for (auto [order, row] : {std::pair{info.song_length, 0}, {-1, 0}, {0, 256}, {0, -1}}) {
        EXPECT_EQ(lumbo_seek_order(player.get(), order, row), 0) << order << ":" << row;
    }
    EXPECT_EQ(PositionOf(player.get()).frame, before);
}

// Three 16-row patterns in order; a note every four rows on channel 0.
xm::Module JumpModule() {
    xm::Module m;
    m.channels = 2;
    m.orders = {0, 1, 2};
    for (int p = 0; p < 3; ++p) {
        xm::Pattern& pattern = m.AddPattern(16);
        for (int row = 0; row < 16; row += 4) pattern.At(row, 0) = {uint8_t(37 + 12 * p + row / 4), 1, 0, 0, 0};
    }
    std::vector<int16_t> saw(600);
    for (size_t i = 0; i < saw.size(); ++i) saw[i] = int16_t(i * 100 - 30000);
    m.AddInstrument().samples.push_back(xm::Sample::Pcm16(saw).Loop(100, 500));
    return m;
}

TEST(PlayerControl, JumpTakesTheNextRowStartAfterTheRowBeingPlayed) {
    constexpr uint64_t kRow = 6 * 882;
    struct Case {
        const char* what;
        xm::Cell    row1;          // on channel 1 of row 1, the row playing when the jump is made
        uint64_t    jumpAfter;     // frames handed out before the jump
        uint64_t    rowEnds;       // where row 1 ends
    } cases[] = {
        {"a plain row", {}, kRow + 100, 2 * kRow},
        {"the row's own position jump", {0, 0, 0, 0x0B, 0x01}, kRow + 3000, 2 * kRow},
        {"the row's own break", {0, 0, 0, 0x0D, 0x10}, kRow + 4000, 2 * kRow},
        {"a pattern delay of two rows", {0, 0, 0, 0x0E, 0xE2}, kRow + 12000, 4 * kRow},
        {"a pattern loop back to row 0", {0, 0, 0, 0x0E, 0x63}, kRow + 10, 2 * kRow},
    };
    for (const Case& c : cases) {
        xm::Module m = JumpModule();
        m.patterns[0].At(1, 1) = c.row1;
        const std::vector<uint8_t> file = xm::Write(m);
        std::vector<int16_t> reference;
        const std::vector<RowStart> plain = PullRowStarts(NewPlayer(file).get(), c.rowEnds + 100, &reference);

        PlayerPtr player = NewPlayer(file);
        std::vector<int16_t> pcm = Pull(player.get(), c.jumpAfter);
        EXPECT_EQ(lumbo_jump(player.get(), 2, 5), 1) << c.what;
        const std::vector<RowStart> starts = PullRowStarts(player.get(), c.rowEnds + 3 * kRow - c.jumpAfter, &pcm);
        ASSERT_GE(starts.size(), 3u) << c.what;
        EXPECT_EQ(starts[0].frame, c.rowEnds) << c.what;   // the row keeps its length
        EXPECT_EQ(starts[0].order, 2) << c.what;
        EXPECT_EQ(starts[0].row, 5) << c.what;
        // And on from there, with no loop or jump of the old row carrying on.
        EXPECT_EQ(starts[1].row, 6) << c.what;
        EXPECT_EQ(starts[2].row, 7) << c.what;
        EXPECT_EQ(Slice(pcm, 0, c.rowEnds), Slice(reference, 0, c.rowEnds)) << c.what;
        EXPECT_EQ(plain.back().frame, c.rowEnds) << c.what;
    }
    PlayerPtr player = NewPlayer(xm::Write(JumpModule()));
    for (auto [order, row] : {std::pair{3, 0}, {-1, 0}, {0, 16}, {0, -1}}) {
        EXPECT_EQ(lumbo_jump(player.get(), order, row), 0) << order << ":" << row;
    }
    EXPECT_EQ(lumbo_jump(nullptr, 0, 0), 0);
}

TEST(PlayerControl, MutedChannelsRampToSilenceAndComeBackAsNeverMuted) {
    // A flat line: the mute is a straight ramp down over 128 frames from the
    // block boundary after the call, with no step above one ramp step.
    PlayerPtr flat = NewPlayer(Flat());
    const std::vector<int16_t> settled = Pull(flat.get(), 884 * 3 + 100);
    const int level = settled[settled.size() - 2];
    lumbo_set_channel_mute(flat.get(), 0, 1);
    const std::vector<int16_t> down = Pull(flat.get(), 884 - 100 + 300);
    for (size_t k = 0; k < 784; ++k) ASSERT_EQ(down[2 * k], level) << "before the boundary, frame " << k;
    for (size_t k = 784; k < down.size() / 2; ++k) {
        ASSERT_LE(std::abs(down[2 * k] - down[2 * k - 2]), level / 128 + 1) << k;
        if (k >= 784 + 128) {
            ASSERT_EQ(down[2 * k], 0) << k;
        }
    }
    for (const std::vector<uint8_t>& file : {Songs()[0], Songs()[2]}) {
        const size_t total = 20 * 44100;
        const std::vector<int16_t> reference = Pull(NewPlayer(file).get(), total);
        PlayerPtr player = NewPlayer(file);
        Pull(player.get(), 4 * 44100);
        for (int c = 0; c < 32; ++c) lumbo_set_channel_mute(player.get(), c, 1);
        const std::vector<int16_t> muted = Pull(player.get(), 2 * 44100);
        for (size_t k = 2 * (884 + 128); k < muted.size(); ++k) ASSERT_EQ(muted[k], 0) << k / 2;
        for (int c = 0; c < 32; ++c) lumbo_set_channel_mute(player.get(), c, 0);
        const std::vector<int16_t> back = Pull(player.get(), total - 6 * 44100);
        // Voices are re-targeted at their next tick; a tick is longer than
        // the ramp, so from the second tick after the boundary on it is the
        // stream that never muted.
        const size_t from = 2 * 882 + 884 + 128;
        EXPECT_EQ(Slice(back, from, back.size() / 2 - from), Slice(reference, 6 * 44100 + from, back.size() / 2 - from));
    }
}

TEST(PlayerControl, RepeatEndsTheStreamAtAComeBack) {
    for (const std::vector<uint8_t>& file : Songs()) {
        lumbo_info info;
        ASSERT_EQ(lumbo_module_info(file.data(), file.size(), &info), LUMBO_OK);
        ASSERT_EQ(info.loops, 1);
        const uint64_t pass = info.loop_end_frame - info.loop_start_frame;
        const std::vector<int16_t> looping = Pull(NewPlayer(file).get(), info.loop_end_frame + 3 * pass);

        PlayerPtr once = NewPlayer(file);
        lumbo_set_repeat(once.get(), 0);
        EXPECT_EQ(Pull(once.get(), info.loop_end_frame - 1), Slice(looping, 0, info.loop_end_frame - 1));
        EXPECT_EQ(lumbo_ended(once.get()), 0);   // one frame still to come
        EXPECT_EQ(Pull(once.get(), 5000), Slice(looping, info.loop_end_frame - 1, 1));
        EXPECT_EQ(lumbo_ended(once.get()), 1);
        EXPECT_EQ(Pull(once.get(), 5000).size(), 0u);
        EXPECT_EQ(lumbo_jump(once.get(), 0, 0), 0);
        // A larger count lets it go on; a smaller one ends it at the next
        // come-back. The two built-in songs loop in passes of equal length.
        lumbo_set_repeat(once.get(), 2);
        const std::vector<int16_t> more = Pull(once.get(), 3 * pass);
        EXPECT_EQ(more, Slice(looping, info.loop_end_frame, more.size() / 2));
        if (file == Songs()[0] || file == Songs()[1]) {
            EXPECT_EQ(more.size() / 2, 2 * pass);
        }
        EXPECT_EQ(lumbo_ended(once.get()), 1);
        lumbo_set_repeat(once.get(), -1);
        Pull(once.get(), pass / 2);
        lumbo_set_repeat(once.get(), 0);
        Pull(once.get(), 2 * pass);
        EXPECT_EQ(lumbo_ended(once.get()), 1);
        if (file == Songs()[0]) {
            EXPECT_EQ(PositionOf(once.get()).frame, info.loop_end_frame + 3 * pass);
        }
        // Seeks: to the end itself, not past it; back before it goes on.
        EXPECT_EQ(lumbo_seek(once.get(), info.loop_end_frame + 1), 0);
        EXPECT_EQ(lumbo_seek(once.get(), info.loop_end_frame), 1);
        EXPECT_EQ(Pull(once.get(), 10).size(), 0u);
        EXPECT_EQ(lumbo_seek(once.get(), 100), 1);
        EXPECT_EQ(lumbo_ended(once.get()), 0);
        EXPECT_EQ(Pull(once.get(), 10), Slice(looping, 100, 10));
        // A count set after the song came back: seeks are a new player's with it.
        PlayerPtr late = NewPlayer(file);
        Pull(late.get(), info.loop_end_frame + 1000);
        lumbo_set_repeat(late.get(), 0);
        EXPECT_EQ(lumbo_seek(late.get(), info.loop_end_frame + 20000), 0);
        EXPECT_EQ(lumbo_seek(late.get(), info.loop_end_frame), 1);
        EXPECT_EQ(Pull(late.get(), 10).size(), 0u);
    }
}

// A game thread steers while the audio thread pulls: no call waits for the
// other, and the player comes through whole (the thread sanitizer runs this).
TEST(PlayerControl, ControlsFromAnotherThreadWhileItRenders) {
    const std::vector<uint8_t> file = Busy(8, 7);
    const std::vector<int16_t> reference = Pull(NewPlayer(file).get(), 44100);
    PlayerPtr player = NewPlayer(file);
    std::atomic<bool> done{false};
    std::thread steer([&] {
        std::mt19937 random(2);
        while (!done.load()) {
            const int32_t a = int32_t(random() % 40) - 4, b = int32_t(random() % 40) - 4;
            switch (random() % 4) {
                case 0: lumbo_jump(player.get(), a, b); break;
                case 1: lumbo_set_channel_mute(player.get(), a, b & 1); break;
                case 2: lumbo_set_repeat(player.get(), a % 3); break;
                default: lumbo_set_volume(player.get(), a * 8); break;
            }
        }
    });
    std::vector<int16_t> pcm(2 * 1000);
    for (int i = 0; i < 300; ++i) {
        lumbo_render(player.get(), pcm.data(), 1000);
        lumbo_ended(player.get());
        if (i % 50 == 49) lumbo_seek(player.get(), uint64_t(i) * 500);
    }
    done.store(true);
    steer.join();
    for (int c = 0; c < 32; ++c) lumbo_set_channel_mute(player.get(), c, 0);
    lumbo_set_repeat(player.get(), -1);
    lumbo_set_volume(player.get(), 256);
    Pull(player.get(), 2000);   // the volume settles
    ASSERT_EQ(lumbo_seek(player.get(), 0), 1);
    EXPECT_EQ(Pull(player.get(), 44100), reference);
}

// Each order plays its pattern's rows 65296 times over two nested pattern
// loops; rows a pattern loop plays do count towards the limit of the loop
// search (2^20 row starts), so 16 orders come back within it and 17 do not.
std::vector<uint8_t> NestedLoops(int orders) {
    xm::Module m = JumpModule();
    m.orders.assign(size_t(orders), 0);
    m.speed = 1;
    m.tempo = 255;
    xm::Pattern& p = m.patterns[0];
    p = xm::Pattern{};
    p.rows = 256, p.channels = 2, p.cells.resize(512);
    p.At(0, 0) = {49, 1, 0, 0, 0};
    p.At(254, 1) = {0, 0, 0, 0x0E, 0x6F};
    p.At(255, 0) = {0, 0, 0, 0x0E, 0x6F};
    return xm::Write(m);
}

TEST(PlayerControl, ASongThatNeverComesBackPlaysOnWhateverTheCount) {
    for (int orders : {16, 17}) {
        const std::vector<uint8_t> file = NestedLoops(orders);
        PlayerPtr player = NewPlayer(file, {}, 8000);
        lumbo_info info;
        ASSERT_EQ(lumbo_player_info(player.get(), &info), 1);
        EXPECT_EQ(info.loops, orders == 16) << orders;
        EXPECT_EQ(info.rows, orders == 16 ? 16 * 65296 : 1 << 20) << orders;
        // Past where 17 orders come back, had the search gone on.
        lumbo_set_repeat(player.get(), 0);
        const uint64_t beyond = uint64_t(17 * 65296 + 100) * 78;
        EXPECT_EQ(lumbo_seek(player.get(), beyond), orders == 17) << orders;
        if (orders == 16) {
            EXPECT_EQ(lumbo_seek(player.get(), info.loop_end_frame), 1);
        }
        EXPECT_EQ(Pull(player.get(), 1000).size() / 2, orders == 17 ? 1000u : 0u) << orders;
    }
}

TEST(PlayerControl, RateSetsBlockRampAndTickLengths) {
    const std::vector<uint8_t> file = Busy(8, 4);
    struct Case {
        int32_t rate, block, ramp, tick;   // tick at tempo 125
    } cases[] = {{22050, 444, 64, 441}, {32000, 640, 92, 640}, {44100, 884, 128, 882},
                 {48000, 960, 139, 960}, {96000, 1920, 278, 1920}};
    for (const Case& c : cases) {
        PlayerPtr player = NewPlayer(Flat(), {}, c.rate);   // tempo 125
        const lumbo::Stream& stream = player->stream;
        EXPECT_EQ(stream.ring.blockFrames, c.block) << c.rate;
        EXPECT_EQ(stream.player.mixer.rampLength, c.ramp) << c.rate;
        EXPECT_EQ(stream.player.song->samplesPerTick, c.tick) << c.rate;
    }
    int32_t status = -1;
    for (int32_t rate : {7999, 192001, 0, -44100}) {
        EXPECT_EQ(lumbo_load_at(file.data(), file.size(), rate, &status), nullptr);
        EXPECT_EQ(status, LUMBO_BAD_ARGUMENT);
    }
    for (int32_t rate : {8000, 192000}) EXPECT_TRUE(NewPlayer(file, {}, rate));

    // 48000: the same in any chunks, and the facts at that rate.
    PlayerPtr whole = NewPlayer(file, {}, 48000);
    lumbo_info at48, at441;
    ASSERT_EQ(lumbo_player_info(whole.get(), &at48), 1);
    ASSERT_EQ(lumbo_module_info(file.data(), file.size(), &at441), LUMBO_OK);
    EXPECT_EQ(at48.rows, at441.rows);
    EXPECT_STREQ(at48.title, at441.title);
    EXPECT_EQ(at48.patterns, at441.patterns);
    lumbo_set_repeat(whole.get(), 0);
    const std::vector<int16_t> reference = Pull(whole.get(), at48.loop_end_frame + 1000);
    EXPECT_EQ(reference.size() / 2, at48.loop_end_frame);
    PlayerPtr chunked = NewPlayer(file, {}, 48000);
    std::vector<int16_t> pcm;
    std::mt19937 random(3);
    while (pcm.size() < reference.size()) {
        const std::vector<int16_t> part = Pull(chunked.get(), std::min<size_t>(random() % 3000, (reference.size() - pcm.size()) / 2));
        pcm.insert(pcm.end(), part.begin(), part.end());
    }
    EXPECT_EQ(pcm, reference);
}

}  // namespace
