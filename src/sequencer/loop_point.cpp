#include "sequencer/loop_point.h"

#include "platform/memory.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

namespace {

constexpr int64_t kMaxRowStarts = 1 << 20;  // far beyond any song: 256 positions x 256 rows is 65536
constexpr int64_t kMaxTicks = 1 << 23;
constexpr int32_t kTrackedRows = 256;   // the most an XM pattern holds

// One bit per (order position, row): where the song has started a row.
// Rows past 255, which only a malformed pattern has, are not tracked.
struct Visits {
    uint8_t* bits;
};

bool StartVisits(Visits* visits) {
    visits->bits = static_cast<uint8_t*>(AllocateZeroed(kOrderTableSize * kTrackedRows / 8));
    return visits->bits != nullptr;
}

// Marks the position; true when it was marked before.
bool Visit(Visits* visits, int32_t order, int32_t row) {
    if (order < 0 || order >= kOrderTableSize || row < 0 || row >= kTrackedRows) return false;
    const int32_t bit = order * kTrackedRows + row;
    const uint8_t mask = uint8_t(1u << (bit & 7));
    const bool seen = (visits->bits[bit >> 3] & mask) != 0;
    visits->bits[bit >> 3] |= mask;
    return seen;
}

// A pattern loop (E6x) plays rows again without the song looping: rows
// started while one runs do not count as visits.
bool InsidePatternLoop(const Player& player) {
    for (int32_t i = 0; i < player.song->channelCount && i < kMaxChannels; ++i) {
        if (player.channels[i].loopCount != 0) return true;
    }
    return false;
}

void Restart(Player& player) {
    ResetVoicePool(player.mixer);
    ResetSongState(player);
    ResetChannels(player);
}

// Runs the song from its start, tick by tick, until a row start that is the
// first repeat (with visits) or that is at `until` (without); the frames
// from the start to there, and the row starts before it.
struct Run {
    bool    stopped;           // the row start was reached within the limits
    int64_t frames;
    int64_t rows;
    int32_t order, row;        // that row start
};

Run RunUntil(Player& player, Visits* visits, int32_t untilOrder, int32_t untilRow) {
    Restart(player);
    Song* song = player.song;
    Run run{false, 0, 0, 0, 0};
    for (int64_t tick = 0; tick < kMaxTicks && run.rows < kMaxRowStarts; ++tick) {
        if (song->tick == 0) {
            // The position this tick starts: the pending one, if any.
            run.order = song->nextOrder >= 0 ? song->nextOrder : song->orderPosition;
            run.row = song->nextRow >= 0 ? song->nextRow : song->row;
            if (!InsidePatternLoop(player)) {
                run.stopped = visits ? Visit(visits, run.order, run.row)
                                     : run.order == untilOrder && run.row == untilRow;
                if (run.stopped) break;
            }
            ++run.rows;
        }
        TickDriver(player);
        run.frames += song->samplesPerTick;
    }
    return run;
}

}  // namespace

bool FindLoopPoint(Player& player, LoopPoint* loop) {
    *loop = LoopPoint{};
    Visits visits;
    if (!player.song || !StartVisits(&visits)) return false;
    const Run end = RunUntil(player, &visits, 0, 0);
    Release(visits.bits);
    *loop = {end.stopped, end.rows, end.frames, end.order, end.row, 0};
    // When the position came first: the same run again (its timing depends on
    // nothing the first run left behind) up to that row start.
    if (end.stopped) loop->loopFrame = RunUntil(player, nullptr, end.order, end.row).frames;
    return true;
}

}  // namespace lumbo
