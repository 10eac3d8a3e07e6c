// Steering a player: its facts at its rate, exact seek, a jump at the next
// row, channel layers and play once.
#include "lumbo.h"

#include "control/host_calls.h"
#include "control/host_player.h"
#include "control/song_facts.h"
#include "output/offline_render.h"
#include "platform/memory.h"
#include "sequencer/loop_point.h"

using namespace lumbo;

namespace {

int32_t PlayerRate(const lumbo_player* player) { return player->stream.player.mixer.sampleRate; }

}  // namespace

extern "C" {

LUMBO_API int32_t LUMBO_CALL lumbo_player_info(const lumbo_player* player, lumbo_info* out) {
    if (!player || !out || !player->stream.player.song) return 0;
    const FloatControl host = EnterLibraryFloatingPoint();
    lumbo_info info = player->header;
    const bool ok = DescribeSong(player->stream.player.song, PlayerRate(player), &info);
    RestoreFloatingPoint(host);
    if (ok) *out = info;
    return ok;
}

LUMBO_API int32_t LUMBO_CALL lumbo_seek(lumbo_player* player, uint64_t frame) {
    if (!player) return 0;
    const FloatControl host = EnterLibraryFloatingPoint();
    const bool ok = SeekOffline(player->stream, frame);
    RestoreFloatingPoint(host);
    return ok;
}

LUMBO_API int32_t LUMBO_CALL lumbo_seek_order(lumbo_player* player, int32_t order, int32_t row) {
    // An order the song does not have is refused at once, not after a search.
    if (!player || !player->stream.player.song || uint32_t(order) >= uint32_t(player->stream.player.song->songLength))
        return 0;
    const FloatControl host = EnterLibraryFloatingPoint();
    SidePlayer* side = NewSidePlayer(player->stream.player.song, PlayerRate(player));
    int64_t frame = 0;
    const bool found = side && FindRowStart(side->player, order, row, &frame);
    Release(side);
    const bool ok = found && SeekOffline(player->stream, uint64_t(frame));
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

LUMBO_API int32_t LUMBO_CALL lumbo_ended(const lumbo_player* player) { return player && OfflineEnded(player->stream); }

}  // extern "C"
