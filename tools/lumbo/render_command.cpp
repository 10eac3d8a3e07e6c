// lumbo render: a module to 44100 Hz 16-bit stereo PCM, exactly as playback
// would send it to the device.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "control/host_player.h"
#include "output/output_size.h"
#include "output_file.h"
#include "song/song.h"
#include "song_source.h"
#include "tick_trace.h"
#include "wav_header.h"

namespace lumbo_tool {

namespace {

constexpr double kDefaultSeconds = 60.0;
constexpr double kMaxSeconds = 1e7;           // far beyond any use, far inside int64 frames
constexpr int64_t kChunkFrames = 16384;       // frames handed to the file per write

const char kRenderHelp[] =
    "Usage: lumbo render FILE.xm -o OUT [--seconds S] [--trace]\n"
    "       lumbo render --song 1|2 -o OUT [--seconds S] [--trace]\n"
    "\n"
    "Renders a module from its start to 44100 Hz 16-bit stereo PCM, byte for\n"
    "byte what playback sends to the sound device.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT   where the audio goes: OUT.wav gets a RIFF/WAVE header,\n"
    "                     any other name (OUT.raw) and '-' (standard output) get\n"
    "                     headerless signed 16-bit little-endian PCM, left then right\n"
    "  --seconds S        length to render (default 60): round(S x 44100) frames\n"
    "  --song N           render built-in song 1 or 2 instead of a file\n"
    "  --trace            also write one line per tick of song, channel and voice\n"
    "                     state to standard error, for diffing two renders\n"
    "  -h, --help         show this help\n"
    "\n"
    "The output file appears only once it is complete. Exit status: 0 success,\n"
    "1 a file could not be read or written, 2 the module was rejected, 64 wrong usage.\n";

struct RenderOptions {
    SongSource  source = {"", 0};
    std::string output;
    double      seconds = kDefaultSeconds;
    bool        trace = false;
    bool        help = false;
};

int UsageError(const char* message, const char* detail) {
    fprintf(stderr, "lumbo render: %s%s%s\nTry 'lumbo render --help'.\n", message, detail ? " " : "",
            detail ? detail : "");
    return kExitUsage;
}

bool EndsWithWav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& ch : tail) ch = char(tolower(static_cast<unsigned char>(ch)));
    return tail == ".wav";
}

bool ParseSeconds(const char* text, double* seconds) {
    char* end = nullptr;
    double value = strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < 0 || value > kMaxSeconds) return false;
    *seconds = value;
    return true;
}

// Returns kExitOk, or the status of a usage error already reported.
int ParseRenderOptions(int argc, char** argv, RenderOptions* options) {
    bool haveFile = false;
    bool haveOutput = false;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            if (haveFile) return UsageError("more than one module given:", arg.c_str());
            options->source.path = arg;
            haveFile = true;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value or --name value
        std::string name = arg;
        const char* value = nullptr;
        size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = argv[i] + equals + 1;
        }
        const bool takesValue = name == "-o" || name == "--output" || name == "--seconds" || name == "--song";
        if (takesValue && !value) {
            if (i + 1 >= argc) return UsageError("missing value for", name.c_str());
            value = argv[++i];
        } else if (!takesValue && value) {
            return UsageError("no value expected for", name.c_str());
        }
        if (name == "-h" || name == "--help") {
            options->help = true;
        } else if (name == "--trace") {
            options->trace = true;
        } else if (name == "-o" || name == "--output") {
            if (!*value) return UsageError("empty output name", nullptr);
            options->output = value;
            haveOutput = true;
        } else if (name == "--seconds") {
            if (!ParseSeconds(value, &options->seconds))
                return UsageError("--seconds wants a number of seconds from 0 to 10000000, not", value);
        } else if (name == "--song") {
            if (strcmp(value, "1") != 0 && strcmp(value, "2") != 0)
                return UsageError("--song wants 1 or 2, not", value);
            options->source.embedded = value[0] - '0';
        } else {
            return UsageError("unknown option", arg.c_str());
        }
    }
    if (options->help) return kExitOk;
    if (haveFile && options->source.embedded) return UsageError("give either a module or --song, not both", nullptr);
    if (!haveFile && !options->source.embedded) return UsageError("no module given", nullptr);
    if (!haveOutput) return UsageError("no output given (-o OUT.wav, -o OUT.raw or -o -)", nullptr);
    return kExitOk;
}

// Renders the next frames frames of the open render into file; false when writing failed.
bool RenderInto(lumbo_player* player, int64_t frames, bool wav, OutputFile* file) {
    if (wav) {
        uint8_t header[kWavHeaderBytes];
        FillWavHeader(header, frames, lumbo::kOutputRate);
        if (!WriteOutput(file, header, sizeof header)) return false;
    }
    std::vector<int16_t> chunk(size_t(kChunkFrames) * 2);
    for (int64_t done = 0; done < frames;) {
        const int64_t n = frames - done < kChunkFrames ? frames - done : kChunkFrames;
        lumbo_render(player, chunk.data(), size_t(n));
        // The samples are little-endian in the file; this tool is built only
        // for little-endian hosts.
        if (!WriteOutput(file, chunk.data(), size_t(n) * 2 * sizeof(int16_t))) return false;
        done += n;
    }
    return true;
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
    const int64_t frames = std::llround(options.seconds * lumbo::kOutputRate);
    if (wav && frames > kMaxWavFrames) {
        fprintf(stderr, "lumbo render: %s: a WAV file holds at most %lld seconds; use a .raw output\n",
                options.output.c_str(), static_cast<long long>(kMaxWavFrames / lumbo::kOutputRate));
        return kExitUsage;
    }

    lumbo::Song* song = LoadSongSource(options.source, &status);
    if (!song) return status;
    OutputFile file;
    if (!OpenOutputFile(options.output, &file)) {
        lumbo::FreeSong(song);
        return kExitFailure;
    }
    lumbo_player* player = lumbo::NewHostPlayer(song);   // the player owns the song
    if (!player) {
        fprintf(stderr, "lumbo: out of memory\n");
        AbandonOutput(&file);
        return kExitFailure;
    }
    if (options.trace) StartTickTrace(player->stream.player, stderr, frames);

    bool written = RenderInto(player, frames, wav, &file);
    lumbo_free(player);
    if (!written) {
        AbandonOutput(&file);
        return kExitFailure;
    }
    return FinishOutput(&file) ? kExitOk : kExitFailure;
}

}  // namespace lumbo_tool
