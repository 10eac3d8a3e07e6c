#include "sequencer/tick_driver.h"

#include "sequencer/lookup.h"
#include "sequencer/row.h"
#include "sequencer/tick.h"

namespace lumbo {
namespace {

// Where the song continues after its last order position. A restart
// position outside the song (the file's header is not checked) plays as 0.
int32_t RestartPosition(const Song* song) {
    bool inside = song->restartPosition >= 0 && song->restartPosition < song->songLength;
    return inside ? song->restartPosition : 0;
}

// Tick 0: take a pending position, process the row, and, when the row set
// none, plan the next row: the following one, or row 0 of the next order
// position once the pattern is finished.
void StartRow(Player& player) {
    Song* song = player.song;
    if (song->nextOrder >= 0) song->orderPosition = song->nextOrder;
    if (song->nextRow >= 0) song->row = song->nextRow;
    ProcessRow(player);  // clears nextOrder and nextRow first; Bxx/Dxy set them again
    if (song->nextRow != -1) return;
    // row as ProcessRow left it: a pattern loop set it to the loop row - 1.
    song->nextRow = song->row + 1;
    if (song->nextRow >= CurrentPatternRows(song)) {
        song->nextOrder = song->orderPosition + 1;
        if (song->nextOrder >= song->songLength) song->nextOrder = RestartPosition(song);
        song->nextRow = 0;
    }
}

// The finetunes of the song as loaded, which E5x changes during play.
void LoadFinetunes(Player& player) {
    const Song* song = player.song;
    for (int32_t i = 0; i < kPlayableInstruments; ++i) {
        for (int32_t slot = 0; slot < kMaxSamplesPerInstrument; ++slot) {
            const bool loaded = i < song->instrumentCount && song->instruments;
            const Sample* sample = loaded ? song->instruments[i].samples[slot] : nullptr;
            player.finetunes[i][slot] = sample ? sample->finetune : 0;
        }
    }
}

}  // namespace

void ResetSongState(Player& player) {
    Song* song = player.song;
    player.tickHandler = TickDriver;
    if (!song) return;
    LoadFinetunes(player);
    song->globalVolume = song->initialGlobalVolume;
    song->nextOrder = -1;
    song->nextRow = -1;
    song->speed = song->defaultSpeed;
    song->row = 0;
    song->orderPosition = 0;
    song->tickSamplesLeft = 0;
    song->tick = 0;
    song->patternDelayTicks = 0;
    player.currentRow = 0;
    SetTempo(player, song->defaultTempo);
}

void JumpTo(Player& player, int32_t order, int32_t row) {
    Song* song = player.song;
    if (!song) return;
    song->nextOrder = order;
    song->nextRow = row;
    for (Channel& channel : player.channels) channel.loopCount = 0;
}

void TickDriver(Player& player) {
    Song* song = player.song;
    if (!song) return;
    if (song->tick == 0) {
        StartRow(player);
    } else {
        ProcessTick(player);
    }
    // Read after the row: Fxx and EEx on tick 0 already govern their own row.
    // A speed of 0 (or less) makes every tick a row start.
    song->tick += 1;
    if (song->tick >= song->speed + song->patternDelayTicks) {
        song->patternDelayTicks = 0;
        song->tick = 0;
    }
}

}  // namespace lumbo
