#include "fuzz/fuzz_entry.h"

#include <cstring>
#include <vector>

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

bool RunImageBytes(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return false;
    std::vector<uint8_t> image(size + 4);
    uint32_t length = uint32_t(size);
    for (int i = 0; i < 4; ++i) image[i] = uint8_t(length >> (8 * i));
    if (size) memcpy(image.data() + 4, data, size);
    return Play(lumbo::LoadSong(image.data()), size ? data[size - 1] : 0);
}

}  // namespace lumbo_fuzz
