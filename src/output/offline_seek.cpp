// Exact seek in a render without a device.
#include "output/offline_render.h"

#include "output/device_queue.h"
#include "output/render_block.h"
#include "platform/memory.h"
#include "sequencer/loop_point.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

namespace {

// The stream as a new render of its song starts it: the song as loaded (E5x
// and the global-volume slide memory change it as it plays), at its start,
// with silent voices. A tool's wrapper of the tick handler stays.
void Restart(Stream& stream) {
    Player& player = stream.player;
    const TickHandler handler = player.tickHandler;
    player.song->globalVolumeSlideMemory = 0;   // the loader's value
    ResetVoicePool(player.mixer);
    ResetSongState(player);
    ResetChannels(player);
    player.tickHandler = handler;
    StartStreamProgress(stream);
}

// Whether a new render of the song, with the present repeat count, ends
// before frame: found by running its ticks on the side, so that a seek that
// cannot be made changes nothing. Short memory counts as ending.
bool EndsBefore(const Stream& stream, int32_t endAfter, uint64_t frame) {
    if (endAfter == 0) return false;
    SidePlayer* side = NewSidePlayer(stream.player.song, stream.player.mixer.sampleRate);
    int64_t end = 0;
    const bool found = side && FindStreamEnd(side->player, endAfter, int64_t(frame), &end);
    Release(side);
    return !found || uint64_t(end) < frame;
}

// Frames a stopped playback left unheard are no part of where a seek lands.
void DropReplay(Stream& stream) {
    if (stream.queue) stream.queue->replayLeft = 0;
}

}  // namespace

bool SeekOffline(Stream& stream, uint64_t frame) {
    OfflineRender& cursor = stream.cursor;
    OutputRing& ring = stream.ring;
    if (!cursor.active || !stream.player.song || ring.blockFrames <= 0) return false;
    const uint64_t blockFrames = uint64_t(ring.blockFrames);
    const uint64_t block = frame / blockFrames;
    // Past 2^31 blocks (a year at the lowest rate) is past any seek.
    if (block > uint64_t(INT32_MAX)) return false;
    const uint64_t blockStart = block * blockFrames;
    // The stream so far is the one a new render gives while no jump and no
    // change of mutes has made it differ, and the song has not come back more
    // often than the present repeat count lets it: then it can go on from
    // here.
    const int32_t endAfter = stream.endAfter.load(std::memory_order_relaxed);
    const bool plain = !stream.steered && stream.jump.load(std::memory_order_relaxed) == 0 &&
                       stream.mutes.load(std::memory_order_relaxed) == stream.player.mutedChannels &&
                       (endAfter == 0 || stream.passes.comeBacks < endAfter);
    // Ahead within the block being handed out, its frames are there already.
    const uint64_t cursorStart = stream.framesRendered - uint64_t(cursor.rendered);
    const int32_t offset = int32_t(frame - blockStart);
    if (plain && blockStart == cursorStart && offset >= cursor.handed && offset <= cursor.rendered) {
        DropReplay(stream);
        cursor.framesOut = frame;
        cursor.handed = offset;
        return true;
    }
    if (EndsBefore(stream, endAfter, frame)) return false;
    DropReplay(stream);
    if (!plain || blockStart < stream.framesRendered) Restart(stream);
    stream.jump.store(0, std::memory_order_relaxed);   // jumps made before are forgotten
    MoveBlocks(stream, uint32_t(block - stream.framesRendered / blockFrames));
    const int32_t slot = ring.writeBlock;
    const int32_t rendered = RenderBlock(stream);
    cursor = {true, slot, offset, rendered, frame};
    return true;
}

}  // namespace lumbo
