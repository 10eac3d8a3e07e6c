// Where a channel's cells, instrument and sample come from. Every index here
// comes from the file, so each lookup keeps malformed values inside the song.
#pragma once
#include <cstdint>

#include "sequencer/channel.h"
#include "sequencer/player.h"
#include "song/song.h"

namespace lumbo {

constexpr uint8_t kKeyOffNote = 255;  // a cell's key-off note (97 in the file)

// Channels the row and tick processing walk: channelCount, never more than
// the channel array holds.
int32_t ChannelsInUse(const Song* song);

// Rows of the pattern at the current order position (0 when it has none).
int32_t CurrentPatternRows(const Song* song);

// The cells of a row of the pattern at the current order position, one per
// channel; null when there is nothing to process (no channels, or a pattern
// without a cell array). A row the pattern does not hold reads as empty.
const Cell* RowCells(const Song* song, int32_t row);

// The instrument and sample a channel plays, from its instrumentIndex and note.
struct InstrumentAndSample {
    const Instrument* instrument;
    const Sample* sample;      // may be placeholderSample
    int8_t*       finetune;    // the player's finetune of the sample (E5x writes it); null for the placeholder
};
InstrumentAndSample LookUpInstrument(Player& player, const Channel* channel);

// The finetune a note of the sample plays with: the placeholder's is 0.
inline int32_t FinetuneOf(const InstrumentAndSample& found) { return found.finetune ? *found.finetune : 0; }

}  // namespace lumbo
