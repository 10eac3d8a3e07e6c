// lumbo: plays and renders XM modules with the lumbo engine.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

using lumbo_tool::kExitOk;
using lumbo_tool::kExitUsage;

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const Command kCommands[] = {
    {"play", lumbo_tool::PlayCommand, "play a module on the audio output"},
    {"render", lumbo_tool::RenderCommand, "render a module to a WAV or raw PCM file"},
    {"info", lumbo_tool::InfoCommand, "show a module's facts, its length to the loop point, and warnings"},
};

void PrintHelp(FILE* out) {
    fprintf(out,
            "Usage: lumbo COMMAND [ARGS...]\n"
            "       lumbo --help | --version\n"
            "\n"
            "Plays and renders XM modules with the lumbo engine (16-bit stereo, 44100 Hz\n"
            "unless --rate says otherwise).\n"
            "\n"
            "Commands:\n");
    for (const Command& c : kCommands) fprintf(out, "  %-8s %s\n", c.name, c.summary);
    fprintf(out,
            "\n"
            "Run 'lumbo COMMAND --help' for a command's options.\n"
            "\n"
            "Exit status: 0 success, 1 a file could not be read or written,\n"
            "2 the module was rejected, 3 no audio output device (play), 64 wrong usage.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const char* name = argv[1];
    if (strcmp(name, "--help") == 0 || strcmp(name, "-h") == 0 || strcmp(name, "help") == 0) {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (strcmp(name, "--version") == 0) {
        printf("lumbo %s\n", LUMBO_VERSION);
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (strcmp(name, c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    fprintf(stderr, "lumbo: unknown command '%s'\nTry 'lumbo --help'.\n", name);
    return kExitUsage;
}
