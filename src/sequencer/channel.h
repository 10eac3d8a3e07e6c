// What the sequencer remembers about one pattern column between ticks.
#pragma once
#include <cstdint>

#include "mixer/voice.h"
#include "song/song.h"

namespace lumbo {

// Update bits: what UpdateVoice hands to the channel's voice on this tick.
constexpr uint8_t UpdatePitch = 0x01;
constexpr uint8_t UpdateVolume = 0x02;
constexpr uint8_t UpdatePanning = 0x04;
constexpr uint8_t UpdateTrigger = 0x08;
constexpr uint8_t UpdateRewind = 0x20;
constexpr uint8_t UpdateLowFour = UpdatePitch | UpdateVolume | UpdatePanning | UpdateTrigger;

constexpr int kMaxChannels = 32;

struct Channel {
    uint8_t  note;                 // last cell note taken, 0-based 0..95
    uint8_t  updateFlags;          // Update* bits for UpdateVoice
    Voice*   voice;                // voice i or its partner i +- 32
    int32_t  period;               // before periodOffset
    int32_t  volume;               // 0..64 (Cxx stores up to 255)
    int32_t  panning;              // 0..255; volume-column slides may leave it
    int32_t  volumeOffset;         // tremolo/tremor, per tick
    int32_t  periodOffset;         // vibrato/arpeggio/auto-vibrato, per tick
    int32_t  volEnvTick;           // volume envelope position in ticks
    int32_t  volEnvPoint;          // next volume-envelope point to be reached
    int32_t  volEnvValue;          // 16.16
    int32_t  volEnvLevel;          // 0..64
    int32_t  volEnvStep;           // 16.16 per tick
    uint8_t  volEnvDone;           // 1 = last point reached, no more steps
    int32_t  panEnvTick;           // the same six for the panning envelope
    int32_t  panEnvPoint;
    int32_t  panEnvValue;          // 16.16
    int32_t  panEnvLevel;          // 0..64, 32 = no shift
    int32_t  panEnvStep;           // 16.16 per tick
    uint8_t  panEnvDone;
    int32_t  fadeoutVolume;        // 0x10000 full .. 0
    int32_t  autoVibratoPosition;  // 0..255
    int32_t  autoVibratoSweep;     // ticks since defaults, capped at the sweep
    uint8_t  keyOff;               // 1 = released (key-off note or Kxx)
    uint8_t  instrumentIndex;      // 0-based
    uint8_t  realNote;             // note + relative note, mod 256
    int32_t  notePeriod;           // period of the last cell note
    uint8_t  lastEffect;           // previous row's effect (tremolo carry-over)
    int32_t  sampleOffsetMemory;   // 9xx, in 256-frame units
    uint8_t  portaDownMem;         // 2xx
    uint8_t  portaUpMem;           // 1xx
    uint8_t  xfineDownMem;         // X2y
    uint8_t  xfineUpMem;           // X1y
    uint8_t  volSlideMem;          // shared by 5xy, 6xy, Axy
    uint8_t  panSlideMem;          // Pxy
    uint8_t  retrigVolumeMode;     // Rxy high nibble
    uint8_t  retrigInterval;       // Rxy low nibble, 0 = off
    int32_t  tonePortaTarget;      // period tone portamento slides to
    uint8_t  tonePortaSpeed;       // period moves 4 x this per tick
    int8_t   vibratoPosition;      // -32..31
    uint8_t  vibratoSpeed;         // 0..15, added to the phase per tick
    uint8_t  vibratoDepth;         // 0..15
    int8_t   tremoloPosition;      // -32..31
    uint8_t  tremoloSpeed;         // 0..15
    uint8_t  tremoloDepth;         // 0..15
    uint8_t  tremorCounter;        // ticks into the tremor cycle
    uint8_t  tremorOn;             // 1..16
    uint8_t  tremorOff;            // 1..16
    int32_t  loopRow;              // E60
    int32_t  loopCount;            // E6x repetitions left
    uint8_t  waveformControl;      // low nibble vibrato, high nibble tremolo
    uint8_t  fineVolSlideMem;      // EAx/EBx
    uint8_t  finePortaUpMem;       // E1x
    uint8_t  finePortaDownMem;     // E2x
    // A held note asks for the same frequency tick after tick: the last one
    // worked out is kept with what it came from.
    uint8_t  frequencyKnown;       // 1 once frequency holds a result
    int32_t  frequencyPeriod;      // the period and offset it came from
    int32_t  frequencyOffset;
    int32_t  frequency;            // PeriodToFrequency of them
};


// The instrument-defaults reset of a new instrument number or a delayed note.
void ApplyInstrumentDefaults(Channel* channel, const Sample* sample);

}  // namespace lumbo
