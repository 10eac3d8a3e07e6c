#include "fuzz/fuzz_entry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "control/host_calls.h"
#include "lumbo.h"
#include "output/offline_render.h"
#include "output/output_size.h"
#include "song/loader.h"

namespace lumbo_fuzz {
namespace {

constexpr int64_t kRenderFrames = 2 * lumbo::kOutputRate;
constexpr int32_t kTicksPerSkipStep = 64;  // last byte 255: about five minutes at tempo 125
constexpr size_t kScriptBytes = 64;        // steering read from the input's end
constexpr int32_t kSeekSeconds = 4;
// Songs whose first pass lumbo_player_info runs again: back within ten
// minutes and about 2^16 ticks (the pass costs a tick's work per tick).
constexpr uint64_t kFactsFrames = 600 * lumbo::kOutputRate;
constexpr int64_t kFactsTicks = 1 << 16;

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

// The public API target's steering, read backwards from the bytes before the
// input's last (the end of a module is sample data: any value will do); zeros
// once they run out.
struct Script {
    const uint8_t* data;
    size_t left;
    uint32_t Byte() { return left ? data[--left] : 0; }
    uint32_t Word() { return Byte() << 8 | Byte(); }
    int32_t Index() { return int32_t(Word() % 300) - 8; }   // an order, row or channel: a few outside any song
};

// 44100 (lumbo_load), another rate, or one lumbo_load_at refuses.
int32_t PlayerRate(Script& script) {
    static const int32_t kRefused[] = {0, -1, 7999, 192001, INT32_MIN, INT32_MAX, -44100, 1};
    const uint32_t pick = script.Byte();
    if (pick < 0x40) return lumbo::kOutputRate;
    if (pick < 0x50) return kRefused[pick & 7];
    const int64_t span = lumbo::kMaxPlayerRate - lumbo::kMinPlayerRate;
    return int32_t(lumbo::kMinPlayerRate + int64_t(script.Word()) * span / 0xFFFF);
}

// A player as the host steers it, with what the calls must agree on: the
// frames handed out (where the position stands) and the repeat count.
struct Steering {
    lumbo_player* player;
    int32_t rate;
    int32_t volume;
    lumbo_info info{};
    lumbo_position position{};
    uint64_t seekLimit = 0;
    bool factsAtRate = false; // info is lumbo_player_info's
    bool shortSong = false;   // it comes back within the seek limit: seeks past its end are cheap
    uint64_t done = 0;        // frames handed out, or the frame sought
    int32_t repeat = -1;
    bool infoAgain = false;   // lumbo_player_info asked a second time (it runs the song's first pass)

    void CheckPosition() {
        const bool any = lumbo_position_of(player, &position);
        if (any != (done > 0) || (any && position.frame != done)) __builtin_trap();
        if (any && (position.order < 0 || position.order >= info.song_length || position.row < 0)) __builtin_trap();
    }

    // Renders n frames: all of them unless the song ends, and never more.
    int64_t Render(int64_t n) {
        static int16_t pcm[kRenderFrames * 2 + 2];
        pcm[2 * n] = 0x1234;
        const size_t written = lumbo_render(player, pcm, size_t(n));
        if (written > size_t(n) || pcm[2 * n] != 0x1234) __builtin_trap();
        if (written < size_t(n) && (repeat < 0 || !lumbo_ended(player))) __builtin_trap();
        done += written;
        CheckPosition();
        // Levels for every channel the module has, and nothing past them.
        uint8_t levels[33];
        levels[info.channels] = 0x5A;
        if (lumbo_channel_levels(player, levels, 32) != info.channels || levels[info.channels] != 0x5A) __builtin_trap();
        lumbo_set_volume(player, volume);
        volume = (volume * 7 + 61) % 300 - 20;
        return int64_t(written);
    }

    // A seek that fails changes nothing; one within the limit fails only
    // for a song that ends.
    bool Seek(uint64_t frame) {
        const bool ok = lumbo_seek(player, frame);
        if (ok) done = frame;
        if (!ok && repeat < 0 && frame <= seekLimit) __builtin_trap();
        CheckPosition();
        return ok;
    }
};

// One steering call from the script; returns the frames to render next.
int64_t Steer(Steering& s, Script& script) {
    switch (script.Byte() % 8) {
    case 0:
        break;
    case 1:
        s.Seek((uint64_t(script.Word()) << 8 | script.Byte()) % (s.seekLimit + 1));
        break;
    case 2:
        // Played once, a song that ends soon: its last frame may be sought,
        // nothing after it.
        if (s.shortSong && s.repeat == 0) {
            const uint64_t end = s.info.loop_end_frame;
            const uint32_t how = script.Byte();
            if (how < 0x40) {
                if (!s.Seek(end) || s.Render(1) != 0 || !lumbo_ended(s.player)) __builtin_trap();
            } else if (s.Seek(how < 0xC0 ? end + 1 + script.Word() : ~uint64_t(0) >> (how & 0x1F))) {
                __builtin_trap();
            }
        }
        break;
    case 3:
        // Lands on the row's tick 0, or on nothing.
        if (s.shortSong) {
            const int32_t order = script.Index(), row = script.Index();
            const bool ok = lumbo_seek_order(s.player, order, row);
            if (ok && (order < 0 || order >= s.info.song_length || row < 0)) __builtin_trap();
            if (ok) s.done = lumbo_position_of(s.player, &s.position) ? s.position.frame : 0;
            s.CheckPosition();
            if (ok && s.Render(1) == 1 && (s.position.order != order || s.position.row != row || s.position.tick != 0)) {
                __builtin_trap();
            }
        }
        break;
    case 4: {
        const int32_t order = script.Index(), row = script.Index();
        const bool refused = order < 0 || order >= s.info.song_length || row < 0 || lumbo_ended(s.player);
        if (lumbo_jump(s.player, order, row) && refused) __builtin_trap();
        break;
    }
    case 5:
        lumbo_set_channel_mute(s.player, script.Index(), int32_t(script.Byte() & 1));
        break;
    case 6: {
        static const int32_t kCounts[] = {INT32_MIN, -2, -1, 0, 1, 2, 3, INT32_MAX};
        s.repeat = kCounts[script.Byte() & 7];
        lumbo_set_repeat(s.player, s.repeat);
        break;
    }
    case 7: {
        // Worked out on the side: the same facts, the player undisturbed.
        if (s.infoAgain || !s.factsAtRate) break;
        s.infoAgain = true;
        lumbo_info again{};
        if (!lumbo_player_info(s.player, &again) || again.loop_end_frame != s.info.loop_end_frame ||
            again.loop_start_frame != s.info.loop_start_frame || again.rows != s.info.rows) {
            __builtin_trap();
        }
        s.CheckPosition();
        break;
    }
    }
    return script.Word() % 4800;
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
    const size_t scriptBytes = std::min(size - 1, kScriptBytes);
    Script script{data + size - 1 - scriptBytes, scriptBytes};
    int32_t status = -1;
    int32_t rate = PlayerRate(script);
    if (rate < lumbo::kMinPlayerRate || rate > lumbo::kMaxPlayerRate) {
        if (lumbo_load_at(data, size, rate, &status) || status != LUMBO_BAD_ARGUMENT) __builtin_trap();
        rate = lumbo::kOutputRate;
    }
    lumbo_player* player = rate == lumbo::kOutputRate ? lumbo_load(data, size, &status)
                                                      : lumbo_load_at(data, size, rate, &status);
    lumbo_info info{};
    const int32_t facts = lumbo_module_info(data, size, &info);
    if ((player != nullptr) != (status == LUMBO_OK) || facts != status) __builtin_trap();
    if (!player) return false;
    Steering s{player, rate, knob & 0x80 ? -20 : 300};
    if (lumbo_position_of(player, &s.position)) __builtin_trap();   // nothing handed out yet
    // The facts at the player's rate, for a song whose first pass is quick to
    // run again: the song's flow as lumbo_module_info found it, its frames
    // the same at 44100.
    s.info = info;
    s.factsAtRate = info.loops && info.speed > 0 && int64_t(info.rows) * info.speed <= kFactsTicks &&
                    info.loop_end_frame <= kFactsFrames;
    if (s.factsAtRate &&
        (!lumbo_player_info(player, &s.info) || s.info.rows != info.rows || s.info.loops != info.loops ||
         s.info.loop_order != info.loop_order || s.info.loop_row != info.loop_row ||
         s.info.song_length != info.song_length || s.info.channels != info.channels)) {
        __builtin_trap();
    }
    if (rate == lumbo::kOutputRate &&
        (s.info.loop_end_frame != info.loop_end_frame || s.info.loop_start_frame != info.loop_start_frame)) {
        __builtin_trap();
    }
    // Seeks stay within a few seconds: a seek runs the ticks up to its frame.
    s.seekLimit = uint64_t(kSeekSeconds) * uint64_t(rate);
    s.shortSong = s.factsAtRate && s.info.loop_end_frame <= s.seekLimit;
    const int64_t chunk = 1 + (knob & 0x3F) * 37;
    int64_t asked = 0;
    while (asked < kRenderFrames) {
        const int64_t n = script.left ? Steer(s, script) : std::min(chunk, kRenderFrames - asked);
        s.Render(std::min(n, kRenderFrames - asked));
        asked += n;
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
