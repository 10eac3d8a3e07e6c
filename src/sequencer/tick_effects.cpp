#include "sequencer/tick_effects.h"

#include "sequencer/modulators.h"
#include "sequencer/pitch.h"
#include "sequencer/row.h"
#include "sequencer/slides.h"

namespace lumbo {
namespace {

constexpr int32_t kLowestPeriod = 56;  // portamento up stops here
constexpr int32_t kMaxPanning = 255;
constexpr int32_t kMaxGlobalVolume = 64;

int32_t High(uint8_t p) { return p >> 4; }
int32_t Low(uint8_t p) { return p & 0x0F; }

void AdvanceVibratoPhase(Channel* c) {
    int8_t phase = int8_t(c->vibratoPosition + c->vibratoSpeed);
    if (phase > 31) phase = int8_t(phase - 64);
    c->vibratoPosition = phase;
}

void RunVibrato(Channel* c) {
    StepVibrato(c);
    AdvanceVibratoPhase(c);
}

// Shared by 5xy, 6xy and Axy through one memory; an upward nibble wins.
void VolumeSlide(Channel* c) {
    uint8_t m = c->volSlideMem;
    if (High(m)) {
        RaiseVolume(c, High(m));
    } else if (Low(m)) {
        LowerVolume(c, Low(m));
    }
    c->updateFlags |= UpdateVolume;
}

// 0xy: tick 1, 2, 0, 1, 2... of the cycle play base, +x, +y semitones. In
// Amiga mode the offset is the (negative) difference of the two periods.
void Arpeggio(const Song* song, Channel* c, uint8_t p, int32_t finetune) {
    if (!p) return;
    int32_t phase = song->tick % 3;
    int32_t n = phase == 1 ? High(p) : phase == 2 ? Low(p) : 0;
    if (song->flags & 1) {
        c->periodOffset = 64 * n;
    } else {
        c->periodOffset = NotePeriod(c->realNote + n, finetune) - NotePeriod(c->realNote, finetune);
    }
    c->updateFlags |= UpdatePitch;
}

void PortamentoUp(Channel* c) {
    c->period -= 4 * c->portaUpMem;
    c->periodOffset = 0;
    if (c->period < kLowestPeriod) c->period = kLowestPeriod;
    c->updateFlags |= UpdatePitch;
}

void PortamentoDown(Channel* c) {  // no upper limit
    c->period += 4 * c->portaDownMem;
    c->periodOffset = 0;
    c->updateFlags |= UpdatePitch;
}

void TonePortamento(Channel* c) {
    c->periodOffset = 0;
    StepTonePortamento(c);
}

void Retrigger(const Song* song, Channel* c, int32_t x) {
    if (x && song->tick % x == 0) c->updateFlags |= UpdatePitch | UpdateVolume | UpdateTrigger;
}

void NoteCut(const Song* song, Channel* c, int32_t x) {
    if (song->tick != x) return;
    c->volume = 0;
    c->updateFlags |= UpdateVolume;
}

// EDx: the note held back at tick 0 starts now, with full instrument defaults
// even without an instrument number, and its volume column applied again.
// Until then the voice hears nothing of the channel (the auto-vibrato step
// that follows still sets the pitch bit).
void NoteDelay(const Song* song, Channel* c, int32_t x, uint8_t volumeCommand, const Sample* sample) {
    if (song->tick != x) {
        c->updateFlags &= uint8_t(~UpdateLowFour);
        return;
    }
    ApplyInstrumentDefaults(c, sample);
    c->updateFlags |= UpdatePitch;
    c->period = c->notePeriod;
    if (volumeCommand != 0) ApplyVolumeColumn(c, volumeCommand);
    c->updateFlags |= UpdateTrigger;
}

void RunExtendedEffect(const Song* song, Channel* c, const Cell& cell, const Sample* sample) {
    int32_t x = Low(cell.effectParam);
    switch (High(cell.effectParam)) {
        case 0x9: Retrigger(song, c, x); break;
        case 0xC: NoteCut(song, c, x); break;
        case 0xD: NoteDelay(song, c, x, cell.volumeCommand, sample); break;
        default: break;  // the other Exy act at tick 0 only
    }
}

// Hxy: one memory for the whole song. It sets no update bit: a channel hands
// the new global volume on at its next volume update.
void GlobalVolumeSlide(Song* song) {
    uint8_t m = song->globalVolumeSlideMemory;
    if (High(m)) {
        song->globalVolume += High(m);
        if (song->globalVolume > kMaxGlobalVolume) song->globalVolume = kMaxGlobalVolume;
    } else if (Low(m)) {
        song->globalVolume -= Low(m);
        if (song->globalVolume < 0) song->globalVolume = 0;
    }
}

// Pxy clamps to 0..255, unlike the volume column's panning slides.
void PanningSlide(Channel* c) {
    uint8_t m = c->panSlideMem;
    if (High(m)) {
        c->panning += High(m);
        if (c->panning > kMaxPanning) c->panning = kMaxPanning;
    } else if (Low(m)) {
        c->panning -= Low(m);
        if (c->panning < 0) c->panning = 0;
    }
    c->updateFlags |= UpdatePanning;
}

// The volume change of Rxy at each retrigger, by the mode in x.
int32_t RetriggerVolume(int32_t volume, int32_t mode) {
    switch (mode) {
        case 1: return volume - 1;
        case 2: return volume - 2;
        case 3: return volume - 4;
        case 4: return volume - 8;
        case 5: return volume - 16;
        case 6: return volume * 2 / 3;
        case 7: return volume >> 1;
        case 9: return volume + 1;
        case 10: return volume + 2;
        case 11: return volume + 4;
        case 12: return volume + 8;
        case 13: return volume + 16;
        case 14: return volume * 3 / 2;
        case 15: return volume * 2;
        default: return volume;  // 0 and 8: no change
    }
}

void MultiRetrigger(const Song* song, Channel* c) {
    if (!c->retrigInterval || song->tick % c->retrigInterval != 0) return;
    if (c->retrigVolumeMode != 0) {  // mode 0 leaves the volume alone entirely
        int32_t volume = RetriggerVolume(c->volume, c->retrigVolumeMode);
        c->volume = volume > kMaxVolume ? kMaxVolume : volume < 0 ? 0 : volume;
        c->updateFlags |= UpdateVolume;
    }
    c->updateFlags |= UpdateTrigger;
}

}  // namespace

void RunVolumeColumn(Channel* c, uint8_t v) {
    int32_t x = v & 0x0F;
    switch (v >> 4) {
        case 0x6: LowerVolume(c, x); break;
        case 0x7: RaiseVolume(c, x); break;
        case 0xB:
            c->vibratoDepth = uint8_t(x);
            RunVibrato(c);
            break;
        case 0xD:
            c->panning -= x;
            c->updateFlags |= UpdatePanning;
            break;
        case 0xE:
            c->panning += x;
            c->updateFlags |= UpdatePanning;
            break;
        case 0xF: StepTonePortamento(c); break;
        default: break;  // set volume, fine slides, vibrato speed, set panning: tick 0 only
    }
}

void RunTickEffect(Song* song, Channel* c, const Cell& cell, const InstrumentAndSample& found) {
    switch (cell.effect) {
        case 0: Arpeggio(song, c, cell.effectParam, FinetuneOf(found)); break;
        case 1: PortamentoUp(c); break;
        case 2: PortamentoDown(c); break;
        case 3: TonePortamento(c); break;
        case 4: RunVibrato(c); break;
        case 5:
            TonePortamento(c);
            VolumeSlide(c);
            break;
        case 6:
            RunVibrato(c);
            VolumeSlide(c);
            break;
        case 7: StepTremolo(c); break;
        case 10: VolumeSlide(c); break;
        case 14: RunExtendedEffect(song, c, cell, found.sample); break;
        case 17: GlobalVolumeSlide(song); break;
        case 25: PanningSlide(c); break;
        case 27: MultiRetrigger(song, c); break;
        case 29: StepTremor(c); break;
        default: break;  // the rest act at tick 0 only, or not at all
    }
}

}  // namespace lumbo
