#include "output/output_device.h"
#include "output/render_block.h"
#include "platform/float_env.h"

namespace lumbo {

namespace {

constexpr uint32_t kPollMilliseconds = 5;
constexpr uint64_t kBytesPerFrame = 4;

// Reads the device's position into playedBytes.
void PollDevice() {
    uint32_t position = WaveOutGetPosition(outputDevice.waveDevice);
    // Unsigned difference: correct across the 2^32 wrap of the device count.
    outputDevice.playedBytes += uint32_t(position - outputDevice.lastPosition);
    outputDevice.lastPosition = position;
}

// The ring frame the device is playing now.
int32_t DeviceFrame(const OutputRing& ring) {
    return int32_t(outputDevice.playedBytes / kBytesPerFrame % uint64_t(ring.ringFrames));
}

}  // namespace

void PublishHeardPosition() {
    const Stream* stream = outputDevice.stream;
    if (!stream || stream->ring.blockFrames <= 0) return;
    const int32_t frame = DeviceFrame(stream->ring);
    const SongPosition p =
        PositionInBlock(*stream, frame / stream->ring.blockFrames, frame % stream->ring.blockFrames);
    const uint64_t heardFrames = outputDevice.playedBytes / kBytesPerFrame;
    StoreTick(outputDevice.heard, p, heardFrames, false);
}

uint32_t RenderThread() {
    outputDevice.threadExited = 0;
    ResetFloatingPoint();   // a new thread may inherit its creator's settings
    Stream& stream = *outputDevice.stream;
    while (outputDevice.stopRequest == 0) {
        stream.outerCut.store(outputDevice.playbackCut.load(std::memory_order_relaxed), std::memory_order_relaxed);
        // Render every block from writeBlock up to, not including, the one
        // the device is in. The stop request waits for the catch-up.
        PollDevice();
        PublishHeardPosition();
        const int32_t current = DeviceFrame(stream.ring) / stream.ring.blockFrames;
        while (stream.ring.writeBlock != current) {
            outputDevice.renderBusy = 1;
            RenderBlock(stream);
            outputDevice.renderBusy = 0;
        }
        SleepMilliseconds(kPollMilliseconds);
    }
    outputDevice.threadExited = 1;
    return 0;
}

}  // namespace lumbo
