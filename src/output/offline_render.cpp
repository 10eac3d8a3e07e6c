#include "output/offline_render.h"

#include <cstring>

#include "mixer/mixer.h"
#include "output/output_ring.h"
#include "output/output_size.h"
#include "output/render_block.h"
#include "output/ring_buffers.h"
#include "sequencer/channel.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

OfflineRender offlineRender;

bool BeginOfflineRender(Song* song, int32_t rate) {
    if (offlineRender.active) EndOfflineRender();
    // A device that plays, or still loops a stopped ring, owns the buffers.
    if (!song || outputRing.playingSong || outputRing.ringSamples || outputRing.mixAllocation) return false;
    if (!SizeOutput(rate)) return false;
    sampleRate = rate;

    ResetSongState(song);
    ResetChannels(song);
    if (!AllocateRingSamples() || !AllocateMixBuffer()) {
        ReleaseMixBuffer();
        ReleaseRingSamples();
        return false;
    }
    outputRing.writeBlock = 0;
    outputRing.playingSong = song;
    offlineRender = {true, 0, 0};
    return true;
}

bool RenderOfflineFrames(int16_t* destination, int64_t frameCount) {
    if (!offlineRender.active || !destination || frameCount < 0) return false;
    OfflineRender& render = offlineRender;
    const int32_t blockFrames = outputRing.blockFrames;
    while (frameCount > 0) {
        if (render.framesUnread == 0) {
            render.blockStart = outputRing.writeBlock * blockFrames;
            RenderBlock();
            render.framesUnread = blockFrames;
        }
        int32_t n = render.framesUnread;
        if (n > frameCount) n = static_cast<int32_t>(frameCount);
        const int32_t offset = render.blockStart + (blockFrames - render.framesUnread);
        memcpy(destination, outputRing.ringSamples + 2 * offset, size_t(n) * 2 * sizeof(int16_t));
        destination += 2 * n;
        frameCount -= n;
        render.framesUnread -= n;
    }
    return true;
}

void EndOfflineRender() {
    if (!offlineRender.active) return;
    outputRing.playingSong = nullptr;
    ReleaseMixBuffer();
    ReleaseRingSamples();
    offlineRender = {};
}

}  // namespace lumbo
