#include "render_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"

namespace lumbo_tool {

const char kRenderHelp[] =
    "Usage: lumbo render FILE.xm -o OUT [OPTIONS]\n"
    "       lumbo render --song 1|2 -o OUT [OPTIONS]\n"
    "\n"
    "Renders a module to 16-bit stereo PCM, byte for byte what playback sends to\n"
    "the sound device. Without --seconds the song is rendered once, to its loop\n"
    "point (--repeat 0); with --seconds, exactly that length, looping as long as\n"
    "it takes (or, with --repeat too, up to whichever end comes first). A song\n"
    "that never comes back to a position it has played, and --repeat -1 without\n"
    "--seconds, would never end: 10 minutes are rendered, with a note.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT   where the audio goes: OUT.wav gets a RIFF/WAVE header,\n"
    "                     any other name (OUT.raw) and '-' (standard output) get\n"
    "                     headerless signed 16-bit little-endian PCM, left then right\n"
    "  --seconds S        length to render: round(S x rate) frames\n"
    "  --repeat N         -1 loops for ever, 0 plays once to the loop point, N plays\n"
    "                     the loop N more times\n"
    "  --from WHEN        start at a time in seconds (12.5: frame floor(12.5 x rate))\n"
    "                     or at ORDER:ROW, the first time the song gets there\n"
    "  --mute LIST        silence channels, counted from 0 as in --trace: 0,3,4-7\n"
    "  --rate HZ          frames per second, 8000 to 192000 (default 44100)\n"
    "  --song N           render built-in song 1 or 2 instead of a file\n"
    "  --trace            also write one line per tick of song, channel and voice\n"
    "                     state to standard error, for diffing two renders\n"
    "  -h, --help         show this help\n"
    "\n"
    "The output file appears only once it is complete. Exit status: 0 success,\n"
    "1 a file could not be read or written, or --from lies past the end or at a\n"
    "row the song never plays, 2 the module was rejected, 64 wrong usage.\n";

namespace {

constexpr double kMaxSeconds = 1e7;           // far beyond any use, far inside int64 frames

int UsageError(const char* message, const char* detail) {
    fprintf(stderr, "lumbo render: %s%s%s\nTry 'lumbo render --help'.\n", message, detail ? " " : "",
            detail ? detail : "");
    return kExitUsage;
}
bool ParseSeconds(const char* text, double* seconds) {
    char* end = nullptr;
    double value = strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < 0 || value > kMaxSeconds) return false;
    *seconds = value;
    return true;
}

// Reads the value of option `name`; kExitOk or the status of a usage error reported.
int ParseValue(const std::string& name, const char* value, RenderOptions* options) {
    int64_t whole;
    if (name == "-o" || name == "--output") {
        if (!*value) return UsageError("empty output name", nullptr);
        options->output = value;
    } else if (name == "--seconds") {
        if (!ParseSeconds(value, &options->seconds))
            return UsageError("--seconds wants a number of seconds from 0 to 10000000, not", value);
    } else if (name == "--song") {
        if (strcmp(value, "1") != 0 && strcmp(value, "2") != 0) return UsageError("--song wants 1 or 2, not", value);
        options->source.embedded = value[0] - '0';
    } else if (name == "--rate") {
        if (!ParseRate(value, &options->rate)) return UsageError("--rate wants a whole 8000 to 192000, not", value);
    } else if (name == "--repeat") {
        if (!ParseWhole(value, -1, INT32_MAX, &whole)) return UsageError("--repeat wants -1, 0 or a count, not", value);
        options->repeat = int32_t(whole);
    } else if (name == "--from") {
        if (!ParseStartPoint(value, &options->start))
            return UsageError("--from wants seconds (12.5, at most 9 decimals) or ORDER:ROW, not", value);
        options->haveStart = true;
        options->startText = value;
    } else if (name == "--mute") {
        if (!ParseChannelList(value, &options->muted))
            return UsageError("--mute wants channels 0 to 31 such as 0,3,4-7, not", value);
    }
    return kExitOk;
}

}  // namespace

int ParseRenderOptions(int argc, char** argv, RenderOptions* options) {
    static const char* const kTakeValues[] = {"-o", "--output", "--seconds", "--song", "--rate",
                                              "--repeat", "--from", "--mute"};
    bool haveFile = false;
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
        bool takesValue = false;
        for (const char* option : kTakeValues) takesValue = takesValue || name == option;
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
        } else if (takesValue) {
            int status = ParseValue(name, value, options);
            if (status != kExitOk) return status;
        } else {
            return UsageError("unknown option", arg.c_str());
        }
    }
    if (options->help) return kExitOk;
    if (haveFile && options->source.embedded) return UsageError("give either a module or --song, not both", nullptr);
    if (!haveFile && !options->source.embedded) return UsageError("no module given", nullptr);
    if (options->output.empty()) return UsageError("no output given (-o OUT.wav, -o OUT.raw or -o -)", nullptr);
    return kExitOk;
}

}  // namespace lumbo_tool
