// lumbo info, run as a user runs it. The expected lengths are counted by hand:
// at 44100 Hz a tick at tempo 125 is 882 frames and at tempo 150 735 frames,
// so a row of speed 6 at tempo 125 lasts 5292 frames, 0.12 s.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/xm_writer.h"

namespace {

struct InfoRun {
    int status;                // exit status; -1 when the program did not exit normally
    std::string output;        // standard output and error
};

// A module of patterns with the given row counts, played in order, with one
// 8-bit looped sample so that notes sound.
xm::Module Rows(std::vector<int> patternRows) {
    xm::Module m;
    m.channels = 2;
    for (size_t i = 0; i < patternRows.size(); ++i) {
        m.AddPattern(patternRows[i]);
        m.orders.push_back(uint8_t(i));
    }
    xm::Instrument& ins = m.AddInstrument();
    ins.samples.push_back(xm::Sample::Pcm8(std::vector<int16_t>(64, 40)).Loop(0, 64));
    m.patterns[0].At(0, 0) = {49, 1, 0, 0, 0};
    return m;
}

class LumboInfo : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumbo-info-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }

    // Runs lumbo with the arguments (no quotes in them).
    InfoRun Lumbo(const std::string& arguments) {
        std::string command = std::string("'") + LUMBO_TOOL + "' " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        InfoRun run{-1, ""};
        if (!pipe) return run;
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, got);
        int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    InfoRun Info(const xm::Module& module) { return InfoOfBytes(xm::Write(module)); }

    InfoRun InfoOfBytes(const std::vector<uint8_t>& bytes) {
        std::string path = dir + "/module.xm";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Lumbo("info " + path);
    }

    // The line of the report that starts with label, without the label.
    static std::string Line(const std::string& output, const std::string& label) {
        size_t at = output.find("\n" + label);
        if (at == std::string::npos) return "(no " + label + " line)";
        at += 1 + label.size();
        while (at < output.size() && output[at] == ' ') ++at;
        return output.substr(at, output.find('\n', at) - at);
    }

    std::string dir;
};

TEST_F(LumboInfo, ShowsTheHeaderAndTheSongsMakeUp) {
    xm::Module m;
    m.name = "Info Title";
    m.tracker = "Info Tracker";
    m.channels = 6;
    m.flags = 0;
    m.speed = 5;
    m.tempo = 150;
    m.restartPosition = 1;
    m.AddPattern(32);
    m.AddPattern(16);
    m.AddPattern(64);
    m.orders = {0, 1, 2, 5};   // pattern 5 is not stored: three empty ones are added
    xm::Instrument& two = m.AddInstrument();
    two.samples.push_back(xm::Sample::Pcm8({1, 2, 3}));
    two.samples.push_back(xm::Sample::Pcm16({}));
    m.AddInstrument();   // no samples
    InfoRun run = Info(m);
    ASSERT_EQ(run.status, 0) << run.output;

    const struct {
        const char* label;
        const char* value;
    } expected[] = {
        {"Title:", "Info Title"},
        {"Tracker:", "Info Tracker (XM format 1.04)"},
        {"Channels:", "6"},
        {"Patterns:", "3 (the order table names 3 more, which play as empty 64-row patterns)"},
        {"Instruments:", "2"},
        {"Samples:", "2 (1 of them empty)"},
        {"Frequencies:", "Amiga periods"},
        {"Speed/tempo:", "5 ticks per row, 150 BPM"},
        {"Song length:", "4 positions, restart at position 1"},
        {"Warnings:", "none"},
    };
    for (const auto& e : expected) EXPECT_EQ(Line(run.output, e.label), e.value) << e.label;
}

TEST_F(LumboInfo, LengthRunsToThePositionThatRepeats) {
    const struct {
        const char* name;
        std::function<xm::Module()> build;
        const char* length;
    } cases[] = {
        // 32 rows x 0.12 s; the song starts over.
        {"two patterns", [] { return Rows({16, 16}); },
         "0:03.840 (32 rows) to the loop point, then again from position 0, row 0 (at 0:00.000)"},
        // The restart position is where the loop begins: 16 rows in.
        {"restart at 1",
         [] {
             xm::Module m = Rows({16, 16});
             m.restartPosition = 1;
             return m;
         },
         "0:03.840 (32 rows) to the loop point, then again from position 1, row 0 (at 0:01.920)"},
        // B01 on row 7 of position 1: 16 + 8 rows, then position 1 again.
        {"position jump back",
         [] {
             xm::Module m = Rows({16, 16, 16});
             m.patterns[1].At(7, 1) = {0, 0, 0, 0x0B, 0x01};
             return m;
         },
         "0:02.880 (24 rows) to the loop point, then again from position 1, row 0 (at 0:01.920)"},
        // E60 on row 0, E61 on row 3: rows 0-3 twice before the song starts over.
        {"pattern loop",
         [] {
             xm::Module m = Rows({4});
             m.patterns[0].At(0, 1) = {0, 0, 0, 0x0E, 0x60};
             m.patterns[0].At(3, 1) = {0, 0, 0, 0x0E, 0x61};
             return m;
         },
         "0:00.960 (8 rows) to the loop point, then again from position 0, row 0 (at 0:00.000)"},
        // F96 (tempo 150) on row 0: 735-frame ticks from the first, 4 x 6 x 735 frames.
        {"tempo 150",
         [] {
             xm::Module m = Rows({4});
             m.patterns[0].At(0, 1) = {0, 0, 0, 0x0F, 0x96};
             return m;
         },
         "0:00.400 (4 rows) to the loop point, then again from position 0, row 0 (at 0:00.000)"},
        // F03 on row 0: 4 rows x 3 ticks x 882 frames.
        {"speed 3",
         [] {
             xm::Module m = Rows({4});
             m.patterns[0].At(0, 1) = {0, 0, 0, 0x0F, 0x03};
             return m;
         },
         "0:00.240 (4 rows) to the loop point, then again from position 0, row 0 (at 0:00.000)"},
        // D20 on row 3 into an 8-row pattern: rows 0-3, the empty row 20, then
        // the song starts over.
        {"break past the end",
         [] {
             xm::Module m = Rows({16, 8});
             m.patterns[0].At(3, 1) = {0, 0, 0, 0x0D, 0x20};
             return m;
         },
         "0:00.600 (5 rows) to the loop point, then again from position 0, row 0 (at 0:00.000)"},
    };
    for (const auto& c : cases) {
        InfoRun run = Info(c.build());
        EXPECT_EQ(run.status, 0) << c.name << "\n" << run.output;
        EXPECT_EQ(Line(run.output, "Length:"), c.length) << c.name;
    }
}

// A tick at tempo 125 lasts rate x 2.5 / 125 frames: the same times at every
// rate, the frames in step with it.
TEST_F(LumboInfo, FramesFollowTheRate) {
    xm::Module m = Rows({16, 16});
    m.restartPosition = 1;
    const std::vector<uint8_t> bytes = xm::Write(m);
    std::ofstream(dir + "/module.xm", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const struct {
        const char* arguments;
        const char* frames;
    } cases[] = {
        {"", "169344 to the loop point, which goes back to frame 84672 (at 44100 Hz)"},
        {" --rate 48000", "184320 to the loop point, which goes back to frame 92160 (at 48000 Hz)"},
        {" --rate=22050", "84672 to the loop point, which goes back to frame 42336 (at 22050 Hz)"},
    };
    for (const auto& c : cases) {
        InfoRun run = Lumbo("info " + dir + "/module.xm" + c.arguments);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Line(run.output, "Length:"),
                  "0:03.840 (32 rows) to the loop point, then again from position 1, row 0 (at 0:01.920)")
            << c.arguments;
        EXPECT_EQ(Line(run.output, "Frames:"), c.frames) << c.arguments;
    }
}

TEST_F(LumboInfo, WarnsAboutWhatTheEnginePlaysDifferently) {
    xm::Module m = Rows({16, 8});
    m.restartPosition = 5;                                   // outside the 2 positions
    m.patterns[0].At(2, 1) = {98, 1, 0, 0, 0};               // above B-7
    m.patterns[0].At(4, 0) = {0, 0, 0, 0x0D, 0x12};          // row 12 of an 8-row pattern
    m.patterns[0].At(5, 1) = {0, 0, 0, 0x0D, 0x70};          // row 70: taken as row 0
    m.patterns[1].At(1, 0) = {0, 0, 0, 0x0B, 0x07};          // position 7 of 2
    xm::Instrument& ins = m.instruments[0];
    ins.samples.push_back(xm::Sample::Pcm8(std::vector<int16_t>(100, 1)).Loop(90, 20));   // ends at 110
    xm::Sample past = xm::Sample::Pcm16(std::vector<int16_t>(100, 1)).Loop(0, 10);
    past.loopStartBytesOverride = 240;                       // frame 120 of 100
    ins.samples.push_back(past);
    InfoRun run = Info(m);
    ASSERT_EQ(run.status, 0) << run.output;

    const char* expected[] = {
        "restart position 5 lies outside the song's 2 positions; the song restarts at position 0",
        "position 0 (pattern 0), row 4: the break goes to row 12 of position 1, whose pattern 1 has 8 rows; "
        "it plays one empty row and goes on at the next position",
        "position 0 (pattern 0), row 5: D70 breaks to row 70; it goes to row 0",
        "position 1 (pattern 1), row 1: B07 jumps past the song's 2 positions; it goes to position 0",
        "pattern 0, row 2, channel 2: note 98 is above 96 (B-7); it plays no sample",
        "instrument 1, sample 2: the loop ends at frame 110, past the sample's 100 frames; it is cut at the end",
        "instrument 1, sample 3: the loop starts at frame 120, past the sample's 100 frames; it plays without a loop",
    };
    for (const char* line : expected) {
        EXPECT_NE(run.output.find(std::string("\n  ") + line + "\n"), std::string::npos) << line << "\n" << run.output;
    }
}

TEST_F(LumboInfo, WarnsAboutACutShortFile) {
    xm::Module m = Rows({4});
    m.instruments[0].samples[0] = xm::Sample::Pcm8(std::vector<int16_t>(1000, 3));
    std::vector<uint8_t> bytes = xm::Write(m);
    bytes.resize(bytes.size() - 600);   // the last 600 of the sample's 1000 bytes
    InfoRun run = InfoOfBytes(bytes);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\n  the file is cut short: the 600 bytes missing at its end read as zeros (silence)\n"),
              std::string::npos)
        << run.output;
}

TEST_F(LumboInfo, ManyWarningsOfOneKindAreCounted) {
    xm::Module m = Rows({16});
    for (int row = 0; row < 12; ++row) m.patterns[0].At(row, 1) = {120, 1, 0, 0, 0};
    InfoRun run = Info(m);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("pattern 0, row 7, channel 2: note 120"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("pattern 0, row 8, channel 2"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("  ... and 4 more like the one above\n"), std::string::npos) << run.output;
}

TEST_F(LumboInfo, RejectedModulesSayWhyAndExitWith2) {
    xm::Module wide = Rows({4});
    wide.channels = 33;
    wide.patterns.clear();
    wide.AddPattern(4);
    xm::Module crowded = Rows({4});
    crowded.AddInstrument().samples.assign(17, xm::Sample::Pcm8({1}));
    std::vector<uint8_t> notXm = xm::Write(Rows({4}));
    notXm[9] = 'm';

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
        bool header;           // the header's facts are shown too
    } cases[] = {
        {"33 channels", xm::Write(wide), "33 channels; at most 32 are supported", true},
        {"17 samples", xm::Write(crowded), "instrument 2 has 17 samples; at most 16 are supported", true},
        {"no signature", notXm, "not an XM module (bad signature)", false},
        {"empty file", {}, "empty file", false},
    };
    for (const auto& c : cases) {
        InfoRun run = InfoOfBytes(c.bytes);
        EXPECT_EQ(run.status, 2) << c.name << "\n" << run.output;
        EXPECT_EQ(Line(run.output, "Rejected:"), c.reason) << c.name;
        EXPECT_EQ(run.output.find("Title:") != std::string::npos, c.header) << c.name << "\n" << run.output;
        EXPECT_EQ(run.output.find("Length:"), std::string::npos) << c.name;
    }
}

TEST_F(LumboInfo, BuiltInSongsLoopCleanly) {
    for (const char* song : {"1", "2"}) {
        InfoRun run = Lumbo(std::string("info --song ") + song);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(Line(run.output, "Length:").find("to the loop point"), std::string::npos) << run.output;
        EXPECT_EQ(Line(run.output, "Warnings:"), "none") << run.output;
    }
}

TEST_F(LumboInfo, UnreadableFilesAndWrongUsage) {
    const struct {
        std::string arguments;
        int status;
    } cases[] = {
        {"info " + dir + "/missing.xm", 1},
        {"info " + dir, 1},                 // a folder
        {"info", 64},
        {"info a.xm b.xm", 64},
        {"info --song 3", 64},
        {"info --song 1 a.xm", 64},
        {"info --loud a.xm", 64},
        {"info --song 1 --rate 7999", 64},
        {"info --song 1 --rate", 64},
        {"info --help", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(Lumbo(c.arguments).status, c.status) << c.arguments;
}

}  // namespace
