#include "control/control_player.h"

#include "output/output_device.h"
#include "output/output_size.h"
#include "output/ring_buffers.h"

namespace lumbo {

namespace {

// Order matters: the thread ends before the song and the float buffer go,
// and the device is reset and closed before the ring it reads goes.
void StopSequence() {
    if (Song* song = devicePlayer.player.song) {
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

}  // namespace

Stream devicePlayer;

StartResult PlaySong(Song* song, int32_t rate) {
    // A start while a song plays would open a second device and a second
    // thread over the same state: end the running one first.
    StopSequence();
    if (!OpenOutput(devicePlayer, rate)) {
        FreeSong(song);
        return StartResult::OutputUnavailable;
    }
    return StartLoaded(song) ? StartResult::Playing : StartResult::OutOfMemory;
}

bool ControlPlayer(const ModuleImage* image) {
    StopSequence();
    if (!image) return true;
    if (!OpenOutput(devicePlayer, kOutputRate)) return false;
    Song* song = LoadSong(image);
    if (!song) return false;   // the device stays open and silent until stop
    return StartLoaded(song);
}

}  // namespace lumbo
