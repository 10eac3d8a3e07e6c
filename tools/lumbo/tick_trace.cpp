#include "tick_trace.h"

#include <cinttypes>
#include <cstdarg>

#include "mixer/mixer.h"
#include "sequencer/channel.h"

namespace lumbo_tool {

namespace {

struct TickTrace {
    FILE*              out;
    lumbo::TickHandler inner;        // the handler the trace wraps
    int64_t            tickCount;    // ticks processed so far
    int64_t            tickStart;    // first frame of the tick being processed
    int64_t            firstFrame;   // ticks ending here or earlier are not written
    int64_t            frameLimit;   // nor ticks starting here or later
};

// The tick handler takes only the player, so the trace keeps its state here.
TickTrace trace;

// One line is built whole and written with one call: standard error is
// unbuffered, and a line has up to 96 parts.
struct Line {
    char   text[16384];
    size_t used;
};

void Append(Line& line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(Line& line, const char* format, ...) {
    if (line.used >= sizeof line.text) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line.text + line.used, sizeof line.text - line.used, format, args);
    va_end(args);
    if (n > 0) line.used += size_t(n);
}

void WriteTraceLine(const lumbo::Player& player, int32_t tick) {
    const lumbo::Song& song = *player.song;
    static Line line;
    line.used = 0;
    Append(line, "T%" PRId64 " f=%" PRId64 " o=%d r=%d t=%d spt=%d gv=%d", trace.tickCount, trace.tickStart,
           song.orderPosition, player.currentRow, tick, song.samplesPerTick, song.globalVolume);
    for (int i = 0; i < song.channelCount && i < lumbo::kMaxChannels; ++i) {
        const lumbo::Channel& c = player.channels[i];
        long voiceIndex = c.voice ? long(c.voice - player.mixer.voices) : -1;
        Append(line, " | C%d p=%d po=%d v=%d ve=%d fo=%d pan=%d uf=%02x vi=%ld", i, c.period, c.periodOffset,
               c.volume, c.volEnvLevel, c.fadeoutVolume, c.panning, unsigned(c.updateFlags), voiceIndex);
    }
    for (int slot = 0; slot < lumbo::kVoiceSlots; ++slot) {
        const lumbo::Voice& v = player.mixer.voices[slot];
        if (!v.sample) continue;
        Append(line, " | V%d pos=%d.%08" PRIx32 " d=%d st=%d.%08" PRIx32 " tl=%d tr=%d", slot, v.position,
               v.positionFraction, v.direction, v.step, v.stepFraction, v.targetLeft, v.targetRight);
    }
    Append(line, "\n");
    fwrite(line.text, 1, line.used < sizeof line.text ? line.used : sizeof line.text, trace.out);
}

void TracingTickHandler(lumbo::Player& player) {
    // The driver moves tick on at the end of its work; the line shows the
    // tick it worked on. The order position and the row are those the row
    // processing used, which the driver leaves in place.
    const lumbo::Song* song = player.song;
    const int32_t tick = song->tick;
    trace.inner(player);
    // The block renderer mixes at least one frame per tick.
    const int64_t length = song->samplesPerTick > 0 ? song->samplesPerTick : 1;
    if (trace.tickStart < trace.frameLimit && trace.tickStart + length > trace.firstFrame) WriteTraceLine(player, tick);
    trace.tickCount += 1;
    trace.tickStart += length;
}

}  // namespace

void StartTickTrace(lumbo::Player& player, FILE* out, int64_t firstFrame, int64_t frameLimit) {
    trace = {out, player.tickHandler, 0, 0, firstFrame, frameLimit};
    player.tickHandler = TracingTickHandler;
}

}  // namespace lumbo_tool
