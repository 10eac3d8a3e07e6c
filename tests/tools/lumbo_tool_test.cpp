// The lumbo program, run as a user runs it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/songs.h"
#include "output/offline_render.h"
#include "output/output_size.h"
#include "support/song_fixture.h"
#include "support/xm_writer.h"

namespace {

// The engine's own render, to compare the tool's output with.
lumbo::Stream& ToolStream() {
    static lumbo::Stream* stream = new lumbo::Stream();
    return *stream;
}

}  // namespace

namespace {

struct ToolRun {
    int status;          // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// A small module: one 16-bit looped sample and a few notes at speed 6 and
// tempo 125, so every tick is 882 frames long.
xm::Module SmallModule() {
    xm::Module m;
    m.channels = 2;
    m.orders = {0};
    xm::Pattern& p = m.AddPattern(16);
    p.At(0, 0) = {49, 1, 0, 0, 0};      // C-4
    p.At(4, 1) = {56, 1, 0x30, 0, 0};   // G-4 at volume 32
    p.At(8, 0) = {xm::kKeyOff, 0, 0, 0, 0};
    xm::Instrument& ins = m.AddInstrument();
    std::vector<int16_t> frames(256);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = int16_t(i < 128 ? 12000 : -12000);
    ins.samples.push_back(xm::Sample::Pcm16(frames).Loop(0, 256, 1));
    return m;
}

class LumboTool : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumbo-tool-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        module = dir + "/song.xm";
        WriteFile(module, xm::Write(SmallModule()));
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }

    ToolRun Lumbo(const std::vector<std::string>& args) {
        const std::string outPath = dir + "/.stdout", errPath = dir + "/.stderr";
        pid_t pid = fork();
        if (pid == 0) {
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(open("/dev/null", O_RDONLY), 0);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(LUMBO_TOOL));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(LUMBO_TOOL, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(outPath), ReadFile(errPath)};
        unlink(outPath.c_str());
        unlink(errPath.c_str());
        return run;
    }

    // Names in the test directory other than the module and the given files.
    std::vector<std::string> StrayFiles(std::vector<std::string> expected) {
        expected.push_back("song.xm");
        std::vector<std::string> stray;
        DIR* d = opendir(dir.c_str());
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            bool known = false;
            for (const std::string& x : expected) known = known || x == name;
            if (!known) stray.push_back(name);
        }
        closedir(d);
        return stray;
    }

    // The module's first frames as the engine renders them, as file bytes.
    std::string EngineBytes(int64_t frames) {
        lumbo_test::SongPtr song = lumbo_test::Load(SmallModule());
        std::vector<int16_t> pcm(size_t(frames) * 2);
        EXPECT_TRUE(lumbo::BeginOfflineRender(ToolStream(), song.get(), lumbo::kOutputRate));
        EXPECT_TRUE(lumbo::RenderOfflineFrames(ToolStream(), pcm.data(), frames));
        lumbo::EndOfflineRender(ToolStream());
        return std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2);
    }

    std::string dir;
    std::string module;
};

uint32_t Le32(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}
uint16_t Le16(const std::string& bytes, size_t at) {
    return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
}

// A trace line: the song part, then one part per channel, then voices.
bool HasTraceShape(const std::string& line, int channels) {
    std::vector<std::string> parts;
    for (size_t from = 0;;) {
        size_t bar = line.find(" | ", from);
        parts.push_back(line.substr(from, bar - from));
        if (bar == std::string::npos) break;
        from = bar + 3;
    }
    if (int(parts.size()) < 1 + channels) return false;
    int used = -1;
    sscanf(parts[0].c_str(), "T%*u f=%*u o=%*u r=%*u t=%*u spt=%*u gv=%*u%n", &used);
    if (used != int(parts[0].size())) return false;
    for (int i = 1; i <= channels; ++i) {
        std::string format = "C" + std::to_string(i - 1) +
                             " p=%*d po=%*d v=%*d ve=%*d fo=%*d pan=%*d uf=%2[0-9a-f] vi=%*u%n";
        used = -1;
        char hex[3] = {};
        sscanf(parts[i].c_str(), format.c_str(), hex, &used);
        if (used != int(parts[i].size()) || strlen(hex) != 2) return false;
    }
    for (size_t i = 1 + channels; i < parts.size(); ++i) {
        used = -1;
        char fraction[9] = {}, stepFraction[9] = {};
        sscanf(parts[i].c_str(), "V%*u pos=%*d.%8[0-9a-f] d=%*u st=%*d.%8[0-9a-f] tl=%*d tr=%*d%n", fraction,
               stepFraction, &used);
        if (used != int(parts[i].size()) || strlen(fraction) != 8 || strlen(stepFraction) != 8) return false;
    }
    return true;
}

}  // namespace

TEST_F(LumboTool, WavFileHoldsHeaderAndTheEngineFrames) {
    ToolRun run = Lumbo({"render", module, "-o", dir + "/out.wav", "--seconds", "0.5"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::string wav = ReadFile(dir + "/out.wav");
    ASSERT_EQ(wav.size(), 44u + 22050u * 4);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(wav, 4), 36u + 88200u);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le32(wav, 16), 16u);
    EXPECT_EQ(Le16(wav, 20), 1);        // PCM
    EXPECT_EQ(Le16(wav, 22), 2);        // stereo
    EXPECT_EQ(Le32(wav, 24), 44100u);
    EXPECT_EQ(Le32(wav, 28), 176400u);
    EXPECT_EQ(Le16(wav, 32), 4);
    EXPECT_EQ(Le16(wav, 34), 16);
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(Le32(wav, 40), 88200u);
    EXPECT_TRUE(wav.substr(44) == EngineBytes(22050));
    EXPECT_TRUE(StrayFiles({"out.wav"}).empty());
}

// Headerless output for .raw files and standard output; round(S x 44100) frames.
TEST_F(LumboTool, RawAndStandardOutputHoldTheFramesAsked) {
    struct Case {
        const char* seconds;
        size_t      frames;
    };
    const Case cases[] = {{"1", 44100}, {"0.0001", 4}, {"0.001", 44}, {"0.00102", 45}, {"0", 0}, {"0.02", 882}};
    const std::string reference = EngineBytes(44100);
    for (const Case& c : cases) {
        ToolRun toFile = Lumbo({"render", module, "-o", dir + "/out.raw", "--seconds", c.seconds});
        ASSERT_EQ(toFile.status, 0) << toFile.err;
        std::string raw = ReadFile(dir + "/out.raw");
        EXPECT_EQ(raw.size(), c.frames * 4) << c.seconds;
        EXPECT_TRUE(raw == reference.substr(0, c.frames * 4)) << c.seconds;
        ToolRun toStdout = Lumbo({"render", "--seconds=" + std::string(c.seconds), module, "-o", "-"});
        ASSERT_EQ(toStdout.status, 0) << toStdout.err;
        EXPECT_TRUE(toStdout.out == raw) << c.seconds;
    }
}

// The songs built into the library, rendered as playback plays them.
TEST_F(LumboTool, BuiltInSongs) {
    struct Case {
        const char*               number;
        const lumbo::ModuleImage* image;
    };
    for (const Case& c : {Case{"1", lumbo::firstSongImage}, Case{"2", lumbo::secondSongImage}}) {
        ToolRun run = Lumbo({"render", "--song", c.number, "-o", "-", "--seconds", "0.25"});
        ASSERT_EQ(run.status, 0) << run.err;
        lumbo::Song* song = lumbo::LoadSong(c.image);
        ASSERT_NE(song, nullptr);
        std::vector<int16_t> pcm(11025 * 2);
        ASSERT_TRUE(lumbo::BeginOfflineRender(ToolStream(), song, lumbo::kOutputRate));
        ASSERT_TRUE(lumbo::RenderOfflineFrames(ToolStream(), pcm.data(), 11025));
        lumbo::EndOfflineRender(ToolStream());
        lumbo::FreeSong(song);
        EXPECT_TRUE(run.out == std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2)) << c.number;
    }
}

TEST_F(LumboTool, TraceWritesOneLinePerTick) {
    ToolRun run = Lumbo({"render", module, "-o", dir + "/out.raw", "--seconds", "0.1", "--trace"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    std::istringstream err(run.err);
    for (std::string line; std::getline(err, line);) lines.push_back(line);
    // 4410 frames: ticks of 882 frames start at 0, 882, 1764, 2646 and 3528.
    ASSERT_EQ(lines.size(), 5u) << run.err;
    for (size_t k = 0; k < lines.size(); ++k) {
        EXPECT_TRUE(HasTraceShape(lines[k], 2)) << lines[k];
        std::string head = "T" + std::to_string(k) + " f=" + std::to_string(882 * k) + " o=0 r=0 t=" +
                           std::to_string(k) + " spt=882 gv=64 | C0 p=4608 ";
        EXPECT_EQ(lines[k].compare(0, head.size(), head), 0) << lines[k];
    }
    // C-4 on channel 0 sounds in voice 0 from the first tick; channel 1 is silent.
    EXPECT_NE(lines[0].find(" | V0 pos=0.00000000 d=1 st="), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find(" | V1 "), std::string::npos) << lines[0];
}

TEST_F(LumboTool, RejectedOrUnreadableModules) {
    std::vector<uint8_t> good = xm::Write(SmallModule());
    std::vector<uint8_t> badSignature = good;
    badSignature[9] = 'X';
    WriteFile(dir + "/bad.xm", badSignature);
    // Cut inside the header: the song length reads as 0. (A module cut after
    // its header loads, with what is missing read as absent, and plays.)
    WriteFile(dir + "/short.xm", std::vector<uint8_t>(good.begin(), good.begin() + 62));
    WriteFile(dir + "/tiny.xm", std::vector<uint8_t>(good.begin(), good.begin() + 10));
    WriteFile(dir + "/empty.xm", {});
    mkdir((dir + "/folder.xm").c_str(), 0755);
    struct Case {
        std::string file;
        int         status;
        std::string message;
    };
    const Case cases[] = {
        {"bad.xm", 2, "lumbo: " + dir + "/bad.xm: not an XM module (bad signature)\n"},
        {"short.xm", 2, "lumbo: " + dir + "/short.xm: song length 0; it must be 1 to 256\n"},
        {"tiny.xm", 2, "lumbo: " + dir + "/tiny.xm: not an XM module (bad signature)\n"},
        {"empty.xm", 2, "lumbo: " + dir + "/empty.xm: empty file\n"},
        {"folder.xm", 1, "lumbo: " + dir + "/folder.xm: Is a directory\n"},
        {"missing.xm", 1, "lumbo: " + dir + "/missing.xm: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        ToolRun run = Lumbo({"render", dir + "/" + c.file, "-o", dir + "/out.wav"});
        EXPECT_EQ(run.status, c.status) << c.file;
        EXPECT_EQ(run.err, c.message) << c.file;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(Exists(dir + "/out.wav")) << c.file;
    }
    EXPECT_TRUE(StrayFiles({"bad.xm", "short.xm", "tiny.xm", "empty.xm", "folder.xm"}).empty());
}

// A failed run leaves an existing output as it was and no partial file.
TEST_F(LumboTool, FailureLeavesOutputsAlone) {
    WriteFile(dir + "/out.wav", {'o', 'l', 'd'});
    WriteFile(dir + "/bad.xm", {'n', 'o', 't', ' ', 'x', 'm'});
    ToolRun run = Lumbo({"render", dir + "/bad.xm", "-o", dir + "/out.wav"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(ReadFile(dir + "/out.wav"), "old");

    mkdir((dir + "/sub").c_str(), 0755);
    struct Case {
        std::string output;
        std::string message;
    };
    const Case cases[] = {
        {dir + "/sub", "lumbo: " + dir + "/sub: Is a directory\n"},
        {dir + "/nowhere/out.wav", "lumbo: " + dir + "/nowhere/out.wav: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        ToolRun unwritable = Lumbo({"render", module, "-o", c.output, "--seconds", "0.1"});
        EXPECT_EQ(unwritable.status, 1) << c.output;
        EXPECT_EQ(unwritable.err, c.message);
    }
    EXPECT_TRUE(StrayFiles({"out.wav", "bad.xm", "sub"}).empty());

    // A successful run replaces it.
    ASSERT_EQ(Lumbo({"render", module, "-o", dir + "/out.wav", "--seconds", "0.1"}).status, 0);
    EXPECT_EQ(ReadFile(dir + "/out.wav").size(), 44u + 4410u * 4);
}

TEST_F(LumboTool, UsageErrorsAndHelp) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"dance"},
        {"render"},
        {"render", module},
        {"render", "-o", "x.wav"},
        {"render", module, "-o"},
        {"render", module, "-o", "x.wav", "--seconds", "-1"},
        {"render", module, "-o", "x.wav", "--seconds", "soon"},
        {"render", module, "-o", "x.wav", "--seconds", "nan"},
        {"render", module, "-o", "x.wav", "--loud"},
        {"render", module, module, "-o", "x.wav"},
        {"render", "--song", "3", "-o", "x.wav"},
        {"render", "--song", "1", module, "-o", "x.wav"},
        {"render", module, "-o", "x.wav", "--seconds", "100000"},   // more than a WAV file holds
        {"render", module, "-o", "x.wav", "--rate", "7999"},
        {"render", module, "-o", "x.wav", "--rate", "192001"},
        {"render", module, "-o", "x.wav", "--rate", "44.1"},
        {"render", module, "-o", "x.wav", "--repeat", "-2"},
        {"render", module, "-o", "x.wav", "--repeat", "once"},
        {"render", module, "-o", "x.wav", "--from", "-1"},
        {"render", module, "-o", "x.wav", "--from", "1:"},
        {"render", module, "-o", "x.wav", "--from", "1:2:3"},
        {"render", module, "-o", "x.wav", "--from", "1e3"},
        {"render", module, "-o", "x.wav", "--from", "0.1234567891"},   // finer than a nanosecond
        {"render", module, "-o", "x.wav", "--mute", "32"},
        {"render", module, "-o", "x.wav", "--mute", "3-1"},
        {"render", module, "-o", "x.wav", "--mute", "1,,2"},
        {"render", module, "-o", "x.wav", "--mute", ""},
    };
    for (const auto& args : wrong) {
        ToolRun run = Lumbo(args);
        EXPECT_EQ(run.status, 64) << (args.empty() ? "" : args.back());
        EXPECT_NE(run.err, "");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(Exists("x.wav"));

    ToolRun help = Lumbo({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: lumbo COMMAND"), std::string::npos);
    EXPECT_NE(help.out.find("render"), std::string::npos);
    ToolRun renderHelp = Lumbo({"render", "--help"});
    EXPECT_EQ(renderHelp.status, 0);
    EXPECT_NE(renderHelp.out.find("Usage: lumbo render FILE.xm -o OUT"), std::string::npos);
    ToolRun version = Lumbo({"--version"});
    EXPECT_EQ(version.status, 0);
    int major = -1, minor = -1, patch = -1, used = 0;
    sscanf(version.out.c_str(), "lumbo %d.%d.%d\n%n", &major, &minor, &patch, &used);
    EXPECT_TRUE(patch >= 0 && size_t(used) == version.out.size()) << version.out;
}

// SDL is loaded when a device opens, not at start-up: rendering and inspecting
// work without SDL's libraries and without paying for them.
TEST_F(LumboTool, LoadsSdlOnlyToPlay) {
    // The dynamic loader names each library it maps, needed or opened later,
    // in a file of its own (play silences standard error while it opens the
    // device).
    setenv("LD_DEBUG", "files", 1);
    setenv("LD_DEBUG_OUTPUT", (dir + "/ld").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    struct Case {
        std::vector<std::string> args;
        bool                     loadsSdl;
    };
    const Case cases[] = {
        {{"--version"}, false},
        {{"--help"}, false},
        {{"info", module}, false},
        {{"render", "--song", "1", "--seconds", "1", "-o", "-"}, false},
        {{"play", "--song", "1", "--seconds", "0.1"}, true},   // the loader's trace does show a load
    };
    for (const Case& c : cases) {
        ToolRun run = Lumbo(c.args);
        EXPECT_EQ(run.status, 0) << c.args[0] << run.err;
        ASSERT_EQ(system(("cat '" + dir + "'/ld.* > '" + dir + "/trace'; rm -f '" + dir + "'/ld.*").c_str()), 0);
        EXPECT_EQ(ReadFile(dir + "/trace").find("file=libSDL2") != std::string::npos, c.loadsSdl) << c.args[0];
    }
    unsetenv("LD_DEBUG");
    unsetenv("LD_DEBUG_OUTPUT");

    // An SDL that does not load is no device, as on a machine without sound.
    WriteFile(dir + "/libSDL2-2.0.so.0", {});
    const char* searched = getenv("LD_LIBRARY_PATH");
    const std::string saved = searched ? searched : "";
    setenv("LD_LIBRARY_PATH", (dir + (searched ? ":" + saved : "")).c_str(), 1);
    ToolRun play = Lumbo({"play", "--song", "1", "--seconds", "0.1", "--no-fallback"});
    if (searched) setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
    else unsetenv("LD_LIBRARY_PATH");
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_EQ(play.status, 3);
    EXPECT_NE(play.err.find("no audio output device"), std::string::npos) << play.err;
}

namespace {

// SmallModule at any rate: 16 rows of 6 ticks of rate x 2.5 / 125 frames.
int64_t SongFrames(int64_t rate) { return 16 * 6 * rate / 50; }

// What a WAV file says of itself: its rate and the frames its data holds,
// after checking that its sizes agree with each other and with the file.
struct WavFacts {
    uint32_t rate;
    size_t   frames;
};
WavFacts ReadWavFacts(const std::string& wav) {
    EXPECT_GE(wav.size(), 44u);
    if (wav.size() < 44) return {0, 0};
    EXPECT_EQ(Le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(Le32(wav, 40), wav.size() - 44);
    EXPECT_EQ(Le32(wav, 28), Le32(wav, 24) * 4);
    return {Le32(wav, 24), (wav.size() - 44) / 4};
}

}  // namespace

// Without --seconds the song plays once to its loop point; --repeat and
// --seconds end it, whichever comes first; every stream is the start of the
// endless one.
TEST_F(LumboTool, LengthFollowsRepeatSecondsAndRate) {
    struct Case {
        std::vector<std::string> args;
        int32_t                  rate;
        int64_t                  frames;
    };
    const Case cases[] = {
        {{}, 44100, SongFrames(44100)},
        {{"--repeat", "1"}, 44100, 2 * SongFrames(44100)},
        {{"--repeat", "0", "--seconds", "10"}, 44100, SongFrames(44100)},
        {{"--repeat", "0", "--seconds", "1"}, 44100, 44100},
        {{"--rate", "48000"}, 48000, SongFrames(48000)},
        {{"--rate=8000", "--repeat", "2"}, 8000, 3 * SongFrames(8000)},
    };
    for (const Case& c : cases) {
        const std::string rate = std::to_string(c.rate);
        ToolRun endless = Lumbo({"render", module, "-o", "-", "--rate", rate, "--seconds", "6"});
        ASSERT_EQ(endless.status, 0) << endless.err;
        std::vector<std::string> args = {"render", module, "-o", dir + "/out.wav"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolRun run = Lumbo(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::string wav = ReadFile(dir + "/out.wav");
        const WavFacts facts = ReadWavFacts(wav);
        EXPECT_EQ(facts.rate, uint32_t(c.rate)) << args.back();
        EXPECT_EQ(facts.frames, size_t(c.frames)) << args.back();
        EXPECT_TRUE(wav.substr(44) == endless.out.substr(0, size_t(c.frames) * 4)) << args.back();
        args[3] = "-";
        EXPECT_TRUE(Lumbo(args).out == wav.substr(44)) << args.back();
    }
    // A pipe cannot be rewound: its header is right from the start.
    ASSERT_EQ(mkfifo((dir + "/pipe.wav").c_str(), 0600), 0);
    const std::string command = "cat '" + dir + "/pipe.wav' > '" + dir + "/copy.wav' & '" + LUMBO_TOOL +
                                "' render '" + module + "' -o '" + dir + "/pipe.wav' --repeat 1; wait";
    ASSERT_EQ(system(command.c_str()), 0);
    ASSERT_EQ(Lumbo({"render", module, "-o", dir + "/out.wav", "--repeat", "1"}).status, 0);
    EXPECT_TRUE(ReadFile(dir + "/copy.wav") == ReadFile(dir + "/out.wav"));
}

// --from gives the tail of the render from the start, bit for bit.
TEST_F(LumboTool, FromStartsAtTheTimeOrRowAsked) {
    struct Case {
        std::vector<std::string> args;
        int32_t                  rate;
        int64_t                  first;   // frame of the full render the output starts at
        int64_t                  frames;
    };
    const int64_t song = SongFrames(44100), row = 6 * 882;
    const Case cases[] = {
        {{"--from", "0.35", "--seconds", "1"}, 44100, 15435, 44100},   // not 15434, as 0.35 x 44100 in doubles
        {{"--from", "0.35"}, 44100, 15435, song - 15435},              // to the loop point
        {{"--from", "1.92"}, 44100, song, 0},                          // exactly the end
        {{"--from", "2", "--seconds", "0.5"}, 44100, 88200, 22050},    // looping on
        {{"--from", "0:4"}, 44100, 4 * row, song - 4 * row},
        {{"--from=0:15", "--repeat", "1"}, 44100, 15 * row, song + row},
        {{"--from", "0.29", "--rate", "48000", "--seconds", "0.5"}, 48000, 13920, 24000},
    };
    for (const Case& c : cases) {
        ToolRun full = Lumbo({"render", module, "-o", "-", "--rate", std::to_string(c.rate), "--seconds", "4"});
        ASSERT_EQ(full.status, 0) << full.err;
        std::vector<std::string> args = {"render", module, "-o", "-"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolRun run = Lumbo(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.size(), size_t(c.frames) * 4) << c.args[1];
        EXPECT_TRUE(run.out == full.out.substr(size_t(c.first) * 4, size_t(c.frames) * 4)) << c.args[1];
    }

    struct Refusal {
        std::vector<std::string> args;
        std::string              message;
    };
    const Refusal refusals[] = {
        {{"--from", "2"}, "--from 2: the song ends before frame 88200\n"},
        {{"--from", "1:0"}, "--from 1:0: the song never plays row 0 of order position 1 before it ends\n"},
        {{"--from", "0:16", "--seconds", "1"}, "--from 0:16: the song never plays row 16 of order position 0\n"},
    };
    for (const Refusal& r : refusals) {
        std::vector<std::string> args = {"render", module, "-o", dir + "/out.wav"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        ToolRun run = Lumbo(args);
        EXPECT_EQ(run.status, 1) << r.args[1];
        EXPECT_EQ(run.err, "lumbo render: " + r.message);
        EXPECT_FALSE(Exists(dir + "/out.wav")) << r.args[1];
    }
    EXPECT_TRUE(StrayFiles({}).empty());
}

TEST_F(LumboTool, MuteSilencesTheChannelsListed) {
    // Channel 0 sounds from row 0, channel 1 from row 4 (frame 21168).
    const std::string all = Lumbo({"render", module, "-o", "-"}).out;
    struct Case {
        const char* channels;
        size_t      sameFrames;     // frames equal to the unmuted render, give or take a ramp's start
        size_t      silentFrom;     // all zero from this frame on; 0: not silent
    };
    const Case cases[] = {{"1", 21168, 0}, {"0", 0, 0}, {"0-31", 0, 128}, {"1,0", 0, 128}};
    for (const Case& c : cases) {
        ToolRun run = Lumbo({"render", module, "-o", "-", "--mute", c.channels});
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(run.out.size(), all.size()) << c.channels;
        size_t same = 0;
        while (same < all.size() && run.out[same] == all[same]) ++same;
        EXPECT_GE(same / 4, c.sameFrames) << c.channels;
        EXPECT_LT(same / 4, c.sameFrames + 4) << c.channels;
        const size_t loudEnd = run.out.find_last_not_of('\0') + 1;   // 0 when all is silent
        if (c.silentFrom) EXPECT_LE(loudEnd, c.silentFrom * 4) << c.channels;
        else EXPECT_GT(loudEnd, 0u) << c.channels;
    }
}

// A stream that would never end is cut at ten minutes, with a note.
TEST_F(LumboTool, EndlessStreamsStopAtTenMinutes) {
    // Channel c loops rows 0..c fifteen more times, each pass running the
    // loops inside it again: 16^6 passes at one tick per row, so the loop
    // search gives up (at 2^20 rows) long before the song comes back.
    xm::Module nested;
    nested.channels = 6;
    nested.speed = 1;
    nested.orders = {0};
    xm::Pattern& p = nested.AddPattern(8);
    for (int c = 0; c < 6; ++c) p.At(c, c) = {0, 0, 0, 0x0E, 0x6F};
    WriteFile(dir + "/nested.xm", xm::Write(nested));
    struct Case {
        std::vector<std::string> args;
        const char*              note;
    };
    const Case cases[] = {
        {{dir + "/nested.xm"}, "the song never comes back to a position it has played"},
        {{module, "--repeat", "-1"}, "--repeat -1 never ends"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"render", "-o", dir + "/out.raw", "--rate", "8000"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolRun run = Lumbo(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(c.note), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("writing 10 minutes"), std::string::npos) << run.err;
        struct stat info;
        ASSERT_EQ(stat((dir + "/out.raw").c_str(), &info), 0);
        EXPECT_EQ(info.st_size, 600 * 8000 * 4) << c.note;
    }
}

// The trace of a render from a point, or to the song's end, is the part of
// the full trace for the ticks that made its frames.
TEST_F(LumboTool, TraceCoversTheFramesWritten) {
    auto Lines = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    const std::vector<std::string> full =
        Lines(Lumbo({"render", module, "-o", "-", "--seconds", "4", "--trace"}).err);
    ASSERT_GE(full.size(), 2u * 96u);
    struct Case {
        std::vector<std::string> args;
        size_t                   first;   // line of the full trace
        size_t                   count;
    };
    const Case cases[] = {
        {{}, 0, 96},                                    // 16 rows of 6 ticks, to the loop point
        {{"--from", "0:4"}, 24, 72},
        {{"--from", "0.1", "--seconds", "0.05"}, 5, 3},   // frames 4410..6614: ticks 5 (4410), 6 and 7
        {{"--from", "0:15", "--repeat", "1"}, 90, 6 + 96},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"render", module, "-o", "-", "--trace"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolRun run = Lumbo(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> expected(full.begin() + long(c.first), full.begin() + long(c.first + c.count));
        EXPECT_EQ(Lines(run.err), expected) << (c.args.empty() ? "" : c.args[1]);
    }
}
