#include "output/offline_render.h"

#include "output/master_volume.h"
#include "output/output_size.h"
#include "output/pcm.h"
#include "output/render_block.h"
#include "output/ring_buffers.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

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
    stream.ring.writeBlock = 0;
    stream.cursor = {true, 0, 0, 0};
    return true;
}

bool RenderOfflineFrames(Stream& stream, int16_t* destination, int64_t frameCount) {
    if (!stream.cursor.active || !destination || frameCount < 0) return false;
    OfflineRender& cursor = stream.cursor;
    const int32_t blockFrames = stream.ring.blockFrames;
    while (frameCount > 0) {
        if (cursor.framesUnread == 0) {
            cursor.blockStart = stream.ring.writeBlock * blockFrames;
            RenderBlock(stream);
            cursor.framesUnread = blockFrames;
        }
        int32_t n = cursor.framesUnread;
        if (n > frameCount) n = static_cast<int32_t>(frameCount);
        // Each frame of the block's floats is handed out once.
        const int32_t offset = cursor.blockStart + (blockFrames - cursor.framesUnread);
        ApplyMasterVolume(stream, stream.ring.mixBuffer + offset, n);
        ConvertToPcm16(destination, stream.ring.mixBuffer + offset, n);
        destination += 2 * n;
        frameCount -= n;
        cursor.framesUnread -= n;
        cursor.framesOut += uint64_t(n);
    }
    return true;
}

bool OfflinePosition(const Stream& stream, SongPosition* position, uint64_t* frames) {
    const OfflineRender& cursor = stream.cursor;
    if (!cursor.active || cursor.framesOut == 0) return false;
    const int32_t blockFrames = stream.ring.blockFrames;
    const int32_t lastFrame = blockFrames - cursor.framesUnread - 1;   // within the block rendered last
    *position = PositionInBlock(stream, cursor.blockStart / blockFrames, lastFrame);
    *frames = cursor.framesOut;
    return true;
}

void EndOfflineRender(Stream& stream) {
    if (!stream.cursor.active) return;
    stream.player.song = nullptr;
    ReleaseMixBuffer(stream.ring);
    stream.cursor = {};
}

}  // namespace lumbo
