// Facts about a module for a host: header fields and where the song loops.
#include <new>

#include "lumbo.h"

#include "control/host_calls.h"
#include "control/song_facts.h"
#include "output/output_size.h"
#include "platform/memory.h"
#include "sequencer/loop_point.h"

namespace lumbo {

namespace {

constexpr size_t kTitleOffset = 17;   // after "Extended Module: "
constexpr size_t kTitleBytes = 20;
constexpr size_t kPatternCountOffset = 70;   // the patterns the file stores

}  // namespace

// The title as printable text, trailing blanks removed; bytes the file does
// not hold read as blanks.
void ReadHeaderFacts(const uint8_t* data, size_t size, lumbo_info* out) {
    char* title = out->title;
    for (size_t i = 0; i < kTitleBytes; ++i) {
        const uint8_t c = kTitleOffset + i < size ? data[kTitleOffset + i] : ' ';
        title[i] = c >= 32 && c < 127 ? char(c) : ' ';
    }
    title[kTitleBytes] = 0;
    for (size_t i = kTitleBytes; i > 0 && title[i - 1] == ' '; --i) title[i - 1] = 0;
    out->patterns = size >= kPatternCountOffset + 2 ? data[kPatternCountOffset] | data[kPatternCountOffset + 1] << 8 : 0;
}

bool DescribeSong(const Song* song, int32_t rate, lumbo_info* out) {
    SidePlayer* side = NewSidePlayer(song, rate);
    LoopPoint loop;
    const bool found = side && FindLoopPoint(side->player, &loop);
    Release(side);
    if (!found) return false;
    out->channels = song->channelCount;
    out->song_length = song->songLength;
    out->restart = uint16_t(song->restartPosition);
    out->instruments = song->instrumentCount;
    out->linear_periods = song->flags & 1;
    out->speed = song->defaultSpeed;
    out->tempo = song->defaultTempo;
    out->loops = loop.found;
    out->rows = int32_t(loop.rows);
    out->loop_end_frame = uint64_t(loop.endFrame);
    out->loop_start_frame = uint64_t(loop.loopFrame);
    out->loop_order = loop.order;
    out->loop_row = loop.row;
    return true;
}

}  // namespace lumbo

using namespace lumbo;

extern "C" LUMBO_API int32_t LUMBO_CALL lumbo_module_info(const void* data, size_t size, lumbo_info* out) {
    if (!out) return LUMBO_BAD_ARGUMENT;
    const FloatControl host = EnterLibraryFloatingPoint();
    int32_t status;
    Song* song = LoadHostModule(data, size, &status);
    lumbo_info info{};
    if (song && !DescribeSong(song, kOutputRate, &info)) status = LUMBO_OUT_OF_MEMORY;
    if (status == LUMBO_OK) {
        ReadHeaderFacts(static_cast<const uint8_t*>(data), size, &info);
        *out = info;
    }
    FreeSong(song);
    RestoreFloatingPoint(host);
    return status;
}
