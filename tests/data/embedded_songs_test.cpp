// The songs the library embeds: both load, and each has the make-up the
// engine is built around (song 1: the four-channel profile the loader was
// designed for; song 2: the features the engine offers).
#include <gtest/gtest.h>

#include <set>

#include "data/songs.h"
#include "song/loader.h"
#include "support/song_fixture.h"

namespace {

using lumbo_test::SongPtr;

uint32_t ImageLength(const lumbo::ModuleImage* image) {
    return uint32_t(image[0]) | uint32_t(image[1]) << 8 | uint32_t(image[2]) << 16 | uint32_t(image[3]) << 24;
}

SongPtr LoadEmbedded(const lumbo::ModuleImage* image) {
    lumbo::LoadStatus status{};
    SongPtr song(lumbo::LoadSong(image, &status));
    EXPECT_TRUE(song) << "rejected, error " << int(status.error);
    return song;
}

// Order positions that play: up to the first position-jump row reached, in order.
struct Playing {
    int realOrders = 0;         // order entries before the 255 padding
    int jumpTarget = -1;        // Bxx target in the last row of the last real pattern
};

Playing Inspect(const lumbo::Song& song) {
    Playing p;
    while (p.realOrders < song.songLength && song.orderTable[p.realOrders] != 255) ++p.realOrders;
    if (p.realOrders == 0) return p;
    const lumbo::Pattern& last = song.patterns[song.orderTable[p.realOrders - 1]];
    for (int c = 0; c < song.channelCount; ++c) {
        const lumbo::Cell& cell = last.cells[(last.rowCount - 1) * song.channelCount + c];
        if (cell.effect == 0x0B) p.jumpTarget = cell.effectParam;
    }
    return p;
}

// Effect numbers (0x0E extended effects as 0xE0 + x) and volume-column kinds
// (0x100 + high nibble) used in the playing orders, and whether a key-off occurs.
std::set<int> EffectsUsed(const lumbo::Song& song, int orders, bool* keyOff) {
    std::set<int> used;
    *keyOff = false;
    for (int o = 0; o < orders; ++o) {
        const lumbo::Pattern& p = song.patterns[song.orderTable[o]];
        for (int i = 0; i < p.rowCount * song.channelCount; ++i) {
            const lumbo::Cell& c = p.cells[i];
            if (c.note == 255) *keyOff = true;
            if (c.effect == 0x0E) used.insert(0xE0 + (c.effectParam >> 4));
            else if (c.effect != 0 || c.effectParam != 0) used.insert(c.effect);
            if (c.volumeCommand >= 0x60) used.insert(0x100 + (c.volumeCommand >> 4));
        }
    }
    return used;
}

TEST(EmbeddedSongs, ImagesSitOneAfterTheOther) {
    EXPECT_EQ(lumbo::secondSongImage, lumbo::firstSongImage + 4 + ImageLength(lumbo::firstSongImage));
    for (const lumbo::ModuleImage* image : {lumbo::firstSongImage, lumbo::secondSongImage}) {
        EXPECT_GT(ImageLength(image), 336u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(image + 4), 17), "Extended Module: ");
    }
}

TEST(EmbeddedSongs, FirstSongHasTheFourChannelProfile) {
    SongPtr song = LoadEmbedded(lumbo::firstSongImage);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->channelCount, 4);
    EXPECT_EQ(song->flags & 1, 0) << "Amiga periods";
    EXPECT_EQ(song->defaultSpeed, 6);
    EXPECT_EQ(song->defaultTempo, 125);
    EXPECT_EQ(song->songLength, 256);
    EXPECT_EQ(song->usedPatternCount, 256) << "the 255 padding names patterns the file lacks";

    Playing playing = Inspect(*song);
    ASSERT_GT(playing.realOrders, 1);
    for (int o = playing.realOrders; o < 256; ++o) ASSERT_EQ(song->orderTable[o], 255) << "order " << o;
    EXPECT_GE(playing.jumpTarget, 0) << "the last real pattern ends in a position jump";
    EXPECT_LT(playing.jumpTarget, playing.realOrders);

    ASSERT_EQ(song->instrumentCount, 31);
    int empty = 0;
    for (int i = 0; i < 31; ++i) {
        const lumbo::Instrument& ins = song->instruments[i];
        ASSERT_EQ(ins.sampleCount, 1) << "instrument " << i + 1;
        EXPECT_EQ(ins.volumeEnvelopeFlags, 0);
        EXPECT_EQ(ins.panningEnvelopeFlags, 0);
        const lumbo::Sample& s = *ins.samples[0];
        if (s.length == 0) {
            ++empty;
            EXPECT_EQ(s.data, nullptr);
            continue;
        }
        // 8-bit data widens to frames whose low byte is 0.
        for (uint32_t f = 0; f < s.length; ++f) ASSERT_EQ(s.data[f] & 0xFF, 0) << "instrument " << i + 1;
    }
    EXPECT_EQ(empty, 22);
}

TEST(EmbeddedSongs, SecondSongShowsWhatTheEngineDoes) {
    SongPtr song = LoadEmbedded(lumbo::secondSongImage);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->channelCount, 8);
    EXPECT_EQ(song->flags & 1, 1) << "linear periods";

    bool volumeSustain = false, volumeLoop = false, panningEnvelope = false, panningLoop = false;
    bool fadeout = false, autoVibrato = false, sixteenBit = false, forward = false, pingPong = false;
    for (int i = 0; i < song->instrumentCount; ++i) {
        const lumbo::Instrument& ins = song->instruments[i];
        volumeSustain |= (ins.volumeEnvelopeFlags & 3) == 3;
        volumeLoop |= (ins.volumeEnvelopeFlags & 5) == 5;
        panningEnvelope |= (ins.panningEnvelopeFlags & 1) != 0;
        panningLoop |= (ins.panningEnvelopeFlags & 5) == 5;
        fadeout |= ins.fadeout > 0;
        autoVibrato |= ins.vibratoDepth > 0 && ins.vibratoRate > 0;
        for (int k = 0; k < ins.sampleCount; ++k) {
            const lumbo::Sample& s = *ins.samples[k];
            forward |= s.loopMode == 2;
            pingPong |= s.loopMode == 4;
            for (uint32_t f = 0; f < s.length && !sixteenBit; ++f) sixteenBit = (s.data[f] & 0xFF) != 0;
        }
    }
    EXPECT_TRUE(volumeSustain);
    EXPECT_TRUE(volumeLoop);
    EXPECT_TRUE(panningEnvelope);
    EXPECT_TRUE(panningLoop);
    EXPECT_TRUE(fadeout);
    EXPECT_TRUE(autoVibrato);
    EXPECT_TRUE(sixteenBit);
    EXPECT_TRUE(forward);
    EXPECT_TRUE(pingPong);

    Playing playing = Inspect(*song);
    EXPECT_GE(playing.jumpTarget, 0);
    bool keyOff = false;
    std::set<int> used = EffectsUsed(*song, playing.realOrders, &keyOff);
    EXPECT_TRUE(keyOff);
    const struct {
        int effect;
        const char* name;
    } wanted[] = {
        {0x00, "arpeggio"},       {0x01, "portamento up"},   {0x02, "portamento down"},
        {0x03, "tone portamento"}, {0x04, "vibrato"},        {0x07, "tremolo"},
        {0x08, "panning"},        {0x0A, "volume slide"},    {0x1B, "multi-retrigger"},
        {0xE6, "pattern loop"},   {0xE9, "retrigger"},       {0xED, "note delay"},
    };
    for (const auto& w : wanted) EXPECT_TRUE(used.count(w.effect)) << w.name;
}

}  // namespace
