// Players as values: a host's module, rendered into the host's own buffer on
// the host's thread.
#include <new>

#include "control/host_player.h"

#include "control/device_hooks.h"
#include "control/host_calls.h"
#include "control/song_facts.h"
#include "output/master_volume.h"
#include "output/device_queue.h"
#include "output/offline_render.h"
#include "output/output_size.h"
#include "platform/memory.h"
#include "song/loader.h"

namespace lumbo {

lumbo_player* NewHostPlayer(Song* song, int32_t rate) {
    if (!song) return nullptr;
    void* memory = AllocateZeroed(sizeof(lumbo_player));
    lumbo_player* player = memory ? new (memory) lumbo_player : nullptr;
    if (!player || !BeginOfflineRender(player->stream, song, rate)) {
        Release(player);
        FreeSong(song);
        return nullptr;
    }
    return player;
}

Song* LoadHostModule(const void* data, size_t size, int32_t* status) {
    if (!data || size > kMaxModuleBytes) {
        if (status) *status = LUMBO_BAD_ARGUMENT;
        return nullptr;
    }
    LoadStatus load{};
    Song* song = LoadSongFromMemory(static_cast<const uint8_t*>(data), uint32_t(size), &load);
    if (status) *status = song ? LUMBO_OK : int32_t(load.error);
    return song;
}

}  // namespace lumbo

using namespace lumbo;

extern "C" {

LUMBO_API lumbo_player* LUMBO_CALL lumbo_load_at(const void* data, size_t size, int32_t rate, int32_t* status) {
    if (rate < kMinPlayerRate || rate > kMaxPlayerRate) {
        if (status) *status = LUMBO_BAD_ARGUMENT;
        return nullptr;
    }
    const FloatControl host = EnterLibraryFloatingPoint();
    lumbo_player* player = nullptr;
    if (Song* song = LoadHostModule(data, size, status)) {
        player = NewHostPlayer(song, rate);
        if (player) ReadHeaderFacts(static_cast<const uint8_t*>(data), size, &player->header);
        if (!player && status) *status = LUMBO_OUT_OF_MEMORY;
    }
    RestoreFloatingPoint(host);
    return player;
}

LUMBO_API lumbo_player* LUMBO_CALL lumbo_load(const void* data, size_t size, int32_t* status) {
    return lumbo_load_at(data, size, kOutputRate, status);
}

LUMBO_API void LUMBO_CALL lumbo_free(lumbo_player* player) {
    if (!player) return;
    if (player->stream.onDevice.load()) {
        const FloatControl host = EnterLibraryFloatingPoint();
        EndDevicePlayback();
        RestoreFloatingPoint(host);
    }
    Song* song = player->stream.player.song;
    EndOfflineRender(player->stream);
    ReleaseDeviceQueue(player->stream);
    FreeSong(song);
    Release(player);
}

LUMBO_API size_t LUMBO_CALL lumbo_render(lumbo_player* player, int16_t* stereo, size_t frames) {
    // The device's render thread owns a player it plays.
    if (!player || !stereo || frames == 0 || player->stream.onDevice.load()) return 0;
    const FloatControl host = EnterLibraryFloatingPoint();
    int64_t written = 0;
    RenderOfflineFrames(player->stream, stereo, int64_t(frames), &written);
    RestoreFloatingPoint(host);
    return size_t(written);
}

LUMBO_API int32_t LUMBO_CALL lumbo_position_of(const lumbo_player* player, lumbo_position* out) {
    SongPosition position;
    uint64_t frames;
    bool ended;
    if (!player || !out) return 0;
    if (player->stream.onDevice.load() ? !DevicePosition(&position, &frames, &ended)
                                       : !OfflinePosition(player->stream, &position, &frames))
        return 0;
    *out = lumbo_position{position.order, position.pattern, position.row, position.tick, frames};
    return 1;
}

LUMBO_API void LUMBO_CALL lumbo_set_volume(lumbo_player* player, int32_t volume) {
    if (player) SetMasterVolume(player->stream, volume);
}

}  // extern "C"
