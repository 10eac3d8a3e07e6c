#include "tick_trace.h"

#include <cinttypes>

#include "mixer/mixer.h"
#include "sequencer/channel.h"
#include "sequencer/row.h"

namespace lumbo_tool {

namespace {

struct TickTrace {
    FILE*              out;
    lumbo::TickHandler inner;        // the handler the trace wraps
    int64_t            tickCount;    // ticks processed so far
    int64_t            tickStart;    // first frame of the tick being processed
    int64_t            frameLimit;   // ticks starting here or later are not written
};

// The tick handler takes only the song, so the trace keeps its state here.
TickTrace trace;

void WriteTraceLine(const lumbo::Song& song, int32_t tick) {
    FILE* out = trace.out;
    fprintf(out, "T%" PRId64 " f=%" PRId64 " o=%d r=%d t=%d spt=%d gv=%d", trace.tickCount, trace.tickStart,
            song.orderPosition, lumbo::currentRow, tick, song.samplesPerTick, song.globalVolume);
    for (int i = 0; i < song.channelCount && i < lumbo::kMaxChannels; ++i) {
        const lumbo::Channel& c = lumbo::channels[i];
        long voiceIndex = c.voice ? long(c.voice - lumbo::voices) : -1;
        fprintf(out, " | C%d p=%d po=%d v=%d ve=%d fo=%d pan=%d uf=%02x vi=%ld", i, c.period, c.periodOffset,
                c.volume, c.volEnvLevel, c.fadeoutVolume, c.panning, unsigned(c.updateFlags), voiceIndex);
    }
    for (int slot = 0; slot < lumbo::kMixedVoices; ++slot) {
        const lumbo::Voice& v = lumbo::voices[slot];
        if (!v.sample) continue;
        fprintf(out, " | V%d pos=%d.%08" PRIx32 " d=%d st=%d.%08" PRIx32 " tl=%d tr=%d", slot, v.position,
                v.positionFraction, v.direction, v.step, v.stepFraction, v.targetLeft, v.targetRight);
    }
    fputc('\n', out);
}

void TracingTickHandler(lumbo::Song* song) {
    // The driver moves tick on at the end of its work; the line shows the
    // tick it worked on. The order position and the row are those the row
    // processing used, which the driver leaves in place.
    const int32_t tick = song->tick;
    trace.inner(song);
    if (trace.tickStart < trace.frameLimit) WriteTraceLine(*song, tick);
    trace.tickCount += 1;
    // The block renderer mixes at least one frame per tick.
    trace.tickStart += song->samplesPerTick > 0 ? song->samplesPerTick : 1;
}

}  // namespace

void StartTickTrace(lumbo::Song* song, FILE* out, int64_t frameLimit) {
    trace = {out, song->tickHandler, 0, 0, frameLimit};
    song->tickHandler = TracingTickHandler;
}

}  // namespace lumbo_tool
