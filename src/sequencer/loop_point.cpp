#include "sequencer/loop_point.h"

#include "platform/memory.h"
#include "sequencer/song_passes.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

namespace {

void Restart(Player& player) {
    ResetVoicePool(player.mixer);
    ResetSongState(player);
    ResetChannels(player);
}

// Runs the song from its start, tick by tick, until its first come-back (or
// until the pass is given up), stopping early at a row start at (order, row)
// when order is 0 or more: the frames from the start to where it stopped.
struct Run {
    bool    stopped;           // it stopped at a come-back or at (order, row)
    int64_t frames;
    int64_t rows;              // row starts before it stopped
    int32_t order, row;        // the row start it stopped at
};

Run RunFirstPass(Player& player, PassRecord& record, int32_t untilOrder, int32_t untilRow) {
    Restart(player);
    StartPass(record);
    record.comeBacks = 0;
    Song* song = player.song;
    Run run{false, 0, 0, 0, 0};
    for (;;) {
        const int32_t ticks = record.ticks;
        if (song->tick == 0) PendingRowStart(player, &run.order, &run.row);
        const bool reached = song->tick == 0 && run.order == untilOrder && run.row == untilRow;
        if (reached || !EnterTick(record, player, 1)) {
            run.stopped = true;
            break;
        }
        if (record.ticks == ticks) break;   // given up
        TickDriver(player);
        run.frames += song->samplesPerTick;
    }
    run.rows = record.rowStarts;
    return run;
}

}  // namespace

bool FindLoopPoint(Player& player, LoopPoint* loop) {
    *loop = LoopPoint{};
    PassRecord* record = player.song ? static_cast<PassRecord*>(AllocateZeroed(sizeof(PassRecord))) : nullptr;
    if (!record) return false;
    const Run end = RunFirstPass(player, *record, -1, -1);
    *loop = {end.stopped, end.rows, end.frames, end.order, end.row, 0};
    // When the position came first: the same run again (its timing depends on
    // nothing the first run left behind) up to that row start.
    if (end.stopped) loop->loopFrame = RunFirstPass(player, *record, end.order, end.row).frames;
    Release(record);
    return true;
}

bool FindRowStart(Player& player, int32_t order, int32_t row, int64_t* frame) {
    PassRecord* record = player.song ? static_cast<PassRecord*>(AllocateZeroed(sizeof(PassRecord))) : nullptr;
    if (!record) return false;
    const Run run = RunFirstPass(player, *record, order, row);
    Release(record);
    *frame = run.frames;
    return run.stopped && run.order == order && run.row == row;
}

}  // namespace lumbo
