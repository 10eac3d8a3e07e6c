// lumbo play, run as a user runs it, on SDL's dummy and disk drivers and on a
// driver that does not exist.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/xm_writer.h"

namespace {

struct PlayRun {
    int         status;    // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
    double      seconds;   // wall time
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class PlayCommand : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumbo-play-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0); }

    // Runs lumbo play with the given SDL driver; keys are written to its
    // standard input after `keyDelayMs` (none: standard input is empty).
    PlayRun Play(const std::vector<std::string>& args, const std::string& driver, const std::string& keys = "",
                 int keyDelayMs = 0) {
        int input[2];
        EXPECT_EQ(pipe(input), 0);
        auto start = std::chrono::steady_clock::now();
        pid_t child = fork();
        if (child == 0) {
            dup2(input[0], 0);
            close(input[0]);
            close(input[1]);
            freopen((dir + "/out").c_str(), "w", stdout);
            freopen((dir + "/err").c_str(), "w", stderr);
            setenv("SDL_AUDIODRIVER", driver.c_str(), 1);
            setenv("SDL_DISKAUDIOFILE", (dir + "/disk.raw").c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(LUMBO_TOOL), const_cast<char*>("play")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(LUMBO_TOOL, argv.data());
            _exit(127);
        }
        close(input[0]);
        if (!keys.empty()) {
            usleep(useconds_t(keyDelayMs) * 1000);
            EXPECT_EQ(write(input[1], keys.data(), keys.size()), ssize_t(keys.size()));
        }
        int status = 0;
        waitpid(child, &status, 0);
        close(input[1]);
        PlayRun run;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Slurp(dir + "/out");
        run.err = Slurp(dir + "/err");
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return run;
    }

    std::string dir;
};

// Without a device the user still gets the song: a WAV file of it once
// through, named after it, in the working directory (or else the temporary
// one), one line saying where, and nothing on standard error.
TEST_F(PlayCommand, WithoutADeviceWritesTheSongToAWavFile) {
    const std::string readOnly = dir + "/read-only";
    ASSERT_EQ(system(("mkdir '" + readOnly + "' && chmod 555 '" + readOnly + "'").c_str()), 0);
    struct Case {
        std::string cwd, wav;
    } cases[] = {{dir, dir + "/song2.wav"}, {readOnly, dir + "/tmp/song2.wav"}};
    ASSERT_EQ(system(("mkdir '" + dir + "/tmp'").c_str()), 0);
    const std::string rendered = dir + "/expected.wav";
    ASSERT_EQ(system((std::string(LUMBO_TOOL) + " render --song 2 --rate 22050 -o '" + rendered + "'").c_str()), 0);
    for (const Case& c : cases) {
        if (getuid() == 0 && c.cwd == readOnly) continue;   // root writes anywhere
        setenv("TMPDIR", (dir + "/tmp").c_str(), 1);
        ASSERT_EQ(chdir(c.cwd.c_str()), 0);
        PlayRun run = Play({"--song", "2", "--rate", "22050"}, "no-such-driver");
        ASSERT_EQ(chdir("/"), 0);
        unsetenv("TMPDIR");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_NE(run.out.find("song2.wav (1:"), std::string::npos) << run.out;
        EXPECT_TRUE(Slurp(c.wav) == Slurp(rendered)) << c.wav;
    }
    PlayRun strict = Play({"--song", "1", "--no-fallback"}, "no-such-driver");
    EXPECT_EQ(strict.status, 3);
    EXPECT_EQ(strict.err, "lumbo play: no audio output device could be opened; try `lumbo render`\n");
}

TEST_F(PlayCommand, KeysSteerThePlayerAndTheTerminalIsLeftAsItWas) {
    // Pause and resume, seek, move by order, mute, volume, then q.
    PlayRun run = Play({"--seconds", "30"}, "dummy", " \033[C\033[D\033[A\033[B1290+-- q", 300);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(run.seconds, 10.0);
    EXPECT_NE(run.out.find("stopped"), std::string::npos);
}

TEST_F(PlayCommand, PlaysForTheGivenTimeAndStops) {
    PlayRun run = Play({"--song", "2", "--seconds", "0.5"}, "dummy");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("playing song 2"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("stopped"), std::string::npos) << run.out;
}

TEST_F(PlayCommand, StopsOnQ) {
    PlayRun run = Play({"--seconds", "30"}, "dummy", "q", 300);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(run.seconds, 10.0);
    EXPECT_NE(run.out.find("stopped"), std::string::npos);
}

TEST_F(PlayCommand, PlaysAFileThroughTheDeviceAsRendered) {
    xm::Module module;
    module.channels = 1;
    module.orders = {0};
    xm::Pattern& pattern = module.AddPattern(8);
    for (int row = 0; row < 8; ++row) pattern.At(row, 0) = {uint8_t(49 + row), 1, 0, 0, 0};
    std::vector<int16_t> square(64);
    for (size_t i = 0; i < square.size(); ++i) square[i] = int16_t(i < 32 ? 90 : -90);
    module.AddInstrument().samples.push_back(xm::Sample::Pcm8(square).Loop(0, 64));
    std::vector<uint8_t> file = xm::Write(module);
    std::ofstream(dir + "/song.xm", std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());

    for (const char* rate : {"44100", "48000"}) {
        PlayRun run = Play({dir + "/song.xm", "--seconds", "1", "--rate", rate}, "disk");
        ASSERT_EQ(run.status, 0) << run.err;
        std::string rendered = dir + "/expected.raw";
        ASSERT_EQ(system((std::string(LUMBO_TOOL) + " render '" + dir + "/song.xm' -o '" + rendered +
                          "' --seconds 3 --rate " + rate + " >/dev/null")
                             .c_str()),
                  0);
        // The device played silence until it was given the ring, then the song.
        std::string played = Slurp(dir + "/disk.raw");
        std::string expected = Slurp(rendered);
        size_t lead = played.find_first_not_of('\0');
        size_t songLead = expected.find_first_not_of('\0');
        ASSERT_NE(lead, std::string::npos);
        lead -= lead % 4;
        songLead -= songLead % 4;
        size_t same = 0;
        while (lead + same < played.size() && songLead + same < expected.size() &&
               played[lead + same] == expected[songLead + same]) {
            ++same;
        }
        EXPECT_GE(same, size_t(0.9 * atoi(rate) * 4)) << rate << " Hz: the device played the song for "
                                                       << same / 4 << " frames only";
    }
}

TEST_F(PlayCommand, RejectsWrongValues) {
    EXPECT_EQ(Play({"--song", "3"}, "dummy").status, 64);
    EXPECT_EQ(Play({"--rate", "200000"}, "dummy").status, 64);
}

}  // namespace
