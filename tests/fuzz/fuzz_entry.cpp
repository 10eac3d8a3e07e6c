#include "fuzz/fuzz_entry.h"

#include <cstring>
#include <vector>

#include "lumbo.h"
#include "output/offline_render.h"
#include "output/output_size.h"
#include "song/loader.h"

namespace lumbo_fuzz {
namespace {

constexpr int64_t kRenderFrames = 2 * lumbo::kOutputRate;
constexpr int32_t kTicksPerSkipStep = 64;  // last byte 255: about five minutes at tempo 125

bool Play(lumbo::Song* song, uint8_t skipSteps) {
    if (!song) return false;
    static int16_t pcm[kRenderFrames * 2];
    static lumbo::Stream stream;
    if (lumbo::BeginOfflineRender(stream, song, lumbo::kOutputRate)) {
        for (int32_t t = 0; t < skipSteps * kTicksPerSkipStep; ++t) stream.player.tickHandler(stream.player);
        lumbo::RenderOfflineFrames(stream, pcm, kRenderFrames);
        lumbo::EndOfflineRender(stream);
    }
    lumbo::FreeSong(song);
    return true;
}

}  // namespace

bool RunModuleBytes(const uint8_t* data, size_t size) {
    if (size == 0 || size > 0x7FFFFFFF) return false;
    uint8_t skip = data[size - 1];
    return Play(lumbo::LoadSongFromMemory(data, uint32_t(size)), skip);
}

bool RunPublicApiBytes(const uint8_t* data, size_t size) {
    if (size == 0) return false;
    const uint8_t knob = data[size - 1];
    int32_t status = -1;
    lumbo_player* player = lumbo_load(data, size, &status);
    lumbo_info info{};
    const int32_t facts = lumbo_module_info(data, size, &info);
    if ((player != nullptr) != (status == LUMBO_OK) || facts != status) __builtin_trap();
    if (!player) return false;
    lumbo_position position;
    if (lumbo_position_of(player, &position)) __builtin_trap();   // nothing handed out yet
    static int16_t pcm[kRenderFrames * 2 + 2];
    const int64_t chunk = 1 + (knob & 0x3F) * 37;
    int32_t volume = knob & 0x80 ? -20 : 300;
    uint64_t done = 0;
    while (done < uint64_t(kRenderFrames)) {
        const uint64_t n = chunk < int64_t(kRenderFrames - done) ? uint64_t(chunk) : kRenderFrames - done;
        pcm[2 * n] = 0x1234;
        if (lumbo_render(player, pcm, size_t(n)) != n || pcm[2 * n] != 0x1234) __builtin_trap();
        done += n;
        if (!lumbo_position_of(player, &position) || position.frame != done) __builtin_trap();
        if (position.order < 0 || position.order >= info.song_length || position.row < 0) __builtin_trap();
        lumbo_set_volume(player, volume);
        volume = (volume * 7 + 61) % 300 - 20;
    }
    lumbo_free(player);
    return true;
}

bool RunImageBytes(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return false;
    std::vector<uint8_t> image(size + 4);
    uint32_t length = uint32_t(size);
    for (int i = 0; i < 4; ++i) image[i] = uint8_t(length >> (8 * i));
    if (size) memcpy(image.data() + 4, data, size);
    return Play(lumbo::LoadSong(image.data()), size ? data[size - 1] : 0);
}

}  // namespace lumbo_fuzz
