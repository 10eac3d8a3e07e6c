#include "sequencer/row_effects.h"

#include "sequencer/modulators.h"
#include "sequencer/row.h"
#include "sequencer/slides.h"

namespace lumbo {
namespace {

int32_t High(uint8_t p) { return p >> 4; }
int32_t Low(uint8_t p) { return p & 0x0F; }

void ClearFlags(Channel* c, uint8_t bits) { c->updateFlags &= uint8_t(~bits); }

// Effects 1 and 2 only take their memory here; they slide on later ticks.
void RememberPortamentoUp(Channel* c, uint8_t p) {
    if (p) c->portaUpMem = p;
}

void RememberPortamentoDown(Channel* c, uint8_t p) {
    if (p) c->portaDownMem = p;
}

void RememberVolumeSlide(Channel* c, uint8_t p) {
    if (p) c->volSlideMem = p;
}

// Effect 3: glide from the current period to the cell's note, no new attack.
void TonePortamento(Channel* c, uint8_t p) {
    if (p) c->tonePortaSpeed = p;
    c->tonePortaTarget = c->notePeriod;
    ClearFlags(c, UpdatePitch | UpdateTrigger);
}

// Effect 5: the glide at the speed already set, with a volume slide.
void TonePortaVolumeSlide(Channel* c, uint8_t p) {
    c->tonePortaTarget = c->notePeriod;
    RememberVolumeSlide(c, p);
    ClearFlags(c, UpdatePitch | UpdateTrigger);
}

// Effect 4: the phase is not advanced at tick 0.
void Vibrato(Channel* c, uint8_t p) {
    if (High(p)) c->vibratoSpeed = uint8_t(High(p));
    if (Low(p)) c->vibratoDepth = uint8_t(Low(p));
    StepVibrato(c);
}

void VibratoVolumeSlide(Channel* c, uint8_t p) {
    RememberVolumeSlide(c, p);
    StepVibrato(c);
}

void Tremolo(Channel* c, uint8_t p) {
    if (High(p)) c->tremoloSpeed = uint8_t(High(p));
    if (Low(p)) c->tremoloDepth = uint8_t(Low(p));
}

void SetPanning(Channel* c, int32_t panning) {
    c->panning = panning;
    c->updateFlags |= UpdatePanning;
}

// Effect 9: the offset goes into the current voice, where the trigger of this
// row (or a later one) consumes it. Past the loop end it cannot start the
// note: the voice goes back to the start of what it plays instead.
void SampleOffset(Channel* c, uint8_t p, const Sample* sample) {
    if (p) c->sampleOffsetMemory = p;
    uint32_t offset = uint32_t(c->sampleOffsetMemory) * 256;
    if (offset < sample->loopStart + sample->loopLength) {
        c->voice->startOffset = offset;
    } else {
        ClearFlags(c, UpdateTrigger);
        c->updateFlags |= UpdateRewind;
    }
}

// Bxx and Dxy: the last writer in channel order wins, except that a break
// after a jump keeps the jump's order. Orders past the song become 0 (the
// restart position applies only when the song runs off its end).
void PositionJump(Song* song, uint8_t p, RowFlow* flow) {
    song->nextRow = 0;
    song->nextOrder = p >= song->songLength ? 0 : p;
    flow->jumpSeen = true;
}

void PatternBreak(Song* song, uint8_t p, const RowFlow* flow) {
    int32_t row = High(p) * 10 + Low(p);  // the parameter is written in decimal
    song->nextRow = row > 63 ? 0 : row;
    if (!flow->jumpSeen) song->nextOrder = song->orderPosition + 1;
    if (song->nextOrder >= song->songLength) song->nextOrder = 0;
}

void SetVolume(Channel* c, uint8_t p) {
    c->volume = p;  // not clamped: 65..255 are kept
    c->updateFlags |= UpdateVolume;
}

void SetSpeedOrTempo(Player& player, uint8_t p) {
    if (p < 32) {
        player.song->speed = p;  // 0 too: every tick then starts a row
    } else {
        SetTempo(player, p);
    }
}

// Gxx reaches the voices of this and later channels on this tick; earlier
// channels pass it on at their next volume update.
void SetGlobalVolume(Song* song, Channel* c, uint8_t p) {
    song->globalVolume = p > 64 ? 64 : p;
    c->updateFlags |= UpdateVolume;
}

void RememberGlobalVolumeSlide(Song* song, uint8_t p) {
    if (p) song->globalVolumeSlideMemory = p;
}

// Lxx: moves the volume envelope to tick p. The walk may look one point past
// the last; it stays inside the point array's room whatever the count.
void SetEnvelopePosition(Channel* c, const Instrument* instrument, uint8_t p) {
    if (!(instrument->volumeEnvelopeFlags & 1)) return;
    const EnvelopePoint* points = instrument->volumePoints;
    int32_t n = instrument->volumePointCount < kEnvelopeRoom ? instrument->volumePointCount : kEnvelopeRoom;
    if (n < 1) return;  // the loader switches envelopes of fewer than 2 points off
    int32_t t = p;
    int32_t j = 0;
    while (j + 1 < kEnvelopeRoom && j < n && t > points[j + 1].tick) ++j;
    c->volEnvPoint = j;
    if (j >= n - 1) {  // past the last point: hold its value
        c->volEnvLevel = points[n - 1].value;
        c->volEnvDone = 1;
        return;
    }
    c->volEnvDone = 0;
    c->volEnvTick = t;
    // 16.16 arithmetic in 64 bits, kept to 32: exact for point values 0..64,
    // and no overflow for the out-of-range values a file may hold.
    int64_t span = int64_t(points[j + 1].tick) - points[j].tick;
    int64_t rise = (int64_t(points[j + 1].value) - points[j].value) * 65536;
    c->volEnvStep = span == 0 ? 0 : int32_t(rise / span);
    c->volEnvPoint = j + 1;
    c->volEnvValue = int32_t(int64_t(points[j].value) * 65536 + (t - int64_t(points[j].tick)) * c->volEnvStep);
    c->volEnvLevel = c->volEnvValue >> 16;
}

void PanningSlide(Channel* c, uint8_t p) {
    if (!p) return;
    c->panSlideMem = p;
    c->updateFlags |= UpdatePanning;
}

void MultiRetrigger(Channel* c, uint8_t p) {
    if (!p) return;
    c->retrigInterval = uint8_t(Low(p));
    c->retrigVolumeMode = uint8_t(High(p));
}

void Tremor(Channel* c, uint8_t p) {
    if (p) {
        c->tremorOn = uint8_t(High(p) + 1);
        c->tremorOff = uint8_t(Low(p) + 1);
    }
    StepTremor(c);
}

// X1y and X2y: a quarter of a fine portamento step, applied at once.
void ExtraFinePortamento(Channel* c, uint8_t p) {
    if (High(p) == 1) {
        if (Low(p)) c->xfineUpMem = uint8_t(Low(p));
        c->period -= c->xfineUpMem;
    } else if (High(p) == 2) {
        if (Low(p)) c->xfineDownMem = uint8_t(Low(p));
        c->period += c->xfineDownMem;
    }
}

// E1x and E2x: no lower limit, unlike the running portamento.
void FinePortamentoUp(Channel* c, int32_t x) {
    if (x) c->finePortaUpMem = uint8_t(x);
    c->period -= 4 * c->finePortaUpMem;
}

void FinePortamentoDown(Channel* c, int32_t x) {
    if (x) c->finePortaDownMem = uint8_t(x);
    c->period += 4 * c->finePortaDownMem;
}

void SetVibratoControl(Channel* c, int32_t x) { c->waveformControl = uint8_t((c->waveformControl & 0xF0) | x); }

void SetTremoloControl(Channel* c, int32_t x) {
    c->waveformControl = uint8_t((c->waveformControl & 0x0F) | (x << 4));
}

// E5x sets the sample's finetune for the rest of the play: every later note
// of it, on any channel, uses it. The placeholder Sample keeps 0.
void SetFinetune(int8_t* finetune, int32_t x) {
    if (finetune) *finetune = int8_t(x);
}

// E6x. The loop rewrites the song's row for the tick driver's advance only:
// the rest of this row, and its later ticks, still work on currentRow.
void PatternLoop(Player& player, Channel* c, int32_t x) {
    if (x == 0) {
        c->loopRow = player.currentRow;
        return;
    }
    if (c->loopCount == 0) {
        c->loopCount = x;
    } else {
        c->loopCount -= 1;
    }
    if (c->loopCount != 0) player.song->row = c->loopRow - 1;
}

void FineVolumeUp(Channel* c, int32_t x) {
    if (x) c->fineVolSlideMem = uint8_t(x);
    RaiseVolume(c, c->fineVolSlideMem);
}

void FineVolumeDown(Channel* c, int32_t x) {
    if (x) c->fineVolSlideMem = uint8_t(x);
    LowerVolume(c, c->fineVolSlideMem);
}

// EDx at tick 0: the note, instrument and defaults are taken, but the voice
// hears nothing of them until tick x.
void NoteDelay(Channel* c, const HeldValues& held) {
    c->volume = held.volume;
    c->period = held.period;
    c->panning = held.panning;
    ClearFlags(c, UpdateLowFour);
}

void PatternDelay(Song* song, int32_t x) { song->patternDelayTicks = x * song->speed; }

void ApplyExtendedEffect(Player& player, Channel* c, uint8_t p, int8_t* finetune, const HeldValues& held) {
    int32_t x = Low(p);
    switch (High(p)) {
        case 0x1: FinePortamentoUp(c, x); break;
        case 0x2: FinePortamentoDown(c, x); break;
        case 0x4: SetVibratoControl(c, x); break;
        case 0x5: SetFinetune(finetune, x); break;
        case 0x6: PatternLoop(player, c, x); break;
        case 0x7: SetTremoloControl(c, x); break;
        case 0x8: SetPanning(c, x * 16); break;
        case 0xA: FineVolumeUp(c, x); break;
        case 0xB: FineVolumeDown(c, x); break;
        case 0xD: NoteDelay(c, held); break;
        case 0xE: PatternDelay(player.song, x); break;
        default: break;  // E0x, E3x, EFx nothing; E9x, ECx run on later ticks
    }
}

}  // namespace

void ApplyRowEffect(Player& player, Channel* c, const Cell& cell, const InstrumentAndSample& found,
                    const HeldValues& held, RowFlow* flow) {
    Song* song = player.song;
    uint8_t p = cell.effectParam;
    switch (cell.effect) {
        case 0: break;  // arpeggio runs on later ticks
        case 1: RememberPortamentoUp(c, p); break;
        case 2: RememberPortamentoDown(c, p); break;
        case 3: TonePortamento(c, p); break;
        case 4: Vibrato(c, p); break;
        case 5: TonePortaVolumeSlide(c, p); break;
        case 6: VibratoVolumeSlide(c, p); break;
        case 7: Tremolo(c, p); break;
        case 8: SetPanning(c, p); break;
        case 9: SampleOffset(c, p, found.sample); break;
        case 10: RememberVolumeSlide(c, p); break;
        case 11: PositionJump(song, p, flow); break;
        case 12: SetVolume(c, p); break;
        case 13: PatternBreak(song, p, flow); break;
        case 14: ApplyExtendedEffect(player, c, p, found.finetune, held); break;
        case 15: SetSpeedOrTempo(player, p); break;
        case 16: SetGlobalVolume(song, c, p); break;
        case 17: RememberGlobalVolumeSlide(song, p); break;
        case 20: break;  // key off: taken with the key-off note before the envelopes
        case 21: SetEnvelopePosition(c, found.instrument, p); break;
        case 25: PanningSlide(c, p); break;
        case 27: MultiRetrigger(c, p); break;
        case 29: Tremor(c, p); break;
        case 33: ExtraFinePortamento(c, p); break;
        default: break;  // 18, 19, 22-24, 26, 28, 30-32, 34 and above: nothing
    }
}

}  // namespace lumbo
