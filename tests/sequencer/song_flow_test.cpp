// The tick clock and the song position: rows, patterns, the wrap to the
// restart position, jumps, breaks, pattern loops and delays, speed and tempo.
#include <gtest/gtest.h>

#include "mixer/mixer.h"
#include "sequencer/row.h"
#include "sequencer/tick_driver.h"
#include "support/sequencer_harness.h"

namespace lumbo_test {
namespace {

using lumbo::Song;

// Row starts only: the position of each of the next `rows` tick-0 ticks.
std::vector<TickPosition> RowStarts(Song* song, int rows) {
    std::vector<TickPosition> starts;
    while (int(starts.size()) < rows) {
        TickPosition at = StepTick(song);
        if (at.tick == 0) starts.push_back(at);
    }
    return starts;
}

xm::Module FlowModule(std::vector<int> patternRows, std::vector<uint8_t> orders) {
    xm::Module m = SequencerModule(4);
    m.patterns.clear();
    for (int rows : patternRows) m.AddPattern(rows);
    m.orders = orders;
    return m;
}

TEST(SetTempo, FramesPerTickFromTheStoredConstants) {
    // Expected: (1000 / (tempo x 0.4f)) x rate x 0.001f in double, rounded to
    // even, worked out separately; tempos below 1 play as tempo 1.
    struct Case { int32_t rate, tempo, frames; } cases[] = {
        {44100, 125, 882},  {44100, 100, 1103},  {44100, 32, 3445},     {44100, 255, 432},
        {44100, 1, 110250}, {44100, 32767, 3},   {22050, 125, 441},     {22050, 32, 1723},
        {22050, 32767, 2},  {44100, 0, 110250},  {44100, -40, 110250},
    };
    static lumbo::Player player;
    for (const Case& c : cases) {
        player.mixer.sampleRate = c.rate;
        Song song{};
        player.song = &song;
        lumbo::SetTempo(player, c.tempo);
        EXPECT_EQ(song.samplesPerTick, c.frames) << "rate " << c.rate << " tempo " << c.tempo;
        EXPECT_EQ(song.tempo, c.tempo);
    }
}

TEST(TickDriver, StartsAtOrderZeroWithTheDefaults) {
    xm::Module m = SequencerModule();
    m.speed = 3;
    m.tempo = 100;
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(HarnessPlayer().tickHandler, &lumbo::TickDriver);
    EXPECT_EQ(song->speed, 3);
    EXPECT_EQ(song->samplesPerTick, 1103);
    EXPECT_EQ(song->globalVolume, 64);
    EXPECT_EQ(song->nextRow, -1);
    EXPECT_EQ(song->nextOrder, -1);
    EXPECT_EQ(StepTicks(song.get(), 7),
              (std::vector<TickPosition>{{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 1, 0}, {0, 1, 1}, {0, 1, 2}, {0, 2, 0}}));
}

TEST(TickDriver, PatternsAdvanceAndWrapToTheRestartPosition) {
    xm::Module m = FlowModule({64, 64, 64}, {0, 1, 2});
    m.speed = 1;
    m.restartPosition = 1;
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 63);
    StepTick(song.get());  // row 63 of order 0
    EXPECT_EQ(song->nextRow, 0);
    EXPECT_EQ(song->nextOrder, 1);
    EXPECT_EQ(StepTick(song.get()), (TickPosition{1, 0, 0}));
    StepTicks(song.get(), 64 + 62);
    EXPECT_EQ(StepTick(song.get()), (TickPosition{2, 63, 0}));
    EXPECT_EQ(song->nextOrder, 1);  // the restart position, not 0
    EXPECT_EQ(StepTick(song.get()), (TickPosition{1, 0, 0}));
}

TEST(TickDriver, RestartPositionOutsideTheSongPlaysAsZero) {
    for (uint16_t restart : {2, 3, 200, 0xFFFF}) {
        xm::Module m = FlowModule({2, 2}, {0, 1});
        m.speed = 1;
        m.restartPosition = restart;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        EXPECT_EQ(RowStarts(song.get(), 6),
                  (std::vector<TickPosition>{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {0, 1, 0}}))
            << "restart " << restart;
    }
}

TEST(TickDriver, JumpAndBreakPrecedenceInChannelOrder) {
    // Row 0 of order 0 holds the cells; the next row start shows where they lead.
    struct Case {
        const char* name;
        std::vector<std::pair<int, xm::Cell>> cells;  // channel, cell
        TickPosition next;
    } cases[] = {
        {"break", {{0, {0, 0, 0, 0x0D, 0x05}}}, {1, 5, 0}},
        {"break in decimal", {{0, {0, 0, 0, 0x0D, 0x3F}}}, {1, 45, 0}},
        {"break past 63 is row 0", {{0, {0, 0, 0, 0x0D, 0x70}}}, {1, 0, 0}},
        {"break to 63", {{0, {0, 0, 0, 0x0D, 0x63}}}, {1, 63, 0}},
        {"jump", {{0, {0, 0, 0, 0x0B, 0x02}}}, {2, 0, 0}},
        {"jump past the song is order 0", {{0, {0, 0, 0, 0x0B, 0x03}}}, {0, 0, 0}},
        {"break then jump", {{1, {0, 0, 0, 0x0D, 0x10}}, {3, {0, 0, 0, 0x0B, 0x02}}}, {2, 0, 0}},
        {"jump then break", {{1, {0, 0, 0, 0x0B, 0x02}}, {3, {0, 0, 0, 0x0D, 0x32}}}, {2, 32, 0}},
        {"two jumps", {{0, {0, 0, 0, 0x0B, 0x02}}, {2, {0, 0, 0, 0x0B, 0x01}}}, {1, 0, 0}},
        {"two breaks", {{0, {0, 0, 0, 0x0D, 0x05}}, {1, {0, 0, 0, 0x0D, 0x07}}}, {1, 7, 0}},
        {"loop back loses to a break", {{0, {0, 0, 0, 0x0E, 0x61}}, {1, {0, 0, 0, 0x0D, 0x04}}}, {1, 4, 0}},
    };
    for (const Case& c : cases) {
        xm::Module m = FlowModule({64, 64, 64}, {0, 1, 2});
        for (const auto& [channel, cell] : c.cells) m.patterns[0].At(0, channel) = cell;
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        EXPECT_EQ(RowStarts(song.get(), 2)[1], c.next) << c.name;
    }
}

TEST(TickDriver, BreakOnTheLastOrderGoesToOrderZeroNotTheRestart) {
    xm::Module m = FlowModule({64, 64}, {0, 1});
    m.restartPosition = 1;
    m.patterns[0].At(0, 0) = {0, 0, 0, 0x0B, 0x01};
    m.patterns[1].At(0, 2) = {0, 0, 0, 0x0D, 0x03};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(RowStarts(song.get(), 3), (std::vector<TickPosition>{{0, 0, 0}, {1, 0, 0}, {0, 3, 0}}));
}

TEST(TickDriver, BreakIntoAShorterPatternReadsAnEmptyRowThenMovesOn) {
    // Pattern 1 has 16 rows; D20 lands on row 20 of it. The row holds nothing
    // (the instrument and volume of pattern 1's cells are not read), and the
    // automatic advance then leaves for order 2.
    xm::Module m = FlowModule({64, 16, 64}, {0, 1, 2});
    m.patterns[0].At(0, 0) = {49, 1, 0x20, 0x0D, 0x20};
    for (int row = 0; row < 16; ++row) m.patterns[1].At(row, 0) = {61, 1, 0x50, 0, 0};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    std::vector<TickPosition> starts = RowStarts(song.get(), 3);
    EXPECT_EQ(starts[1], (TickPosition{1, 20, 0}));
    EXPECT_EQ(starts[2], (TickPosition{2, 0, 0}));
    EXPECT_EQ(ChannelAt(0).volume, 16);  // from row 0 of order 0, untouched since
    EXPECT_EQ(ChannelAt(0).note, 48);
}

TEST(TickDriver, PatternOfZeroRowsPlaysOneEmptyRow) {
    xm::Module m = FlowModule({4, 0, 4}, {0, 1, 2});
    m.speed = 2;
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    std::vector<TickPosition> starts = RowStarts(song.get(), 6);
    EXPECT_EQ(starts[3], (TickPosition{0, 3, 0}));
    EXPECT_EQ(starts[4], (TickPosition{1, 0, 0}));
    EXPECT_EQ(starts[5], (TickPosition{2, 0, 0}));
}

TEST(TickDriver, PatternLoopRepeatsAndTheRowKeepsItsOwnCells) {
    // E60 on row 1, E62 on row 3: rows 1..3 play three times. On row 3,
    // channel 1 slides its volume by the volume column of row 3 on every
    // tick, and channel 2's E60 records row 3, although channel 0 has set the
    // song's row to 0 by then.
    xm::Module m = FlowModule({8}, {0});
    m.patterns[0].At(0, 1) = {49, 1, 0x50, 0, 0};
    m.patterns[0].At(1, 0) = {0, 0, 0, 0x0E, 0x60};
    m.patterns[0].At(3, 0) = {0, 0, 0, 0x0E, 0x62};
    m.patterns[0].At(3, 1) = {0, 0, 0x62, 0, 0};
    m.patterns[0].At(3, 2) = {0, 0, 0, 0x0E, 0x60};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    std::vector<int32_t> rows;
    for (TickPosition at : RowStarts(song.get(), 11)) rows.push_back(at.row);
    EXPECT_EQ(rows, (std::vector<int32_t>{0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 4}));

    song = StartSong(m);
    StepTicks(song.get(), 18);
    EXPECT_EQ(StepTick(song.get()), (TickPosition{0, 3, 0}));
    EXPECT_EQ(song->row, 0);  // rewritten for the advance
    EXPECT_EQ(HarnessPlayer().currentRow, 3);
    EXPECT_EQ(ChannelAt(2).loopRow, 3);
    EXPECT_EQ(ChannelAt(0).loopCount, 2);
    EXPECT_EQ(ChannelAt(1).volume, 62);
    for (int tick = 1; tick < 6; ++tick) {
        EXPECT_EQ(StepTick(song.get()), (TickPosition{0, 3, tick}));
        EXPECT_EQ(ChannelAt(1).volume, 62 - 2 * tick);
    }
    EXPECT_EQ(StepTick(song.get()), (TickPosition{0, 1, 0}));
}

TEST(TickDriver, PatternLoopToARowThisPatternLacksMovesOn) {
    // E60 records row 10 in pattern 0; pattern 1 has 4 rows and loops with
    // E61 on its row 1: the loop row is past its end, so the advance leaves
    // for the next order position.
    xm::Module m = FlowModule({16, 4, 4}, {0, 1, 2});
    m.speed = 1;
    m.patterns[0].At(10, 0) = {0, 0, 0, 0x0E, 0x60};
    m.patterns[1].At(1, 0) = {0, 0, 0, 0x0E, 0x61};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    std::vector<TickPosition> starts = RowStarts(song.get(), 19);
    EXPECT_EQ(starts[17], (TickPosition{1, 1, 0}));
    EXPECT_EQ(starts[18], (TickPosition{2, 0, 0}));
}

TEST(TickDriver, PatternDelayStretchesTheRowAndKeepsEffectsRunning) {
    // EE2 at speed 6: 18 ticks, the running slide of channel 1 on ticks 1..17.
    xm::Module m = SequencerModule();
    m.patterns[0].At(0, 1) = {49, 1, 0, 0, 0};
    m.patterns[0].At(1, 0) = {0, 0, 0, 0x0E, 0xE2};
    m.patterns[0].At(1, 1) = {0, 0, 0, 0x0A, 0x01};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    StepTicks(song.get(), 6);
    for (int tick = 0; tick < 18; ++tick) {
        EXPECT_EQ(StepTick(song.get()), (TickPosition{0, 1, tick}));
        EXPECT_EQ(ChannelAt(1).volume, 64 - tick);
    }
    EXPECT_EQ(StepTick(song.get()), (TickPosition{0, 2, 0}));
    EXPECT_EQ(song->patternDelayTicks, 0);
}

TEST(TickDriver, SpeedFromTheRowGovernsThatRow) {
    struct Case { uint8_t param; int ticksOfRow1; } cases[] = {{0x01, 1}, {0x00, 1}, {0x03, 3}, {0x1F, 31}};
    for (const Case& c : cases) {
        xm::Module m = SequencerModule();
        m.patterns[0].At(1, 2) = {0, 0, 0, 0x0F, c.param};
        SongPtr song = StartSong(m);
        ASSERT_TRUE(song);
        StepTicks(song.get(), 6);
        int ticks = 1;
        StepTick(song.get());
        while (StepTick(song.get()).tick != 0) ++ticks;
        EXPECT_EQ(ticks, c.ticksOfRow1) << "F" << std::hex << int(c.param);
        EXPECT_EQ(song->speed, c.param);
    }
}

TEST(TickDriver, SpeedZeroStartsARowOnEveryTick) {
    xm::Module m = SequencerModule();
    m.speed = 0;
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(StepTicks(song.get(), 3), (std::vector<TickPosition>{{0, 0, 0}, {0, 1, 0}, {0, 2, 0}}));
}

TEST(TickDriver, TempoChangeSetsTheSameTicksLength) {
    xm::Module m = SequencerModule();
    m.tempo = 0;  // a malformed header: still at least one frame per tick
    m.patterns[0].At(1, 3) = {0, 0, 0, 0x0F, 0x64};
    SongPtr song = StartSong(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->samplesPerTick, 110250);
    StepTicks(song.get(), 6);
    StepTick(song.get());
    EXPECT_EQ(song->tempo, 100);
    EXPECT_EQ(song->samplesPerTick, 1103);
}

}  // namespace
}  // namespace lumbo_test
