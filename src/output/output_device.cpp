#include "output/output_device.h"

#include "output/output_size.h"
#include "platform/float_env.h"

namespace lumbo {

OutputDevice outputDevice;

bool OpenOutput(Stream& stream, int32_t rate) {
    stream.player.mixer.sampleRate = rate;
    if (!WaveOutOpen(&outputDevice.waveDevice, rate)) return false;
    // The host may have left any rounding mode or exception mask on its thread;
    // the renderer relies on round-to-nearest-even and silent exceptions.
    ResetFloatingPoint();
    if (!SizeOutput(stream, rate)) {
        WaveOutClose(outputDevice.waveDevice);
        outputDevice.waveDevice = nullptr;
        return false;
    }
    return true;
}

bool HeardPosition(SongPosition* position, uint64_t* frames) {
    HeardTick& heard = outputDevice.heard;
    if (!outputDevice.stream) return false;
    for (;;) {
        const uint32_t before = heard.sequence.load();
        if (before & 1) continue;   // the thread is writing; it takes a few instructions
        *position = SongPosition{heard.order.load(), heard.pattern.load(), heard.row.load(), heard.tick.load()};
        *frames = uint64_t(heard.frameHigh.load()) << 32 | heard.frameLow.load();
        if (heard.sequence.load() == before) return true;
    }
}

}  // namespace lumbo
