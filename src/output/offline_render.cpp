#include "output/offline_render.h"

#include "output/device_queue.h"
#include "output/master_volume.h"
#include "output/output_size.h"
#include "output/pcm.h"
#include "output/render_block.h"
#include "output/ring_buffers.h"
#include "sequencer/tick_driver.h"
#include "sequencer/voice_update.h"

namespace lumbo {

void StartStreamProgress(Stream& stream) {
    StartPass(stream.passes);
    stream.passes.comeBacks = 0;
    stream.framesRendered = 0;
    stream.steered = false;
    stream.lastTick = SongPosition{};
    stream.ring.writeBlock = 0;
    stream.ring.blockFilled = 0;
    SetMutedChannels(stream.player, stream.mutes.load(std::memory_order_relaxed));
    stream.endReached.store(0, std::memory_order_relaxed);
}

bool BeginOfflineRender(Stream& stream, Song* song, int32_t rate) {
    if (stream.cursor.active) EndOfflineRender(stream);
    // A device that plays, or still loops a stopped ring, owns the buffers.
    if (!song || stream.player.song || stream.ring.ringSamples || stream.ring.mixAllocation) return false;
    if (!SizeOutput(stream, rate)) return false;

    stream.player.song = song;
    ResetSongState(stream.player);
    ResetChannels(stream.player);
    // Frames become 16-bit as they are handed out: no PCM ring.
    if (!AllocateMixBuffer(stream.ring)) {
        stream.player.song = nullptr;
        return false;
    }
    StartStreamProgress(stream);
    stream.cursor = {true, 0, 0, 0, 0};
    return true;
}

bool RenderOfflineFrames(Stream& stream, int16_t* destination, int64_t frameCount, int64_t* framesWritten) {
    if (!stream.cursor.active || !destination || frameCount < 0) return false;
    OfflineRender& cursor = stream.cursor;
    const int32_t blockFrames = stream.ring.blockFrames;
    // What the device had been given but not played comes first.
    int64_t written = HandReplay(stream, destination, frameCount);
    while (written < frameCount) {
        if (cursor.handed == cursor.rendered) {
            // The next block, or more of one the song's end cut short if the
            // song goes on after all.
            const int32_t block = stream.ring.writeBlock;
            const int32_t before = stream.ring.blockFilled;
            const int32_t added = RenderBlock(stream);
            if (added == 0) break;   // the song has ended
            cursor.block = block;
            cursor.handed = before;
            cursor.rendered = before + added;
        }
        int32_t n = cursor.rendered - cursor.handed;
        if (n > frameCount - written) n = static_cast<int32_t>(frameCount - written);
        // Each frame of the block's floats is handed out once.
        MixFrame* frames = stream.ring.mixBuffer + cursor.block * blockFrames + cursor.handed;
        ApplyMasterVolume(stream, frames, n);
        ConvertToPcm16(destination + 2 * written, frames, n);
        written += n;
        cursor.handed += n;
        cursor.framesOut += uint64_t(n);
    }
    if (framesWritten) *framesWritten = written;
    return true;
}

bool OfflinePosition(const Stream& stream, SongPosition* position, uint64_t* frames) {
    const OfflineRender& cursor = stream.cursor;
    if (!cursor.active || cursor.framesOut == 0) return false;
    if (const int32_t replay = ReplayFrames(stream)) {
        if (cursor.framesOut == uint64_t(replay)) return false;
        *position = ReplayPosition(stream);
        *frames = cursor.framesOut - uint64_t(replay);
        return true;
    }
    // After a seek to a block's first frame, the last frame handed out is the
    // one before the block: the tick its marks begin with.
    *position = cursor.handed > 0 ? PositionInBlock(stream, cursor.block, cursor.handed - 1)
                                  : stream.ticks[cursor.block].first;
    *frames = cursor.framesOut;
    return true;
}

bool OfflineEnded(const Stream& stream) {
    return stream.cursor.active && stream.cursor.handed == stream.cursor.rendered && ReplayFrames(stream) == 0 &&
           stream.endReached.load(std::memory_order_relaxed) != 0;
}

void EndOfflineRender(Stream& stream) {
    if (!stream.cursor.active) return;
    stream.player.song = nullptr;
    ReleaseMixBuffer(stream.ring);
    stream.cursor = {};
}

}  // namespace lumbo
