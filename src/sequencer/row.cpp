#include "sequencer/row.h"

#include "sequencer/channel_tick.h"
#include "sequencer/lookup.h"
#include "sequencer/modulators.h"
#include "sequencer/pitch.h"
#include "sequencer/row_effects.h"
#include "sequencer/slides.h"
#include "sequencer/voice_update.h"

namespace lumbo {

namespace {

constexpr uint8_t kTonePortamento = 3;
constexpr uint8_t kTonePortaVolumeSlide = 5;
constexpr uint8_t kTremolo = 7;
constexpr uint8_t kKeyOff = 20;

bool IsNote(uint8_t note) { return note != 0 && note != kKeyOffNote; }

// Linear periods: 768 units to the octave, 64 to the semitone.
int32_t LinearPeriod(int32_t realNote, int32_t finetune) { return 7680 - 64 * realNote - finetune / 2; }

// Step 8: the note's period. On a tone-portamento row only the target moves
// (realNote, notePeriod), taken with the previous note's sample.
void TakeNotePeriod(const Song* song, Channel* c, uint8_t cellNote, const InstrumentAndSample& found, bool glide) {
    c->realNote = uint8_t(cellNote - 1 + found.sample->relativeNote);
    const int32_t finetune = FinetuneOf(found);
    c->notePeriod = (song->flags & 1) ? LinearPeriod(c->realNote, finetune) : NotePeriod(c->realNote, finetune);
    if (!glide) c->period = c->notePeriod;
    c->updateFlags = UpdateTrigger;
}

// A released note without a volume envelope falls silent at once; only the
// row start does this, the later ticks of the row find it done.
void SilenceReleasedNote(Channel* c, const Instrument* instrument) {
    if (!(instrument->volumeEnvelopeFlags & 1) && c->keyOff) c->volEnvLevel = 0;
}

void ProcessChannelRow(Player& player, Channel* c, const Cell& cell, RowFlow* flow) {
    const Song* song = player.song;
    // 1-3: note and instrument, unless the row glides to the note instead.
    bool glide = cell.effect == kTonePortamento || cell.effect == kTonePortaVolumeSlide;
    if (cell.instrument != 0 && !glide) c->instrumentIndex = uint8_t(cell.instrument - 1);
    if (IsNote(cell.note) && !glide) c->note = uint8_t(cell.note - 1);
    // 4: instrument and sample.
    InstrumentAndSample found = LookUpInstrument(player, c);
    // 5: kept for a note delay.
    HeldValues held = {c->volume, c->period, c->panning};
    // 6: the last tremolo offset stays in the volume when tremolo ends.
    if (c->lastEffect == kTremolo && cell.effect != kTremolo) c->volume += c->volumeOffset;
    // 7
    c->lastEffect = cell.effect;
    c->volumeOffset = 0;
    c->updateFlags = 0;
    // 8: the note's period and trigger.
    if (IsNote(cell.note)) TakeNotePeriod(song, c, cell.note, found, glide);
    // 9
    c->periodOffset = 0;
    c->updateFlags |= UpdatePitch | UpdateVolume;
    // 10-12: instrument defaults, volume column, release.
    if (cell.instrument != 0) ApplyInstrumentDefaults(c, found.sample);
    if (cell.volumeCommand != 0) ApplyVolumeColumn(c, cell.volumeCommand);
    if (cell.note == kKeyOffNote || cell.effect == kKeyOff) c->keyOff = 1;
    // 13-15: envelopes and fadeout.
    StepVolumeEnvelope(c, found.instrument);
    SilenceReleasedNote(c, found.instrument);
    StepPanningEnvelope(c, found.instrument);
    StepFadeout(c, found.instrument);
    // 16: the effect's tick-0 part.
    ApplyRowEffect(player, c, cell, found, held, flow);
    // 17: auto-vibrato, then hand the channel to its voice.
    StepAutoVibrato(c, found.instrument);
    UpdateVoice(player, c, found.sample);
}

}  // namespace

void ProcessRow(Player& player) {
    Song* song = player.song;
    song->nextOrder = -1;
    song->nextRow = -1;
    RowFlow flow = {false};
    player.currentRow = song->row;
    const Cell* cells = RowCells(song, player.currentRow);
    if (!cells) return;
    for (int32_t i = 0; i < ChannelsInUse(song); ++i) ProcessChannelRow(player, &player.channels[i], cells[i], &flow);
}

void ApplyVolumeColumn(Channel* c, uint8_t v) {
    int32_t x = v & 0x0F;
    if (v >= 0x10 && v <= 0x50) {  // set volume 0..64
        c->volume = v - 0x10;
        c->updateFlags |= UpdateVolume;
        return;
    }
    switch (v >> 4) {
        case 0x6: LowerVolume(c, x); break;  // slide down: again on later ticks
        case 0x7: RaiseVolume(c, x); break;  // slide up: again on later ticks
        case 0x8: LowerVolume(c, x); break;  // fine volume down
        case 0x9: RaiseVolume(c, x); break;  // fine volume up
        case 0xA: c->vibratoSpeed = uint8_t(x); break;
        case 0xB: c->vibratoDepth = uint8_t(x); break;  // the vibrato runs on later ticks
        case 0xC:
            c->panning = x * 16;
            c->updateFlags |= UpdatePanning;
            break;
        case 0xD:  // panning slides do not clamp; UpdateVoice clamps what it hands on
            c->panning -= x;
            c->updateFlags |= UpdatePanning;
            break;
        case 0xE:
            c->panning += x;
            c->updateFlags |= UpdatePanning;
            break;
        case 0xF:  // tone portamento: the glide runs on later ticks
            if (x != 0) c->tonePortaSpeed = uint8_t(x * 16);
            c->tonePortaTarget = c->notePeriod;
            c->updateFlags &= uint8_t(~UpdateTrigger);
            break;
        default: break;  // 0x00..0x0F and 0x51..0x5F mean nothing
    }
}

}  // namespace lumbo
