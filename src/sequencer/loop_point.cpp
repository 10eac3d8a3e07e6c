#include "sequencer/loop_point.h"

#include <new>

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

// Runs the song from its start, tick by tick, as a stream ending at its
// endAfter-th come-back (see EnterTick), until it ends, gives up, reaches
// untilFrame frames or starts a row at (untilOrder, untilRow): the frames
// from the start to where it stopped.
struct Run {
    bool    stopped;           // it stopped at its end or at (order, row)
    int64_t frames;
    int64_t rows;              // row starts in the last pass before it stopped
    int32_t order, row;        // the row start it stopped at
};

Run RunSong(Player& player, PassRecord& record, int32_t endAfter, int64_t untilFrame, int32_t untilOrder,
            int32_t untilRow) {
    Restart(player);
    StartPass(record);
    record.comeBacks = 0;
    Song* song = player.song;
    Run run{false, 0, 0, 0, 0};
    while (run.frames < untilFrame) {
        const int32_t ticks = record.ticks;
        if (song->tick == 0) PendingRowStart(player, &run.order, &run.row);
        const bool reached = song->tick == 0 && run.order == untilOrder && run.row == untilRow;
        if (reached || !EnterTick(record, player, endAfter)) {
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

// Runs on a record of their own: false when memory is short.
bool RunWithRecord(Player& player, int32_t endAfter, int64_t untilFrame, int32_t untilOrder, int32_t untilRow,
                   Run* run) {
    PassRecord* record = player.song ? static_cast<PassRecord*>(AllocateZeroed(sizeof(PassRecord))) : nullptr;
    if (!record) return false;
    *run = RunSong(player, *record, endAfter, untilFrame, untilOrder, untilRow);
    Release(record);
    return true;
}

constexpr int64_t kNoLimit = INT64_MAX;

}  // namespace

bool FindLoopPoint(Player& player, LoopPoint* loop) {
    *loop = LoopPoint{};
    Run end, first;
    if (!RunWithRecord(player, 1, kNoLimit, -1, -1, &end)) return false;
    *loop = {end.stopped, end.rows, end.frames, end.order, end.row, 0};
    // When the position came first: the same run again (its timing depends on
    // nothing the first run left behind) up to that row start.
    if (end.stopped) {
        if (!RunWithRecord(player, 1, kNoLimit, end.order, end.row, &first)) return false;
        loop->loopFrame = first.frames;
    }
    return true;
}

bool FindRowStart(Player& player, int32_t order, int32_t row, int64_t* frame) {
    Run run;
    if (!RunWithRecord(player, 1, kNoLimit, order, row, &run)) return false;
    *frame = run.frames;
    return run.stopped && run.order == order && run.row == row;
}

bool FindStreamEnd(Player& player, int32_t endAfter, int64_t limit, int64_t* end) {
    Run run;
    if (!RunWithRecord(player, endAfter, limit, -1, -1, &run)) return false;
    *end = run.stopped ? run.frames : INT64_MAX;
    return true;
}

SidePlayer* NewSidePlayer(const Song* song, int32_t rate) {
    void* memory = AllocateZeroed(sizeof(SidePlayer));
    if (!memory) return nullptr;
    SidePlayer* side = new (memory) SidePlayer;
    side->song = *song;
    side->player.song = &side->song;
    side->player.mixer.sampleRate = rate;
    return side;
}

}  // namespace lumbo
