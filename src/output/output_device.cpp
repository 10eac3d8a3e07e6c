#include "output/output_device.h"

#include "output/output_size.h"
#include "platform/float_env.h"

namespace lumbo {

OutputDevice outputDevice;

bool OpenDevice(int32_t rate) {
    if (!WaveOutOpen(&outputDevice.waveDevice, rate)) return false;
    // The host may have left any rounding mode or exception mask on its thread;
    // the renderer relies on round-to-nearest-even and silent exceptions.
    ResetFloatingPoint();
    return true;
}

bool OpenOutput(Stream& stream, int32_t rate) {
    stream.player.mixer.sampleRate = rate;
    if (!OpenDevice(rate)) return false;
    stream.outerCut.store(outputDevice.playbackCut.load());
    if (!SizeOutput(stream, rate)) {
        WaveOutClose(outputDevice.waveDevice);
        outputDevice.waveDevice = nullptr;
        return false;
    }
    return true;
}

void SetPlaybackVolume(int32_t volume) {
    if (volume < 0) volume = 0;
    if (volume > 256) volume = 256;
    outputDevice.playbackCut.store(256 - volume);
}

void StoreTick(HeardTick& record, const SongPosition& position, uint64_t frames, bool ended) {
    const uint32_t sequence = record.sequence.load();
    record.sequence.store(sequence + 1);
    record.order.store(position.order);
    record.pattern.store(position.pattern);
    record.row.store(position.row);
    record.tick.store(position.tick);
    record.frameLow.store(uint32_t(frames));
    record.frameHigh.store(uint32_t(frames >> 32));
    record.ended.store(ended ? 1 : 0);
    record.sequence.store(sequence + 2);
}

void LoadTick(const HeardTick& record, SongPosition* position, uint64_t* frames, bool* ended) {
    for (;;) {
        const uint32_t before = record.sequence.load();
        if (before & 1) continue;   // the thread is writing; it takes a few instructions
        *position = SongPosition{record.order.load(), record.pattern.load(), record.row.load(), record.tick.load()};
        *frames = uint64_t(record.frameHigh.load()) << 32 | record.frameLow.load();
        *ended = record.ended.load() != 0;
        if (record.sequence.load() == before) return;
    }
}

bool HeardPosition(SongPosition* position, uint64_t* frames) {
    if (!outputDevice.playing.load()) return false;
    bool ended;
    LoadTick(outputDevice.heard, position, frames, &ended);
    return !ended;
}

bool RenderedPosition(SongPosition* position, uint64_t* frames, bool* ended) {
    LoadTick(outputDevice.rendered, position, frames, ended);
    return *frames > 0;
}

}  // namespace lumbo
