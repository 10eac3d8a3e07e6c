// Levels for a host's meters, worked out only when asked: nothing in the
// rendering path keeps them.
#include "lumbo.h"

#include "control/host_player.h"
#include "mixer/voice_level.h"

using namespace lumbo;

extern "C" {

LUMBO_API int32_t LUMBO_CALL lumbo_channel_levels(const lumbo_player* player, uint8_t* levels, int32_t count) {
    const Player* p = player ? &player->stream.player : nullptr;
    if (!p || !p->song || !levels || count <= 0) return 0;
    const int32_t channels = p->song->channelCount < count ? p->song->channelCount : count;
    const int32_t frames = player->stream.ring.blockFrames;
    for (int32_t c = 0; c < channels; ++c) {
        // A channel sounds on its voice and, after a new note, on the partner
        // that fades out the note before.
        const int32_t level = VoiceLevel(p->mixer.voices[c], frames) +
                              VoiceLevel(p->mixer.voices[c + kPartnerDistance], frames);
        levels[c] = uint8_t(level < 255 ? level : 255);
    }
    return channels;
}

}  // extern "C"
