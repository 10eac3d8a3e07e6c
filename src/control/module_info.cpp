// Facts about a module for a host: header fields and where the song loops.
#include <new>

#include "lumbo.h"

#include "control/host_calls.h"
#include "output/output_size.h"
#include "platform/memory.h"
#include "sequencer/loop_point.h"

namespace {

constexpr size_t kTitleOffset = 17;   // after "Extended Module: "
constexpr size_t kTitleBytes = 20;
constexpr size_t kPatternCountOffset = 70;   // the patterns the file stores

// The title as printable text, trailing blanks removed; bytes the file does
// not hold read as blanks.
void CopyTitle(const uint8_t* data, size_t size, char* title) {
    size_t used = 0;
    for (size_t i = 0; i < kTitleBytes; ++i) {
        const uint8_t c = kTitleOffset + i < size ? data[kTitleOffset + i] : ' ';
        title[i] = c >= 32 && c < 127 ? char(c) : ' ';
        if (title[i] != ' ') used = i + 1;
    }
    for (size_t i = used; i <= kTitleBytes; ++i) title[i] = 0;
}

}  // namespace

using namespace lumbo;

extern "C" LUMBO_API int32_t LUMBO_CALL lumbo_module_info(const void* data, size_t size, lumbo_info* out) {
    if (!out) return LUMBO_BAD_ARGUMENT;
    const FloatControl host = EnterLibraryFloatingPoint();
    int32_t status;
    Song* song = LoadHostModule(data, size, &status);
    Player* player = song ? static_cast<Player*>(AllocateZeroed(sizeof(Player))) : nullptr;
    LoopPoint loop;
    if (song && player) {
        player = new (player) Player;
        player->song = song;
        player->mixer.sampleRate = kOutputRate;
        if (!FindLoopPoint(*player, &loop)) status = LUMBO_OUT_OF_MEMORY;
    } else if (song) {
        status = LUMBO_OUT_OF_MEMORY;
    }
    if (status == LUMBO_OK) {
        lumbo_info info{};
        CopyTitle(static_cast<const uint8_t*>(data), size, info.title);
        info.channels = song->channelCount;
        info.song_length = song->songLength;
        info.restart = uint16_t(song->restartPosition);
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        info.patterns = size >= kPatternCountOffset + 2 ? bytes[kPatternCountOffset] | bytes[kPatternCountOffset + 1] << 8 : 0;
        info.instruments = song->instrumentCount;
        info.linear_periods = song->flags & 1;
        info.speed = song->defaultSpeed;
        info.tempo = song->defaultTempo;
        info.loops = loop.found;
        info.rows = int32_t(loop.rows);
        info.loop_end_frame = uint64_t(loop.endFrame);
        info.loop_start_frame = uint64_t(loop.loopFrame);
        info.loop_order = loop.order;
        info.loop_row = loop.row;
        *out = info;
    }
    Release(player);
    FreeSong(song);
    RestoreFloatingPoint(host);
    return status;
}
