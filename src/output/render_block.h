// One output block: the sequencer's ticks and the mixer's frames meet here.
#pragma once

#include "output/stream.h"

namespace lumbo {

// Renders block ring.writeBlock of the stream's song into its place in the
// ring and advances writeBlock, wrapping after the last block. The player's
// tick handler runs whenever the current tick's frames are used up; the
// tick's length is read after the handler, so a tempo change sizes its own
// tick. Each tick is noted in the block's ticks. For a device, the master
// volume scales the mix before it becomes 16-bit (RenderOfflineFrames does
// that as it hands frames out); at full volume it is not touched. Requires a
// sized ring with both buffers allocated and the voices reset; does nothing
// when the ring or the song is missing.
void RenderBlock(Stream& stream);

}  // namespace lumbo
