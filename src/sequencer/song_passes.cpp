#include "sequencer/song_passes.h"

#include <cstring>

namespace lumbo {

namespace {

// A pattern loop (E6x) plays rows again without the song coming back.
bool InsidePatternLoop(const Player& player) {
    for (int32_t i = 0; i < player.song->channelCount && i < kMaxChannels; ++i) {
        if (player.channels[i].loopCount != 0) return true;
    }
    return false;
}

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

bool EnterTick(PassRecord& record, const Player& player, int32_t endAfter, bool account) {
    // A pass given up never comes back.
    if (record.rowStarts >= kMaxPassRowStarts || record.ticks >= kMaxPassTicks) return true;
    if (player.song->tick == 0) {
        int32_t order, row;
        PendingRowStart(player, &order, &row);
        // Rows past 255, which only a malformed pattern has, are not tracked.
        if (uint32_t(order) < uint32_t(kOrderTableSize) && uint32_t(row) < uint32_t(kTrackedRows) &&
            !InsidePatternLoop(player)) {
            const int32_t bit = order * kTrackedRows + row;
            const uint8_t mask = uint8_t(1u << (bit & 7));
            if (record.visited[bit >> 3] & mask) {   // it comes back
                if (endAfter > 0 && record.comeBacks >= endAfter - 1) return false;
                if (!account) return true;
                record.comeBacks += 1;
                StartPass(record);
            }
            if (account) record.visited[bit >> 3] |= mask;
        }
        if (account) record.rowStarts += 1;
    }
    if (account) record.ticks += 1;
    return true;
}

}  // namespace lumbo
