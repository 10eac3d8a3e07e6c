// Steering a player: its facts at its rate, exact seek, a jump at the next
// row, channel layers and play once.
#include "lumbo.h"

#include "control/device_hooks.h"
#include "control/host_calls.h"
#include "control/host_player.h"
#include "control/song_facts.h"
#include "output/device_queue.h"
#include "output/offline_render.h"
#include "platform/memory.h"
#include "sequencer/loop_point.h"

using namespace lumbo;

namespace {

int32_t PlayerRate(const lumbo_player* player) { return player->stream.player.mixer.sampleRate; }

bool OnDevice(const lumbo_player* player) { return player->stream.onDevice.load() != 0; }

// The song record to read facts from: the live one belongs to the render
// thread while the device plays the player.
const Song* SongOf(const lumbo_player* player) {
    return OnDevice(player) ? &player->stream.queue->songAtStart : player->stream.player.song;
}

bool Seek(lumbo_player* player, uint64_t frame) {
    return OnDevice(player) ? DeviceSeek(player->stream, frame) : SeekOffline(player->stream, frame);
}

}  // namespace

extern "C" {

LUMBO_API int32_t LUMBO_CALL lumbo_player_info(const lumbo_player* player, lumbo_info* out) {
    if (!player || !out || !player->stream.player.song) return 0;
    const FloatControl host = EnterLibraryFloatingPoint();
    lumbo_info info = player->header;
    const bool ok = DescribeSong(SongOf(player), PlayerRate(player), &info);
    RestoreFloatingPoint(host);
    if (ok) *out = info;
    return ok;
}

LUMBO_API int32_t LUMBO_CALL lumbo_seek(lumbo_player* player, uint64_t frame) {
    if (!player) return 0;
    const FloatControl host = EnterLibraryFloatingPoint();
    const bool ok = Seek(player, frame);
    RestoreFloatingPoint(host);
    return ok;
}

LUMBO_API int32_t LUMBO_CALL lumbo_seek_order(lumbo_player* player, int32_t order, int32_t row) {
    // An order the song does not have is refused at once, not after a search.
    if (!player || !player->stream.player.song || uint32_t(order) >= uint32_t(player->stream.player.song->songLength))
        return 0;
    const FloatControl host = EnterLibraryFloatingPoint();
    SidePlayer* side = NewSidePlayer(SongOf(player), PlayerRate(player));
    int64_t frame = 0;
    const bool found = side && FindRowStart(side->player, order, row, &frame);
    Release(side);
    const bool ok = found && Seek(player, uint64_t(frame));
    RestoreFloatingPoint(host);
    return ok;
}

LUMBO_API int32_t LUMBO_CALL lumbo_jump(lumbo_player* player, int32_t order, int32_t row) {
    // Only the song as loaded is read here: the renderer never writes it.
    const Song* song = player ? player->stream.player.song : nullptr;
    if (!song || order < 0 || order >= song->songLength || row < 0) return 0;
    if (row >= song->patterns[song->orderTable[order]].rowCount) return 0;
    if (player->stream.endReached.load(std::memory_order_relaxed)) return 0;
    player->stream.jump.store(JumpRequest(order, row), std::memory_order_relaxed);
    return 1;
}

LUMBO_API void LUMBO_CALL lumbo_set_channel_mute(lumbo_player* player, int32_t channel, int32_t muted) {
    if (!player || channel < 0 || channel >= kMaxChannels) return;
    const uint32_t bit = 1u << channel;
    if (muted) {
        player->stream.mutes.fetch_or(bit, std::memory_order_relaxed);
    } else {
        player->stream.mutes.fetch_and(~bit, std::memory_order_relaxed);
    }
}

LUMBO_API void LUMBO_CALL lumbo_set_repeat(lumbo_player* player, int32_t count) {
    if (!player) return;
    // Stored as the come-back that ends the stream, so that 0 (a zeroed
    // record) plays for ever.
    const int32_t endAfter = count < 0 ? 0 : count < INT32_MAX ? count + 1 : INT32_MAX;
    player->stream.endAfter.store(endAfter, std::memory_order_relaxed);
}

LUMBO_API int32_t LUMBO_CALL lumbo_ended(const lumbo_player* player) {
    if (!player) return 0;
    if (!OnDevice(player)) return OfflineEnded(player->stream);
    SongPosition position;
    uint64_t frames;
    bool ended = false;
    DevicePosition(&position, &frames, &ended);
    return ended;
}

}  // extern "C"
