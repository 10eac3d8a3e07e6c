#include "output/output_device.h"
#include "output/output_ring.h"
#include "output/render_block.h"
#include "platform/float_env.h"

namespace lumbo {

namespace {

constexpr uint32_t kPollMilliseconds = 5;
constexpr uint64_t kBytesPerFrame = 4;

// The block the device is playing now.
int32_t DeviceBlock() {
    uint32_t position = WaveOutGetPosition(outputDevice.waveDevice);
    // Unsigned difference: correct across the 2^32 wrap of the device count.
    outputDevice.playedBytes += uint32_t(position - outputDevice.lastPosition);
    outputDevice.lastPosition = position;
    uint64_t frame = outputDevice.playedBytes / kBytesPerFrame;
    return int32_t(frame % uint64_t(outputRing.ringFrames)) / outputRing.blockFrames;
}

}  // namespace

uint32_t RenderThread() {
    outputDevice.threadExited = 0;
    ResetFloatingPoint();   // a new thread may inherit its creator's settings
    while (outputDevice.stopRequest == 0) {
        // Render every block from writeBlock up to, not including, the one
        // the device is in. The stop request waits for the catch-up.
        int32_t current = DeviceBlock();
        while (outputRing.writeBlock != current) {
            outputDevice.renderBusy = 1;
            RenderBlock();
            outputDevice.renderBusy = 0;
        }
        SleepMilliseconds(kPollMilliseconds);
    }
    outputDevice.threadExited = 1;
    return 0;
}

}  // namespace lumbo
