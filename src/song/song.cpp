#include "song/song.h"

#include "platform/memory.h"

namespace lumbo {

Instrument placeholderInstrument;
Sample placeholderSample;

int16_t* AllocateSampleData(uint32_t length) {
    uint64_t frames = uint64_t(length) + kSampleLeadFrames + kSampleSpareFrames;
    auto* buffer = static_cast<int16_t*>(AllocateZeroed(size_t(frames * sizeof(int16_t))));
    return buffer ? buffer + kSampleLeadFrames : nullptr;
}

void ReleaseSampleData(Sample* sample) {
    if (sample->data) Release(sample->data - kSampleLeadFrames);
    sample->data = nullptr;
}

bool FreeSong(Song* song) {
    if (!song) return false;
    if (song->instruments && song->instrumentCount > 0) {
        for (int i = 0; i < song->instrumentCount; ++i) {
            Instrument& instrument = song->instruments[i];
            for (int j = 0; j < instrument.sampleCount; ++j) {
                Sample* sample = instrument.samples[j];
                if (!sample) continue;
                ReleaseSampleData(sample);
                Release(sample);
            }
        }
    }
    Release(song->instruments);
    if (song->patterns) {
        for (int i = 0; i < song->patternSlots; ++i) Release(song->patterns[i].cells);
        Release(song->patterns);
    }
    Release(song);
    return true;
}

}  // namespace lumbo
