#include "output/offline_render.h"
#include "output/output_device.h"
#include "output/render_block.h"
#include "output/ring_buffers.h"
#include "sequencer/tick_driver.h"

namespace lumbo {

namespace {

constexpr uint32_t kLoopForever = 0xFFFFFFFF;
constexpr uint32_t kBytesPerFrame = 4;

}  // namespace

bool StartPlayback(Stream& stream, Song* song) {
    if (!song) return false;
    stream.player.song = song;
    ResetSongState(stream.player);
    ResetChannels(stream.player);
    StartStreamProgress(stream);   // nothing of an earlier song's stream carries over
    OutputRing& ring = stream.ring;

    // Both buffers before the device sees either: a start that runs short of
    // memory gives up whole, holding nothing.
    if (!AllocateRingSamples(ring) || !AllocateMixBuffer(ring)) {
        ReleaseMixBuffer(ring);
        ReleaseRingSamples(ring);
        stream.player.song = nullptr;
        return false;
    }
    WaveHeader& header = outputDevice.waveHeader;
    header.data = ring.ringSamples;
    header.bufferLength = uint32_t(ring.ringFrames) * kBytesPerFrame;
    header.bytesRecorded = 0;
    header.user = 0;
    header.flags = WaveHeaderBeginLoop | WaveHeaderEndLoop;
    header.loops = kLoopForever;
    WaveOutPrepareHeader(outputDevice.waveDevice, &header);

    // The first two seconds are rendered here, before anything is heard, so
    // they never depend on the thread.
    ring.writeBlock = 0;
    do {
        RenderBlock(stream);
    } while (ring.writeBlock != 0);

    outputDevice.lastPosition = 0;
    outputDevice.playedBytes = 0;
    outputDevice.stream = &stream;
    PublishHeardPosition();
    outputDevice.playing.store(1);
    WaveOutWrite(outputDevice.waveDevice, &header);
    outputDevice.stopRequest = 0;
    outputDevice.renderThreadHandle = CreateEngineThread(RenderThread);
    // Without the thread the device would loop the first two seconds until
    // stop: a start that failed, which the caller undoes.
    if (!outputDevice.renderThreadHandle) return false;
    RaiseThreadPriority(outputDevice.renderThreadHandle);
    return true;
}

bool StopPlayback(Stream& stream) {
    if (!stream.player.song) return false;
    outputDevice.stopRequest = 1;
    while (outputDevice.renderBusy != 0) {
    }
    if (outputDevice.renderThreadHandle) {
        while (outputDevice.threadExited == 0) SleepMilliseconds(50);
        CloseEngineThread(outputDevice.renderThreadHandle);
        outputDevice.renderThreadHandle = nullptr;
    }
    ReleaseMixBuffer(stream.ring);
    if (outputDevice.waveHeader.data) {
        // A device still looping the header refuses to unprepare it: stop it
        // first, so the header is handed back before the ring is released.
        // (The stop sequence's own reset later is harmless.)
        WaveOutReset(outputDevice.waveDevice);
        WaveOutUnprepareHeader(outputDevice.waveDevice, &outputDevice.waveHeader);
        outputDevice.waveHeader.flags &= ~WaveHeaderPrepared;
    }
    outputDevice.playing.store(0);
    outputDevice.stream = nullptr;
    return true;
}

}  // namespace lumbo
