// In-memory form of one loaded XM module, and its live playback position.
#pragma once
#include <cstdint>

namespace lumbo {

struct Cell {
    uint8_t note;              // 0 none, 1..96 a note, 255 key-off, other values as the file gave
    uint8_t instrument;        // 0 none, 1..128
    uint8_t volumeCommand;     // volume-column byte, unchanged
    uint8_t effect;            // XM effect number, unchanged
    uint8_t effectParam;       // effect parameter, unchanged
};

struct Pattern {
    int32_t rowCount;          // 0..65535; 64 for the empty patterns the loader adds
    Cell*   cells;             // channelCount x rowCount, row-major
};

struct EnvelopePoint {
    uint16_t tick;             // ticks from the note start
    uint16_t value;            // 0..64; 32 is the centre of a panning envelope
};

struct Sample {
    int16_t* data;             // length frames + 8 spare frames; null when length is 0
    uint32_t length;           // frames
    uint32_t loopStart;        // first frame of the loop
    uint32_t loopLength;       // frames; never 0 unless length is 0
    uint8_t  volume;           // default volume 0..64
    int8_t   finetune;         // E5x overwrites it in the loaded sample
    int32_t  panning;          // default panning 0..255
    uint8_t  bits;             // 8 or 16 as stored; 16 once loaded
    uint8_t  loopMode;         // 1 none, 2 forward, 4 ping-pong
    int8_t   relativeNote;     // semitones added to every note
};

constexpr int kEnvelopeRoom = 20;      // points per envelope record; the file fills 12
constexpr int kEnvelopeFilePoints = 12;
constexpr int kMaxSamplesPerInstrument = 16;
constexpr int kNoteSampleMapSize = 96;

struct Instrument {
    int32_t       sampleCount;                       // 0..16
    Sample*       samples[kMaxSamplesPerInstrument]; // slots >= sampleCount point at placeholderSample
    uint8_t       noteSampleMap[kNoteSampleMapSize]; // sample slot per note (element note-1)
    EnvelopePoint volumePoints[kEnvelopeRoom];
    EnvelopePoint panningPoints[kEnvelopeRoom];
    uint8_t       volumePointCount;
    uint8_t       panningPointCount;
    uint8_t       volumeSustain;
    uint8_t       volumeLoopStart;
    uint8_t       volumeLoopEnd;
    uint8_t       panningSustain;
    uint8_t       panningLoopStart;
    uint8_t       panningLoopEnd;
    uint8_t       volumeEnvelopeFlags;   // bit 0 on, bit 1 sustain, bit 2 loop
    uint8_t       panningEnvelopeFlags;
    uint8_t       vibratoType;           // auto-vibrato waveform
    uint8_t       vibratoSweep;
    uint8_t       vibratoDepth;
    uint8_t       vibratoRate;
    uint16_t      fadeout;               // twice the file's value, per tick out of 0x10000
};

struct Song;

constexpr int kOrderTableSize = 256;

struct Song {
    Pattern*    patterns;                // patternSlots records
    Instrument* instruments;             // instrumentCount records
    int32_t     tickSamplesLeft;         // frames of the current tick not yet mixed; 0 = tick due
    int32_t     samplesPerTick;          // frames per tick at the current tempo
    int16_t     songLength;              // order positions in use
    int16_t     restartPosition;         // where playback continues after the last position
    int16_t     channelCount;            // pattern columns, at most 32
    int32_t     usedPatternCount;        // 1 + highest pattern number in the used orders
    int32_t     patternSlots;            // Pattern records allocated
    int16_t     instrumentCount;
    uint16_t    flags;                   // bit 0: linear frequency table
    int16_t     defaultSpeed;
    int16_t     defaultTempo;
    uint8_t     orderTable[kOrderTableSize];
    uint8_t     initialGlobalVolume;     // 64
    int32_t     globalVolume;            // live, 0..64
    uint8_t     globalVolumeSlideMemory; // last non-zero Hxy parameter
    int32_t     tick;                    // tick within the row, from 0
    int32_t     speed;                   // ticks per row
    int32_t     tempo;                   // last tempo given to SetTempo
    int32_t     row;                     // current row
    int32_t     orderPosition;           // current index into orderTable
    int32_t     patternDelayTicks;       // extra ticks of this row (EEx)
    int32_t     nextRow;                 // row taken at the next row start; -1 none
    int32_t     nextOrder;               // order taken at the next row start; -1 none
};

// Sample data buffers: kSampleLeadFrames silent frames before frame 0 (so the
// interpolation may touch index -1 of a loop starting at 0), then the frames,
// then kSampleSpareFrames frames that start at zero.
constexpr uint32_t kSampleLeadFrames = 4;
constexpr uint32_t kSampleSpareFrames = 8;

// Returns frame 0 of a zero-filled buffer for length frames, or null.
int16_t* AllocateSampleData(uint32_t length);
// Releases the sample's data buffer, if any, and sets data to null.
void ReleaseSampleData(Sample* sample);

// Shared, never freed. Row and tick processing fall back to them for
// out-of-range instruments and empty sample slots.
extern Instrument placeholderInstrument;
extern Sample placeholderSample;

// Releases the song and everything it owns; false when song is null.
bool FreeSong(Song* song);

}  // namespace lumbo
