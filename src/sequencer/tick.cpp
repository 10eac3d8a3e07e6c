#include "sequencer/tick.h"

#include "sequencer/channel_tick.h"
#include "sequencer/lookup.h"
#include "sequencer/modulators.h"
#include "sequencer/row.h"
#include "sequencer/tick_effects.h"
#include "sequencer/voice_update.h"

namespace lumbo {
namespace {

void ProcessChannelTick(Player& player, Channel* c, const Cell& cell) {
    Song* song = player.song;
    // 1: instrument and sample, as the row start found them.
    InstrumentAndSample found = LookUpInstrument(player, c);
    // 2
    c->volumeOffset = 0;
    c->periodOffset = 0;
    c->updateFlags = 0;
    // 3-5: envelopes and fadeout.
    StepVolumeEnvelope(c, found.instrument);
    StepPanningEnvelope(c, found.instrument);
    StepFadeout(c, found.instrument);
    // 6-7: the volume column and the effect, running parts.
    RunVolumeColumn(c, cell.volumeCommand);
    RunTickEffect(song, c, cell, found);
    // 8: auto-vibrato, then hand the channel to its voice.
    StepAutoVibrato(c, found.instrument);
    UpdateVoice(player, c, found.sample);
}

}  // namespace

void ProcessTick(Player& player) {
    // The row of this row's tick 0, even when a pattern loop has rewritten
    // the song's row since.
    const Cell* cells = RowCells(player.song, player.currentRow);
    if (!cells) return;
    for (int32_t i = 0; i < ChannelsInUse(player.song); ++i) {
        ProcessChannelTick(player, &player.channels[i], cells[i]);
    }
}

}  // namespace lumbo
