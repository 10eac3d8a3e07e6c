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

#include "commands.h"
#include "control/control_player.h"
#include "lumbo.h"
#include "option_values.h"
#include "song_source.h"

namespace lumbo_tool {

namespace {

const char kPlayHelp[] =
    "Usage: lumbo play [--song 1|2 | FILE.xm] [--seconds S] [--rate HZ]\n"
    "\n"
    "Plays a module on the default audio output (16-bit stereo), the same way the\n"
    "library's play and stop do, and shows the order, row and time heard. Stop\n"
    "with Enter, q or Ctrl-C.\n"
    "\n"
    "  --song N      play built-in song 1 (default) or 2\n"
    "  --seconds S   stop by itself after S seconds\n"
    "  --rate HZ     the device's rate, 8000 to 192000 (default 44100)\n"
    "  -h, --help    show this help\n"
    "\n"
    "Exit status: 0 played and stopped, 1 a file could not be read or memory ran\n"
    "short, 2 the module was rejected, 3 no audio output device, 64 wrong usage.\n";

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
    int32_t rate = kDefaultRate;
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

    int status = kExitOk;
    lumbo::Song* song = LoadSongSource(source, &status);
    if (!song) return status;
    // The library's start sequence, which takes the song over; the heard
    // position and stop are the public ones a host uses.
    switch (lumbo::PlaySong(song, rate)) {
        case lumbo::StartResult::Playing: break;
        case lumbo::StartResult::OutputUnavailable:
            fprintf(stderr, "lumbo play: no audio output device could be opened; try `lumbo render`\n");
            return kExitNoDevice;
        case lumbo::StartResult::OutOfMemory:
            fprintf(stderr, "lumbo play: out of memory\n");
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
        const int64_t tenths = int64_t(heard.frame) * 10 / rate;
        if (showPosition) printf("\r  order %3d  row %3d  %3lld:%02lld.%lld ", heard.order, heard.row,
               (long long)(tenths / 600), (long long)(tenths / 10 % 60), (long long)(tenths % 10));
        fflush(stdout);
        if (seconds >= 0 && int64_t(heard.frame) >= int64_t(seconds * rate)) break;
    }
    stop(0, 0, 0, 0, 0, 0);
    LeaveKeyMode(&terminal);
    printf(showPosition ? "\nstopped\n" : "stopped\n");
    return kExitOk;
}

}  // namespace lumbo_tool
