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
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commands.h"
#include "control/control_player.h"
#include "data/songs.h"
#include "output/offline_render.h"
#include "output/output_device.h"
#include "output/output_ring.h"
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

// Where the song stood at a given output frame.
struct PositionMark {
    int64_t frame;
    int32_t order;
    int32_t row;
};

// The rows of the first ring are rendered before anything is heard: trace
// them with an offline render of the same song, block by block.
void TraceFirstRing(lumbo::Song* song, std::deque<PositionMark>* marks) {
    if (!lumbo::BeginOfflineRender(song, kRate)) return;
    int32_t blockFrames = lumbo::outputRing.blockFrames;
    int32_t blocks = lumbo::outputRing.ringFrames / blockFrames;
    std::vector<int16_t> scratch(size_t(blockFrames) * 2);
    marks->push_back({0, 0, 0});
    for (int32_t b = 0; b < blocks; ++b) {
        if (!lumbo::RenderOfflineFrames(scratch.data(), blockFrames)) break;
        marks->push_back({int64_t(b + 1) * blockFrames, song->orderPosition, song->row});
    }
    lumbo::EndOfflineRender();
}

bool ReadImage(const SongSource& source, std::vector<uint8_t>* image) {
    std::ifstream file(source.path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) return false;
    uint32_t length = uint32_t(bytes.size());
    image->assign({uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)});
    image->insert(image->end(), bytes.begin(), bytes.end());
    return true;
}

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

int32_t Relaxed(const int32_t& value) { return __atomic_load_n(&value, __ATOMIC_RELAXED); }

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

    // The song is loaded once here, for its errors and its first two seconds'
    // rows, and again by the start sequence.
    int status = kExitOk;
    lumbo::Song* song = LoadSongSource(source, &status);
    if (!song) return status;
    std::deque<PositionMark> marks;
    TraceFirstRing(song, &marks);
    lumbo::FreeSong(song);
    std::vector<uint8_t> fileImage;
    const lumbo::ModuleImage* image = source.embedded == 2 ? lumbo::secondSongImage : lumbo::firstSongImage;
    if (source.embedded == 0) {
        if (!ReadImage(source, &fileImage)) {
            fprintf(stderr, "lumbo play: %s: cannot read\n", source.path.c_str());
            return kExitFailure;
        }
        image = fileImage.data();
    }

    if (!lumbo::ControlPlayer(image)) {
        bool noDevice = lumbo::outputDevice.waveDevice == nullptr;
        lumbo::ControlPlayer(nullptr);
        if (noDevice) {
            fprintf(stderr, "lumbo play: no audio output device could be opened; try `lumbo render`\n");
            return kExitNoDevice;
        }
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

    const lumbo::Song* playing = lumbo::currentSong;
    int32_t blockFrames = lumbo::outputRing.blockFrames;
    int32_t ringFrames = lumbo::outputRing.ringFrames;
    uint32_t lastBytes = 0;
    int64_t playedBytes = 0;
    bool inputOpen = true;
    while (!interrupted && !StopKey(&inputOpen)) {
        uint32_t bytes = lumbo::WaveOutGetPosition(lumbo::outputDevice.waveDevice);
        playedBytes += uint32_t(bytes - lastBytes);
        lastBytes = bytes;
        int64_t frame = playedBytes / 4;
        // The song stands where the rendered audio ends: one ring ahead of
        // the block being heard.
        if (frame > 0) {
            marks.push_back({frame / blockFrames * blockFrames + ringFrames, Relaxed(playing->orderPosition),
                             Relaxed(playing->row)});
        }
        while (marks.size() > 1 && marks[1].frame <= frame) marks.pop_front();
        int64_t tenths = frame * 10 / kRate;
        if (showPosition) printf("\r  order %3d  row %3d  %3lld:%02lld.%lld ", marks.front().order, marks.front().row,
               (long long)(tenths / 600), (long long)(tenths / 10 % 60), (long long)(tenths % 10));
        fflush(stdout);
        if (seconds >= 0 && frame >= int64_t(seconds * kRate)) break;
    }
    lumbo::ControlPlayer(nullptr);
    LeaveKeyMode(&terminal);
    printf(showPosition ? "\nstopped\n" : "stopped\n");
    return kExitOk;
}

}  // namespace lumbo_tool
