// A host's module on the library's own device, and where the listener is.
#include "lumbo.h"

#include "control/control_player.h"
#include "control/device_hooks.h"
#include "control/host_calls.h"
#include "control/host_player.h"
#include "output/master_volume.h"
#include "output/output_device.h"
#include "output/output_size.h"

namespace lumbo {

void EndDevicePlayback() { StopDevice(); }

bool DevicePosition(SongPosition* position, uint64_t* frames, bool* ended) {
    return RenderedPosition(position, frames, ended);
}

bool DeviceSeek(Stream& stream, uint64_t frame) { return SeekPlaying(stream, frame); }

}  // namespace lumbo

using namespace lumbo;

extern "C" {

LUMBO_API int32_t LUMBO_CALL lumbo_play_module(const void* data, size_t size) {
    const FloatControl host = EnterLibraryFloatingPoint();
    int32_t status;
    // A module that does not load leaves what plays alone.
    if (Song* song = LoadHostModule(data, size, &status)) {
        switch (PlaySong(song, kOutputRate)) {
            case StartResult::Playing: status = LUMBO_OK; break;
            case StartResult::OutputUnavailable: status = LUMBO_NO_OUTPUT; break;
            case StartResult::OutOfMemory: status = LUMBO_OUT_OF_MEMORY; break;
        }
    }
    RestoreFloatingPoint(host);
    return status;
}

LUMBO_API int32_t LUMBO_CALL lumbo_heard_position(lumbo_position* out) {
    SongPosition position;
    uint64_t frames;
    if (!out || !HeardPosition(&position, &frames)) return 0;
    *out = lumbo_position{position.order, position.pattern, position.row, position.tick, frames};
    return 1;
}

LUMBO_API void LUMBO_CALL lumbo_set_playback_volume(int32_t volume) { SetPlaybackVolume(volume); }

LUMBO_API int32_t LUMBO_CALL lumbo_play_player(lumbo_player* player) {
    if (!player || !player->stream.player.song) return LUMBO_BAD_ARGUMENT;
    const FloatControl host = EnterLibraryFloatingPoint();
    int32_t status = LUMBO_OK;
    switch (PlayStream(player->stream)) {
        case StartResult::Playing: break;
        case StartResult::OutputUnavailable: status = LUMBO_NO_OUTPUT; break;
        case StartResult::OutOfMemory: status = LUMBO_OUT_OF_MEMORY; break;
    }
    RestoreFloatingPoint(host);
    return status;
}

LUMBO_API void LUMBO_CALL lumbo_pause_playback(int32_t paused) {
    // A setting the render thread follows; every start clears it.
    outputDevice.pauseRequest.store(paused ? 1 : 0);
}

}  // extern "C"
