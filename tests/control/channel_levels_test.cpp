// Level meters: each channel's level over the latest block, from the voices.
#include "lumbo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "support/module_files.h"

using namespace lumbo_test;

namespace {

struct Meters {
    int32_t written;
    std::vector<uint8_t> levels;
};

// Levels after `frames` frames, with room for `count` and a marker after them.
Meters LevelsAfter(const std::vector<uint8_t>& file, size_t frames, int32_t count, int muted = -1) {
    lumbo_player* player = lumbo_load(file.data(), file.size(), nullptr);
    EXPECT_NE(player, nullptr);
    if (muted >= 0) lumbo_set_channel_mute(player, muted, 1);
    std::vector<int16_t> pcm(2 * frames + 2);
    lumbo_render(player, pcm.data(), frames);
    Meters m{0, std::vector<uint8_t>(size_t(count) + 1, 0xEE)};
    m.written = lumbo_channel_levels(player, m.levels.data(), count);
    lumbo_free(player);
    return m;
}

TEST(ChannelLevels, AreTheMixedAmplitudeOfEachChannel) {
    // Flat: one centred channel holding 0x4000 at full volume, which the
    // output shows as a flat line at amplitude a; its level is a x 255 / 32768.
    const std::vector<uint8_t> flat = Flat();
    lumbo_player* player = lumbo_load(flat.data(), flat.size(), nullptr);
    int16_t frames[2 * 2000];
    lumbo_render(player, frames, 2000);
    lumbo_free(player);
    const int expected = std::abs(frames[2 * 1999]) * 255 / 32768;
    ASSERT_GT(expected, 10);

    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        size_t frames;
        int32_t count, muted, written;
    };
    const Case cases[] = {
        {"nothing rendered yet", flat, 0, 4, -1, 1},
        {"playing", flat, 2000, 4, -1, 1},
        {"muted, its ramp over", flat, 2000, 4, 0, 1},
        {"room for fewer than the channels", Busy(4, 5), 44100, 2, -1, 2},
        {"room for more", Busy(4, 5), 44100, 32, -1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Meters m = LevelsAfter(c.file, c.frames, c.count, c.muted);
        ASSERT_EQ(m.written, c.written);
        EXPECT_EQ(m.levels[size_t(c.count)], 0xEE);   // nothing past the room given
        if (c.count > c.written) {
            EXPECT_EQ(m.levels[size_t(c.written)], 0xEE);
        }
        if (c.file == flat) {
            const int want = c.frames == 0 || c.muted == 0 ? 0 : expected;
            EXPECT_NEAR(m.levels[0], want, 1);
        } else {
            int sounding = 0;
            for (int32_t i = 0; i < c.written; ++i) sounding += m.levels[size_t(i)] > 0;
            EXPECT_GT(sounding, 0);
        }
    }
}

TEST(ChannelLevels, RefuseWhatIsNotThere) {
    const std::vector<uint8_t> flat = Flat();
    lumbo_player* player = lumbo_load(flat.data(), flat.size(), nullptr);
    uint8_t level = 0xEE;
    EXPECT_EQ(lumbo_channel_levels(nullptr, &level, 1), 0);
    EXPECT_EQ(lumbo_channel_levels(player, nullptr, 1), 0);
    EXPECT_EQ(lumbo_channel_levels(player, &level, 0), 0);
    EXPECT_EQ(level, 0xEE);
    lumbo_free(player);
}

}  // namespace
