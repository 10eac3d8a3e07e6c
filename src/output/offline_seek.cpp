// Exact seek in a render without a device.
#include "output/offline_render.h"

#include "output/render_block.h"
#include "platform/memory.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

namespace {

// What a seek changes, kept so that a seek that fails changes nothing.
struct StreamBackup {
    Player        player;
    Song          song;                // the song's live fields (the rest as loaded)
    PassRecord    passes;
    SongPosition  lastTick;
    OfflineRender cursor;
    int32_t       writeBlock, blockFilled;
    uint64_t      framesRendered;
    bool          steered;
    uint8_t       endReached;
};

void Save(const Stream& stream, StreamBackup& backup) {
    backup.player = stream.player;
    backup.song = *stream.player.song;
    backup.passes = stream.passes;
    backup.lastTick = stream.lastTick;
    backup.cursor = stream.cursor;
    backup.writeBlock = stream.ring.writeBlock;
    backup.blockFilled = stream.ring.blockFilled;
    backup.framesRendered = stream.framesRendered;
    backup.steered = stream.steered;
    backup.endReached = stream.endReached.load(std::memory_order_relaxed);
}

void Restore(Stream& stream, const StreamBackup& backup) {
    stream.player = backup.player;
    *stream.player.song = backup.song;
    stream.passes = backup.passes;
    stream.lastTick = backup.lastTick;
    stream.cursor = backup.cursor;
    stream.ring.writeBlock = backup.writeBlock;
    stream.ring.blockFilled = backup.blockFilled;
    stream.framesRendered = backup.framesRendered;
    stream.steered = backup.steered;
    stream.endReached.store(backup.endReached, std::memory_order_relaxed);
}

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

}  // namespace

bool SeekOffline(Stream& stream, uint64_t frame) {
    OfflineRender& cursor = stream.cursor;
    OutputRing& ring = stream.ring;
    if (!cursor.active || !stream.player.song || ring.blockFrames <= 0) return false;
    const uint64_t blockStart = frame - frame % uint64_t(ring.blockFrames);
    // The stream so far is the one a new render gives while no jump and no
    // change of mutes has made it differ, and the song has not come back more
    // often than the present repeat count lets it: then it can go on from
    // here.
    const int32_t endAfter = stream.endAfter.load(std::memory_order_relaxed);
    const bool plain = !stream.steered && stream.jump.load(std::memory_order_relaxed) == 0 &&
                       stream.mutes.load(std::memory_order_relaxed) == stream.player.mixer.mutedChannels &&
                       (endAfter == 0 || stream.passes.comeBacks < endAfter);
    // Ahead within the block being handed out, its frames are there already.
    const uint64_t cursorStart = stream.framesRendered - uint64_t(cursor.rendered);
    if (plain && blockStart == cursorStart && frame >= cursorStart + uint64_t(cursor.handed) &&
        frame <= stream.framesRendered) {
        cursor.framesOut = frame;
        cursor.handed = int32_t(frame - blockStart);
        return true;
    }
    StreamBackup* backup = static_cast<StreamBackup*>(AllocateZeroed(sizeof(StreamBackup)));
    if (!backup) return false;
    Save(stream, *backup);
    if (!plain || blockStart < stream.framesRendered) Restart(stream);
    stream.jump.store(0, std::memory_order_relaxed);   // jumps made before are forgotten
    if (stream.framesRendered < blockStart) MoveStream(stream, int64_t(blockStart - stream.framesRendered));
    bool reached = stream.framesRendered == blockStart;
    if (reached) {
        // Into a slot other than the one handed out from, which a failed seek
        // leaves as it was.
        const int32_t blocksInRing = ring.ringFrames / ring.blockFrames;
        ring.writeBlock = (cursor.block + 1) % blocksInRing;
        const int32_t block = ring.writeBlock;
        const int32_t rendered = RenderBlock(stream);
        reached = frame - blockStart <= uint64_t(rendered);
        if (reached) cursor = {true, block, int32_t(frame - blockStart), rendered, frame};
    }
    if (!reached) Restore(stream, *backup);
    Release(backup);
    return reached;
}

}  // namespace lumbo
