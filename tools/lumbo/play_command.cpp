// lumbo play: plays a module on the audio output through the library's own
// start and stop sequences, with the song position on one updating line.
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
#include "song_source.h"

namespace lumbo_tool {

namespace {

const char kPlayHelp[] =
    "Usage: lumbo play [--song 1|2 | FILE.xm] [--seconds S]\n"
    "\n"
    "Plays a module on the default audio output (44100 Hz, 16-bit, stereo), the\n"
    "same way the library's play and stop do, and shows the order, row and time\n"
    "heard. Stop with Enter, q or Ctrl-C.\n"
    "\n"
    "  --song N      play built-in song 1 (default) or 2\n"
    "  --seconds S   stop by itself after S seconds\n"
    "  -h, --help    show this help\n"
    "\n"
    "Exit status: 0 played and stopped, 1 a file could not be read or memory ran\n"
    "short, 2 the module was rejected, 3 no audio output device, 64 wrong usage.\n";

constexpr int32_t kRate = 44100;

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

// Waits up to 100 ms for a key; true when it asks to stop. Standard input at
// its end stops nothing (the song plays on until Ctrl-C or --seconds).
bool StopKey(bool* inputOpen) {
    if (!*inputOpen) {
        usleep(100000);
        return false;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 100) <= 0) return false;
    char key;
    ssize_t got = read(STDIN_FILENO, &key, 1);
    if (got == 0) *inputOpen = false;
    return got == 1 && (key == '\n' || key == '\r' || key == 'q' || key == 'Q');
}

}  // namespace

int PlayCommand(int argc, char** argv) {
    SongSource source{"", 1};
    double seconds = -1;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            fputs(kPlayHelp, stdout);
            return kExitOk;
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

    // Loaded once here for its errors and warnings; the library loads its
    // own copy.
    int status = kExitOk;
    lumbo::Song* song = LoadSongSource(source, &status);
    if (!song) return status;
    lumbo::FreeSong(song);
    std::vector<uint8_t> bytes;
    if (!ReadSongBytes(source, &bytes)) return kExitFailure;

    // Through the library's public entry, as a host would.
    const int32_t started = lumbo_play_module(bytes.data(), bytes.size());
    if (started != LUMBO_OK) {
        if (started == LUMBO_NO_OUTPUT) {
            fprintf(stderr, "lumbo play: no audio output device could be opened; try `lumbo render`\n");
            return kExitNoDevice;
        }
        fprintf(stderr, "lumbo play: %s\n", lumbo_status_text(started));
        return kExitFailure;
    }
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    Terminal terminal;
    EnterKeyMode(&terminal);
    const char* name = source.embedded ? (source.embedded == 1 ? "song 1" : "song 2") : source.path.c_str();
    bool showPosition = isatty(STDOUT_FILENO);
    printf("playing %s; Enter or q stops\n", name);

    bool inputOpen = true;
    while (!interrupted && !StopKey(&inputOpen)) {
        lumbo_position heard;
        if (!lumbo_heard_position(&heard)) break;
        const int64_t tenths = int64_t(heard.frame) * 10 / kRate;
        if (showPosition) printf("\r  order %3d  row %3d  %3lld:%02lld.%lld ", heard.order, heard.row,
               (long long)(tenths / 600), (long long)(tenths / 10 % 60), (long long)(tenths % 10));
        fflush(stdout);
        if (seconds >= 0 && int64_t(heard.frame) >= int64_t(seconds * kRate)) break;
    }
    stop(0, 0, 0, 0, 0, 0);
    LeaveKeyMode(&terminal);
    printf(showPosition ? "\nstopped\n" : "stopped\n");
    return kExitOk;
}

}  // namespace lumbo_tool
