// One output block: the sequencer's ticks and the mixer's frames meet here.
#pragma once

namespace lumbo {

// Renders block outputRing.writeBlock of outputRing.playingSong into its
// place in the ring and advances writeBlock, wrapping after the last block.
// The song's tick handler runs whenever the current tick's frames are used
// up; the tick's length is read after the handler, so a tempo change sizes
// its own tick. Requires a sized ring with both buffers allocated and the
// voice pool reset; does nothing when the ring or the song is missing.
void RenderBlock();

}  // namespace lumbo
