#include "sequencer/song_passes.h"

#include <cstring>

namespace lumbo {

namespace {

bool GivenUp(const PassRecord& record) {
    return record.rowStarts >= kMaxPassRowStarts || record.ticks >= kMaxPassTicks;
}

// A pattern loop (E6x) plays rows again without the song coming back.
bool InsidePatternLoop(const Player& player) {
    for (int32_t i = 0; i < player.song->channelCount && i < kMaxChannels; ++i) {
        if (player.channels[i].loopCount != 0) return true;
    }
    return false;
}

// The bit of (order, row); -1 for rows past 255, which only a malformed
// pattern has and which are not tracked.
int32_t VisitBit(int32_t order, int32_t row) {
    if (order < 0 || order >= kOrderTableSize || row < 0 || row >= kTrackedRows) return -1;
    return order * kTrackedRows + row;
}

bool Visited(const PassRecord& record, int32_t bit) { return bit >= 0 && (record.visited[bit >> 3] >> (bit & 7) & 1); }

}  // namespace

void StartPass(PassRecord& record) {
    memset(record.visited, 0, sizeof record.visited);
    record.rowStarts = 0;
    record.ticks = 0;
}

void PendingRowStart(const Player& player, int32_t* order, int32_t* row) {
    const Song* song = player.song;
    *order = song->nextOrder >= 0 ? song->nextOrder : song->orderPosition;
    *row = song->nextRow >= 0 ? song->nextRow : song->row;
}

bool ComesBack(const PassRecord& record, const Player& player) {
    if (GivenUp(record) || player.song->tick != 0 || InsidePatternLoop(player)) return false;
    int32_t order, row;
    PendingRowStart(player, &order, &row);
    return Visited(record, VisitBit(order, row));
}

bool EndsAtNextTick(const PassRecord& record, const Player& player, int32_t endAfter) {
    return endAfter > 0 && record.comeBacks >= endAfter - 1 && ComesBack(record, player);
}

bool EnterTick(PassRecord& record, const Player& player, int32_t endAfter) {
    if (GivenUp(record)) return true;
    if (player.song->tick == 0) {
        if (ComesBack(record, player)) {
            if (endAfter > 0 && record.comeBacks >= endAfter - 1) return false;
            record.comeBacks += 1;
            StartPass(record);
        }
        if (!InsidePatternLoop(player)) {
            int32_t order, row;
            PendingRowStart(player, &order, &row);
            const int32_t bit = VisitBit(order, row);
            if (bit >= 0) record.visited[bit >> 3] |= uint8_t(1u << (bit & 7));
        }
        record.rowStarts += 1;
    }
    record.ticks += 1;
    return true;
}

}  // namespace lumbo
