// lumbo render: a module to 16-bit stereo PCM, exactly as playback would
// send it to the device, from any point, at any rate, once or looping.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "control/host_player.h"
#include "output_file.h"
#include "render_options.h"
#include "song/song.h"
#include "tick_trace.h"
#include "wav_header.h"

namespace lumbo_tool {

namespace {

constexpr int64_t kChunkFrames = 16384;       // frames handed to the file per write
constexpr int64_t kEndlessSeconds = 600;      // what a stream that never ends is cut to
constexpr int64_t kNoLimit = INT64_MAX;

bool EndsWithWav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& ch : tail) ch = char(tolower(static_cast<unsigned char>(ch)));
    return tail == ".wav";
}

// The frames to write at most: --seconds, or the song to its end. A stream
// that would not end is cut to ten minutes, with a note. -1 when memory is short.
int64_t FrameLimit(const RenderOptions& options, lumbo_player* player, int32_t repeat) {
    if (options.seconds >= 0) return std::llround(options.seconds * options.rate);
    if (repeat >= 0) {
        lumbo_info info;
        if (!lumbo_player_info(player, &info)) return -1;
        if (info.loops) return kNoLimit;
        fprintf(stderr,
                "lumbo render: note: the song never comes back to a position it has played, so it never ends;"
                " writing %lld minutes (--seconds sets the length)\n",
                (long long)(kEndlessSeconds / 60));
    } else {
        fprintf(stderr,
                "lumbo render: note: --repeat -1 never ends; writing %lld minutes (--seconds sets the length)\n",
                (long long)(kEndlessSeconds / 60));
    }
    return kEndlessSeconds * options.rate;
}

// A second player of the module, for questions answered by seeking back
// and forth, so that the player that renders only moves forward from its
// start and its tick trace sees every tick once. Null, with the reason told,
// when it cannot be made.
lumbo_player* NewProbe(const RenderOptions& options, int32_t repeat) {
    std::vector<uint8_t> bytes;
    if (!ReadSongBytes(options.source, &bytes)) return nullptr;
    lumbo_player* probe = lumbo_load_at(bytes.data(), bytes.size(), options.rate, nullptr);
    if (!probe) {
        fprintf(stderr, "lumbo: out of memory\n");
        return nullptr;
    }
    lumbo_set_repeat(probe, repeat);
    return probe;
}

// The frame --from names; false, with the reason told, for a row the song
// never plays (before its end).
bool FindStartFrame(const RenderOptions& options, int32_t repeat, lumbo_player* probe, int64_t* startFrame) {
    const StartPoint& start = options.start;
    *startFrame = 0;
    if (!options.haveStart) return true;
    if (!start.atRow) {
        *startFrame = StartFrame(start, options.rate);
        return true;
    }
    if (!lumbo_seek_order(probe, start.order, start.row)) {
        fprintf(stderr, "lumbo render: --from %s: the song never plays row %d of order position %d%s\n",
                options.startText, start.row, start.order, repeat >= 0 ? " before it ends" : "");
        return false;
    }
    lumbo_position position;   // none at frame 0
    if (lumbo_position_of(probe, &position)) *startFrame = int64_t(position.frame);
    return true;
}

// The frames from startFrame to the song's end, at most limit: a seek past
// the end of a song that ends is refused.
int64_t FramesToEnd(lumbo_player* probe, int64_t startFrame, int64_t limit) {
    if (lumbo_seek(probe, uint64_t(startFrame + limit))) return limit;
    int64_t reached = 0, refused = limit;   // seeks to startFrame + these work, fail
    while (refused - reached > 1) {
        const int64_t middle = reached + (refused - reached) / 2;
        (lumbo_seek(probe, uint64_t(startFrame + middle)) ? reached : refused) = middle;
    }
    return reached;
}

// Writes the player's frames until the song ends or limit frames are written.
bool WriteFrames(lumbo_player* player, int64_t limit, OutputFile* file, int64_t* written) {
    std::vector<int16_t> chunk(size_t(kChunkFrames) * 2);
    *written = 0;
    while (*written < limit) {
        const int64_t asked = limit - *written < kChunkFrames ? limit - *written : kChunkFrames;
        const int64_t got = int64_t(lumbo_render(player, chunk.data(), size_t(asked)));
        // The samples are little-endian in the file; this tool is built only
        // for little-endian hosts.
        if (!WriteOutput(file, chunk.data(), size_t(got) * 2 * sizeof(int16_t))) return false;
        *written += got;
        if (got < asked) break;   // the song has ended
    }
    return true;
}

// A WAV header gives the length before the frames. A file of our own is
// rewound to put the frames written there; for a pipe or a device, `frames`
// must be the length already.
bool WriteWav(lumbo_player* player, int64_t frames, int32_t rate, OutputFile* file, int64_t* written) {
    uint8_t header[kWavHeaderBytes];
    FillWavHeader(header, frames, rate);
    if (!WriteOutput(file, header, sizeof header) || !WriteFrames(player, frames, file, written)) return false;
    if (*written == frames) return true;
    FillWavHeader(header, *written, rate);
    return RewriteOutputStart(file, header, sizeof header);
}

// Renders with the player set up (repeat, mutes) into the open file; the
// exit status.
int RenderWith(const RenderOptions& options, int32_t repeat, bool wav, lumbo_player* player, OutputFile* file) {
    int64_t limit = FrameLimit(options, player, repeat);
    if (limit < 0) {
        fprintf(stderr, "lumbo: out of memory\n");
        return kExitFailure;
    }
    const bool pipeWav = wav && !file->replaces;
    lumbo_player* probe = options.start.atRow || pipeWav ? NewProbe(options, repeat) : nullptr;
    if ((options.start.atRow || pipeWav) && !probe) return kExitFailure;
    int64_t startFrame;
    const bool found = FindStartFrame(options, repeat, probe, &startFrame);
    const bool wavCut = wav && limit > kMaxWavFrames;
    if (wavCut) limit = kMaxWavFrames;
    // A pipe cannot be rewound to put the length in the header afterwards.
    if (found && pipeWav) limit = FramesToEnd(probe, startFrame, limit);
    lumbo_free(probe);
    if (!found) return kExitFailure;

    // The trace goes in before the seek: the ticks a seek runs pass through
    // it too, so that it counts every tick from the start.
    if (options.trace) {
        const int64_t traceEnd = limit < kNoLimit - startFrame ? startFrame + limit : kNoLimit;
        StartTickTrace(player->stream.player, stderr, startFrame, traceEnd);
    }
    if (startFrame > 0 && !lumbo_seek(player, uint64_t(startFrame))) {
        fprintf(stderr, "lumbo render: --from %s: the song ends before frame %lld\n", options.startText,
                (long long)startFrame);
        return kExitFailure;
    }
    int64_t written;
    if (wav ? !WriteWav(player, limit, options.rate, file, &written) : !WriteFrames(player, limit, file, &written))
        return kExitFailure;
    if (wavCut && written == limit && !lumbo_ended(player)) {
        fprintf(stderr, "lumbo render: note: a WAV file holds at most %lld seconds; the song is cut there\n",
                (long long)(kMaxWavFrames / options.rate));
    }
    return kExitOk;
}

}  // namespace

int RenderCommand(int argc, char** argv) {
    RenderOptions options;
    int status = ParseRenderOptions(argc, argv, &options);
    if (status != kExitOk) return status;
    if (options.help) {
        fputs(kRenderHelp, stdout);
        return kExitOk;
    }
    const bool wav = options.output != "-" && EndsWithWav(options.output);
    if (wav && options.seconds >= 0 && std::llround(options.seconds * options.rate) > kMaxWavFrames) {
        fprintf(stderr, "lumbo render: %s: a WAV file holds at most %lld seconds at %d Hz; use a .raw output\n",
                options.output.c_str(), static_cast<long long>(kMaxWavFrames / options.rate), options.rate);
        return kExitUsage;
    }

    lumbo::Song* song = LoadSongSource(options.source, &status);
    if (!song) return status;
    OutputFile file;
    if (!OpenOutputFile(options.output, &file)) {
        lumbo::FreeSong(song);
        return kExitFailure;
    }
    lumbo_player* player = lumbo::NewHostPlayer(song, options.rate);   // the player owns the song
    if (!player) {
        fprintf(stderr, "lumbo: out of memory\n");
        AbandonOutput(&file);
        return kExitFailure;
    }
    // Without --seconds the song plays once; with it, as long as asked.
    const int32_t repeat = options.repeat != kNoRepeat ? options.repeat : options.seconds < 0 ? 0 : -1;
    lumbo_set_repeat(player, repeat);
    for (int32_t c = 0; c < 32; ++c) {
        if (options.muted >> c & 1) lumbo_set_channel_mute(player, c, 1);
    }
    status = RenderWith(options, repeat, wav, player, &file);
    lumbo_free(player);
    if (status != kExitOk) {
        AbandonOutput(&file);
        return status;
    }
    return FinishOutput(&file) ? kExitOk : kExitFailure;
}

}  // namespace lumbo_tool
