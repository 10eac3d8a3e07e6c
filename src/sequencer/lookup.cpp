#include "sequencer/lookup.h"

namespace lumbo {
namespace {

// Read in place of a row that a pattern does not hold.
const Cell kEmptyRow[kMaxChannels] = {};

const Pattern* CurrentPattern(const Song* song) {
    if (!song->patterns) return nullptr;
    int32_t number = song->orderTable[uint8_t(song->orderPosition)];
    if (number >= song->patternSlots) return nullptr;
    return &song->patterns[number];
}

Sample* PlaceholderSample() {
    placeholderSample.data = nullptr;  // it must never point at frames
    return &placeholderSample;
}

}  // namespace

int32_t ChannelsInUse(const Song* song) {
    return song->channelCount < kMaxChannels ? song->channelCount : kMaxChannels;
}

int32_t CurrentPatternRows(const Song* song) {
    const Pattern* pattern = CurrentPattern(song);
    return pattern ? pattern->rowCount : 0;
}

const Cell* RowCells(const Song* song, int32_t row) {
    if (song->channelCount <= 0) return nullptr;
    const Pattern* pattern = CurrentPattern(song);
    // A break into a shorter pattern, a loop back to a row this pattern lacks,
    // or a pattern of 0 rows: read the row as empty, and the automatic
    // advance then moves on to the next order position.
    if (!pattern || row < 0 || row >= pattern->rowCount) return kEmptyRow;
    if (!pattern->cells) return nullptr;
    return &pattern->cells[row * song->channelCount];
}

InstrumentAndSample LookUpInstrument(Player& player, const Channel* channel) {
    const Song* song = player.song;
    const int32_t index = channel->instrumentIndex;
    if (index >= song->instrumentCount || !song->instruments) {
        return {&placeholderInstrument, PlaceholderSample(), nullptr};
    }
    const Instrument* instrument = &song->instruments[index];
    // Cell notes 98..254 pass the loader and give channel notes past the
    // 96-entry note-sample map; map entries of 16 or more name no slot.
    // Both play the placeholder Sample, as does a slot without a sample.
    if (channel->note >= kNoteSampleMapSize) return {instrument, PlaceholderSample(), nullptr};
    uint8_t slot = instrument->noteSampleMap[channel->note];
    const Sample* sample = slot < kMaxSamplesPerInstrument ? instrument->samples[slot] : nullptr;
    if (!sample || sample == &placeholderSample) return {instrument, PlaceholderSample(), nullptr};
    // instrumentIndex is a byte: always inside the table.
    return {instrument, sample, &player.finetunes[index][slot]};
}

}  // namespace lumbo
