#include "control/control_player.h"

#include "output/device_queue.h"
#include "output/offline_render.h"
#include "output/output_device.h"
#include "output/output_size.h"
#include "output/ring_buffers.h"

namespace lumbo {

namespace {

// Order matters: the thread ends before the song and the float buffer go,
// and the device is reset and closed before the ring it reads goes.
void StopSequence() {
    StopQueuedPlayback();
    if (devicePlayer.cursor.active) {
        // A host's module: the device player's own render.
        Song* song = devicePlayer.player.song;
        EndOfflineRender(devicePlayer);
        ReleaseDeviceQueue(devicePlayer);
        FreeSong(song);
    } else if (Song* song = devicePlayer.player.song) {
        while (outputDevice.renderBusy != 0) {
        }
        StopPlayback(devicePlayer);
        devicePlayer.player.song = nullptr;
        FreeSong(song);
    }
    WaveOutReset(outputDevice.waveDevice);
    WaveOutClose(outputDevice.waveDevice);
    outputDevice.waveDevice = nullptr;
    if (outputDevice.waveHeader.data) {
        ReleaseRingSamples(devicePlayer.ring);
        outputDevice.waveHeader.data = nullptr;
    }
}

// Plays a loaded song on the open device; a start that fails is undone
// whole, the song released with it.
bool StartLoaded(Song* song) {
    if (StartPlayback(devicePlayer, song)) return true;
    if (!devicePlayer.player.song) FreeSong(song);   // else the stop sequence does
    StopSequence();
    return false;
}

// Plays a stream on the open device; a start that fails is undone whole
// (the stream keeps what it had).
StartResult StartQueued(Stream& stream) {
    if (StartQueuedPlayback(stream)) return StartResult::Playing;
    StopSequence();
    return StartResult::OutOfMemory;
}

}  // namespace

Stream devicePlayer;

StartResult PlaySong(Song* song, int32_t rate) {
    // A start while a song plays would open a second device and a second
    // thread over the same state: end the running one first.
    StopSequence();
    if (!OpenDevice(rate)) {
        FreeSong(song);
        return StartResult::OutputUnavailable;
    }
    if (!BeginOfflineRender(devicePlayer, song, rate)) {
        FreeSong(song);
        StopSequence();
        return StartResult::OutOfMemory;
    }
    return StartQueued(devicePlayer);
}

StartResult PlayStream(Stream& stream) {
    StopSequence();
    if (!OpenDevice(stream.player.mixer.sampleRate)) return StartResult::OutputUnavailable;
    return StartQueued(stream);
}

void StopDevice() { StopSequence(); }

bool ControlPlayer(const ModuleImage* image) {
    StopSequence();
    if (!image) return true;
    if (!OpenOutput(devicePlayer, kOutputRate)) return false;
    Song* song = LoadSong(image);
    if (!song) return false;   // the device stays open and silent until stop
    return StartLoaded(song);
}

}  // namespace lumbo
