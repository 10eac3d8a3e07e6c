// lumbo play: plays a module on the audio output as a host's player on the
// library's device, steered from the keyboard, with the position heard on
// one updating line. Without a device it writes the song to a WAV file.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "lumbo.h"
#include "option_values.h"
#include "output_file.h"
#include "song_source.h"
#include "wav_header.h"

namespace lumbo_tool {

namespace {

const char kPlayHelp[] =
    "Usage: lumbo play [--song 1|2 | FILE.xm] [--seconds S] [--rate HZ] [--no-fallback]\n"
    "\n"
    "Plays a module on the default audio output (16-bit stereo) as the library's\n"
    "device plays a host's player, and shows the order, row and time heard, the\n"
    "channels muted and the volume. Keys while it plays:\n"
    "\n"
    "  space         pause and resume\n"
    "  left, right   seek 5 seconds back or on\n"
    "  up, down      the next or previous order position, from its first row\n"
    "  1..9, 0       mute or unmute channels 1 to 10\n"
    "  +, -          volume up or down\n"
    "  q, Enter      stop (so does Ctrl-C)\n"
    "\n"
    "Without an audio device (a server, a container) it renders the song once\n"
    "through (to its loop point; 10 minutes for a song that never comes back)\n"
    "to a WAV file named after it, in the current directory or else the\n"
    "temporary directory, and says where.\n"
    "\n"
    "  --song N        play built-in song 1 (default) or 2\n"
    "  --seconds S     stop by itself after S seconds\n"
    "  --rate HZ       the device's rate, 8000 to 192000 (default 44100)\n"
    "  --no-fallback   without a device, fail (exit 3) rather than write a WAV file\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 played and stopped (or wrote the WAV file), 1 a file could not\n"
    "be read or written or memory ran short, 2 the module was rejected, 3 no audio\n"
    "output device (with --no-fallback), 64 wrong usage.\n";

constexpr int64_t kFallbackLimitSeconds = 600;
constexpr int32_t kVolumeStep = 16;

std::atomic<bool> interrupted{false};

void OnSignal(int) { interrupted = true; }

// Keys come one by one, without echo, while the song plays.
struct Terminal {
    bool    raw = false;
    termios saved{};
};

void EnterKeyMode(Terminal* terminal) {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &terminal->saved) != 0) return;
    termios keys = terminal->saved;
    keys.c_lflag &= ~tcflag_t(ICANON | ECHO);
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    terminal->raw = tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
}

void LeaveKeyMode(Terminal* terminal) {
    if (terminal->raw) tcsetattr(STDIN_FILENO, TCSANOW, &terminal->saved);
}

enum Key { kNone, kQuit, kPause, kLeft, kRight, kUp, kDown, kLouder, kSofter, kMute1 = 100 };

// Waits up to 100 ms for a key. Arrows come as ESC [ A..D. Standard input at
// its end gives no key (the song plays on until Ctrl-C or --seconds).
int ReadKey(bool* inputOpen) {
    if (!*inputOpen) {
        usleep(100000);
        return kNone;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 100) <= 0) return kNone;
    char key;
    const ssize_t got = read(STDIN_FILENO, &key, 1);
    if (got == 0) *inputOpen = false;
    if (got != 1) return kNone;
    if (key == 27) {
        char sequence[2] = {0, 0};
        if (read(STDIN_FILENO, sequence, 2) != 2 || sequence[0] != '[') return kNone;
        switch (sequence[1]) {
            case 'A': return kUp;
            case 'B': return kDown;
            case 'C': return kRight;
            case 'D': return kLeft;
        }
        return kNone;
    }
    if (key >= '1' && key <= '9') return kMute1 + (key - '1');
    switch (key) {
        case '0': return kMute1 + 9;
        case ' ': return kPause;
        case '+': case '=': return kLouder;
        case '-': case '_': return kSofter;
        case 'q': case 'Q': case '\n': case '\r': return kQuit;
    }
    return kNone;
}

// Starts the player on the device with standard error silenced: an audio
// library that finds no device may print its own complaints there.
int32_t PlayQuietly(lumbo_player* player) {
    fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int sink = open("/dev/null", O_WRONLY);
    if (saved >= 0 && sink >= 0) dup2(sink, STDERR_FILENO);
    const int32_t status = lumbo_play_player(player);
    if (saved >= 0 && sink >= 0) dup2(saved, STDERR_FILENO);
    if (sink >= 0) close(sink);
    if (saved >= 0) close(saved);
    return status;
}

std::string WavName(const SongSource& source) {
    if (source.embedded) return "song" + std::to_string(source.embedded) + ".wav";
    std::string name = source.path.substr(source.path.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return (name.empty() ? "song" : name) + ".wav";
}

bool WriteSongWav(lumbo_player* player, int32_t rate, const std::string& path, int64_t* frames) {
    OutputFile file;
    if (!OpenOutputFile(path, &file)) return false;
    uint8_t header[kWavHeaderBytes];
    FillWavHeader(header, 0, rate);
    bool ok = WriteOutput(&file, header, sizeof header);
    std::vector<int16_t> chunk(size_t(rate) * 2);
    const int64_t limit = kFallbackLimitSeconds * rate;
    *frames = 0;
    while (ok && *frames < limit) {
        const int64_t want = limit - *frames < rate ? limit - *frames : rate;
        const int64_t got = int64_t(lumbo_render(player, chunk.data(), size_t(want)));
        ok = WriteOutput(&file, chunk.data(), size_t(got) * 4);
        *frames += got;
        if (got < want) break;
    }
    FillWavHeader(header, *frames, rate);
    ok = ok && RewriteOutputStart(&file, header, sizeof header);
    if (!ok) {
        AbandonOutput(&file);
        return false;
    }
    return FinishOutput(&file);
}

// No device: the song once through into a WAV file, and one line saying so.
int WriteFallback(lumbo_player* player, const SongSource& source, int32_t rate) {
    lumbo_set_repeat(player, 0);
    const std::string name = WavName(source);
    std::string path = name;
    int64_t frames = 0;
    if (access(".", W_OK) != 0 || !WriteSongWav(player, rate, path, &frames)) {
        const char* temporary = getenv("TMPDIR");
        path = std::string(temporary && *temporary ? temporary : "/tmp") + "/" + name;
        lumbo_seek(player, 0);
        if (!WriteSongWav(player, rate, path, &frames)) return kExitFailure;
    }
    const int64_t tenths = frames * 10 / rate;
    printf("lumbo play: no audio device here; wrote the song to %s (%lld:%02lld.%lld, %d Hz): play it with "
           "any audio player, e.g. aplay %s\n",
           path.c_str(), (long long)(tenths / 600), (long long)(tenths / 10 % 60), (long long)(tenths % 10),
           int(rate), path.c_str());
    return kExitOk;
}

struct Steering {
    bool     paused = false;
    int32_t  volume = 256;
    uint32_t mutes = 0;
};

// Acts on one key; false for quit.
bool Steer(lumbo_player* player, int key, const lumbo_position& heard, int32_t rate, Steering* s) {
    lumbo_info info{};
    switch (key) {
        case kQuit: return false;
        case kPause:
            s->paused = !s->paused;
            lumbo_pause_playback(s->paused);
            break;
        case kLeft:
        case kRight: {
            const int64_t step = int64_t(5) * rate * (key == kLeft ? -1 : 1);
            const int64_t target = int64_t(heard.frame) + step;
            lumbo_seek(player, uint64_t(target < 0 ? 0 : target));
            break;
        }
        case kUp:
        case kDown:
            if (lumbo_player_info(player, &info)) {
                const int32_t order = heard.order + (key == kUp ? 1 : -1);
                if (order >= 0 && order < info.song_length) lumbo_jump(player, order, 0);
            }
            break;
        case kLouder:
        case kSofter:
            s->volume += key == kLouder ? kVolumeStep : -kVolumeStep;
            s->volume = s->volume < 0 ? 0 : s->volume > 256 ? 256 : s->volume;
            lumbo_set_volume(player, s->volume);
            break;
        default:
            if (key >= kMute1 && key < kMute1 + 10) {
                const int channel = key - kMute1;
                s->mutes ^= 1u << channel;
                lumbo_set_channel_mute(player, channel, int32_t(s->mutes >> channel & 1));
            }
    }
    return true;
}

void ShowStatus(const lumbo_position& heard, int32_t rate, const Steering& s) {
    const int64_t tenths = int64_t(heard.frame) * 10 / rate;
    std::string mutes;
    for (int channel = 0; channel < 10; ++channel) {
        if (s.mutes >> channel & 1) mutes += (mutes.empty() ? " muted " : ",") + std::to_string(channel + 1);
    }
    printf("\r  order %3d  row %3d  %3lld:%02lld.%lld  volume %3d%s%s\033[K", heard.order, heard.row,
           (long long)(tenths / 600), (long long)(tenths / 10 % 60), (long long)(tenths % 10), s.volume,
           mutes.c_str(), s.paused ? "  paused" : "");
    fflush(stdout);
}

}  // namespace

int PlayCommand(int argc, char** argv) {
    SongSource source{"", 1};
    double seconds = -1;
    int32_t rate = kDefaultRate;
    bool noFallback = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            fputs(kPlayHelp, stdout);
            return kExitOk;
        } else if (arg == "--rate" && i + 1 < argc) {
            if (!ParseRate(argv[++i], &rate)) {
                fprintf(stderr, "lumbo play: --rate wants a whole 8000 to 192000, not %s\n", argv[i]);
                return kExitUsage;
            }
        } else if (arg == "--no-fallback") {
            noFallback = true;
        } else if ((arg == "--song" || arg == "--seconds") && i + 1 < argc) {
            std::string value = argv[++i];
            char* end = nullptr;
            double number = strtod(value.c_str(), &end);
            bool whole = !value.empty() && *end == 0;
            if (arg == "--song") {
                if (!whole || (number != 1 && number != 2)) {
                    fprintf(stderr, "lumbo play: --song wants 1 or 2, not %s\n", value.c_str());
                    return kExitUsage;
                }
                source = {"", int(number)};
            } else {
                if (!whole || !(number >= 0)) {
                    fprintf(stderr, "lumbo play: --seconds wants a number of seconds, not %s\n", value.c_str());
                    return kExitUsage;
                }
                seconds = number;
            }
        } else if (!arg.empty() && arg[0] != '-' && source.path.empty()) {
            source = {arg, 0};
        } else {
            fprintf(stderr, "lumbo play: unexpected argument '%s'\nTry 'lumbo play --help'.\n", arg.c_str());
            return kExitUsage;
        }
    }

    std::vector<uint8_t> bytes;
    if (!ReadSongBytes(source, &bytes)) return kExitFailure;
    int32_t status = LUMBO_OK;
    lumbo_player* player = lumbo_load_at(bytes.data(), bytes.size(), rate, &status);
    const char* name = source.embedded ? (source.embedded == 1 ? "song 1" : "song 2") : source.path.c_str();
    if (!player) {
        fprintf(stderr, "lumbo: %s: %s\n", name, lumbo_status_text(status));
        return status == LUMBO_OUT_OF_MEMORY ? kExitFailure : kExitRejected;
    }
    status = PlayQuietly(player);
    if (status != LUMBO_OK) {
        int exitStatus = kExitFailure;
        if (status == LUMBO_OUT_OF_MEMORY) {
            fprintf(stderr, "lumbo play: out of memory\n");
        } else if (noFallback) {
            fprintf(stderr, "lumbo play: no audio output device could be opened; try `lumbo render`\n");
            exitStatus = kExitNoDevice;
        } else {
            exitStatus = WriteFallback(player, source, rate);
        }
        lumbo_free(player);
        return exitStatus;
    }
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    Terminal terminal;
    EnterKeyMode(&terminal);
    const bool showPosition = isatty(STDOUT_FILENO);
    printf("playing %s; space pauses, arrows seek and move, 1-0 mute, +/- volume, q stops\n", name);
    Steering steering;
    bool inputOpen = true;
    while (!interrupted) {
        lumbo_position heard;
        if (!lumbo_heard_position(&heard)) break;   // the end heard
        if (showPosition) ShowStatus(heard, rate, steering);
        if (seconds >= 0 && int64_t(heard.frame) >= int64_t(seconds * rate)) break;
        if (!Steer(player, ReadKey(&inputOpen), heard, rate, &steering)) break;
    }
    lumbo_free(player);   // ends the playback
    stop(0, 0, 0, 0, 0, 0);
    LeaveKeyMode(&terminal);
    printf(showPosition ? "\nstopped\n" : "stopped\n");
    return kExitOk;
}

}  // namespace lumbo_tool
