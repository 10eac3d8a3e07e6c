#include "control/control_player.h"

#include "output/output_device.h"
#include "output/output_ring.h"
#include "output/ring_buffers.h"

namespace lumbo {

namespace {

constexpr int32_t kPlaybackRate = 44100;

// Order matters: the thread ends before the song and the float buffer go,
// and the device is reset and closed before the ring it reads goes.
void StopSequence() {
    if (currentSong) {
        while (outputDevice.renderBusy != 0) {
        }
        StopPlayback(currentSong);
        FreeSong(currentSong);
        currentSong = nullptr;
    }
    WaveOutReset(outputDevice.waveDevice);
    WaveOutClose(outputDevice.waveDevice);
    outputDevice.waveDevice = nullptr;
    if (outputDevice.waveHeader.data) {
        ReleaseRingSamples();
        outputDevice.waveHeader.data = nullptr;
    }
}

bool StartSequence(const ModuleImage* image) {
    // A start while a song plays would open a second device and a second
    // thread over the same state: end the running one first.
    StopSequence();
    if (!OpenOutput(kPlaybackRate)) return false;
    Song* song = LoadSong(image);
    if (!song) return false;   // the device stays open and silent until stop
    currentSong = song;
    if (!StartPlayback(song)) {
        StopSequence();
        return false;
    }
    return true;
}

}  // namespace

Song* currentSong;

bool ControlPlayer(const ModuleImage* image) {
    if (image) return StartSequence(image);
    StopSequence();
    return true;
}

}  // namespace lumbo
