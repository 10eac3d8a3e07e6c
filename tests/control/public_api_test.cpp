// The public API as hosts use it: players pulled in any chunks, side by side
// and on several threads, the position of the frames handed out, the volume,
// loading from memory, and a host's module on the library's device.
#include "lumbo.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cfenv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "control/control_player.h"
#include "data/songs.h"
#include "output/offline_render.h"
#include "output/output_device.h"
#include "platform/float_env.h"
#include "support/module_files.h"
#include "support/playback_fixture.h"
#include "support/rich_module.h"
#include "support/test_platform.h"
#include "support/xm_writer.h"

using namespace lumbo;
using namespace lumbo_test;

namespace {

struct TickStart {
    int64_t        frame;
    lumbo_position position;
};

// What `lumbo render` writes for a module, and where each tick began.
struct Reference {
    std::vector<int16_t>   pcm;
    std::vector<TickStart> ticks;

    // The tick that made frame `frame`.
    lumbo_position At(int64_t frame) const {
        lumbo_position p{};
        for (const TickStart& t : ticks) {
            if (t.frame > frame) break;
            p = t.position;
        }
        p.frame = uint64_t(frame + 1);
        return p;
    }
};

Reference* recording;
TickHandler recordedHandler;
int64_t recordedFrame;

void RecordingTickHandler(Player& player) {
    const int32_t tick = player.song->tick;
    recordedHandler(player);
    const Song& song = *player.song;
    recording->ticks.push_back(
        {recordedFrame, {song.orderPosition, song.orderTable[song.orderPosition], player.currentRow, tick, 0}});
    recordedFrame += song.samplesPerTick > 0 ? song.samplesPerTick : 1;
}

Reference RenderReference(const std::vector<uint8_t>& file, int64_t frames) {
    Reference reference;
    reference.pcm.resize(size_t(frames) * 2);
    Song* song = LoadSongFromMemory(file.data(), uint32_t(file.size()));
    auto stream = std::make_unique<Stream>();
    EXPECT_TRUE(song && BeginOfflineRender(*stream, song, 44100));
    recording = &reference;
    recordedHandler = stream->player.tickHandler;
    recordedFrame = 0;
    stream->player.tickHandler = RecordingTickHandler;
    EXPECT_TRUE(RenderOfflineFrames(*stream, reference.pcm.data(), frames));
    EndOfflineRender(*stream);
    FreeSong(song);
    return reference;
}

void ExpectPosition(const lumbo_position& got, const lumbo_position& want, int64_t at) {
    EXPECT_EQ(got.order, want.order) << "frame " << at;
    EXPECT_EQ(got.pattern, want.pattern) << "frame " << at;
    EXPECT_EQ(got.row, want.row) << "frame " << at;
    EXPECT_EQ(got.tick, want.tick) << "frame " << at;
    EXPECT_EQ(got.frame, want.frame) << "frame " << at;
}

// Pulls `frames` frames in chunks from `chunks` and checks them, and the
// position after each chunk, against the reference.
void PullAndCompare(lumbo_player* player, const Reference& reference, const std::vector<size_t>& chunks) {
    const size_t frames = reference.pcm.size() / 2;
    std::vector<int16_t> pcm(frames * 2 + 2, 0x5A5A);
    size_t done = 0;
    for (size_t i = 0; done < frames; ++i) {
        const size_t n = std::min(chunks[i % chunks.size()], frames - done);
        ASSERT_EQ(lumbo_render(player, pcm.data() + 2 * done, n), n);
        done += n;
        lumbo_position position;
        if (done == 0) {
            EXPECT_EQ(lumbo_position_of(player, &position), 0);
            continue;
        }
        ASSERT_EQ(lumbo_position_of(player, &position), 1);
        ExpectPosition(position, reference.At(int64_t(done) - 1), int64_t(done));
    }
    EXPECT_EQ(pcm[frames * 2], 0x5A5A) << "wrote past the frames asked for";
    pcm.resize(frames * 2);
    EXPECT_TRUE(pcm == reference.pcm);
}

TEST(PublicApi, PullIsTheOfflineRenderInAnyChunksWithTheTickOfTheLastFrame) {
    std::mt19937 random(5);
    const std::vector<uint8_t> files[] = {EmbeddedFile(firstSongImage), EmbeddedFile(secondSongImage), Busy(32, 3),
                                          Busy(8, 9)};
    for (const std::vector<uint8_t>& file : files) {
        const Reference reference = RenderReference(file, 3 * 44100);
        std::vector<size_t> chunks = {0, 1, 1, 883, 884, 885, 0, 1};
        for (int i = 0; i < 40; ++i) chunks.push_back(random() % 5000);
        int32_t status = -1;
        lumbo_player* player = lumbo_load(file.data(), file.size(), &status);
        ASSERT_NE(player, nullptr);
        EXPECT_EQ(status, LUMBO_OK);
        lumbo_set_volume(player, 256);   // full volume is no volume at all
        PullAndCompare(player, reference, chunks);
        lumbo_free(player);
    }
    lumbo_free(nullptr);
}

TEST(PublicApi, PlayersRenderIndependentlyInOneThreadAndOnSeveral) {
    const std::vector<uint8_t> a = Busy(16, 21), b = Busy(6, 22);
    const Reference ra = RenderReference(a, 2 * 44100), rb = RenderReference(b, 2 * 44100);
    lumbo_player* pa = lumbo_load(a.data(), a.size(), nullptr);
    lumbo_player* pb = lumbo_load(b.data(), b.size(), nullptr);
    std::vector<int16_t> outA(ra.pcm.size()), outB(rb.pcm.size());
    for (size_t done = 0; done < 2 * 44100; done += 490) {
        lumbo_render(pa, outA.data() + 2 * done, 490);
        lumbo_render(pb, outB.data() + 2 * done, 490);
    }
    EXPECT_TRUE(outA == ra.pcm);
    EXPECT_TRUE(outB == rb.pcm);
    lumbo_free(pa);
    lumbo_free(pb);

    // The same two at once, while the built-in player plays on the device.
    ResetTestPlatform();
    ASSERT_TRUE(ControlPlayer(TestModuleImage(0).data()));
    std::thread first([&] {
        lumbo_player* p = lumbo_load(a.data(), a.size(), nullptr);
        PullAndCompare(p, ra, {1000, 17});
        lumbo_free(p);
    });
    std::thread second([&] {
        lumbo_player* p = lumbo_load(b.data(), b.size(), nullptr);
        PullAndCompare(p, rb, {4410});
        lumbo_free(p);
    });
    first.join();
    second.join();
    ControlPlayer(nullptr);
    EXPECT_EQ(LiveAllocations(), 0);
}

#if defined(__x86_64__) || defined(__i386__)
// Puts the test's own floating-point settings back however the test ends.
struct FloatingPointGuard {
    FloatControl original = SaveFloatingPoint();
    ~FloatingPointGuard() { RestoreFloatingPoint(original); }
};

// What the calls that compute give a host. Sized before the host's settings
// are in place, so that only the library runs under them.
struct HostResults {
    std::vector<int16_t> pcm = std::vector<int16_t>(2 * 44100);
    int32_t              status = -1;
    lumbo_position       position{};
    lumbo_info           info{};
    FloatControl         after{};   // the settings the calls left
};

void CallEverything(const std::vector<uint8_t>& file, HostResults& r) {
    lumbo_player* player = lumbo_load(file.data(), file.size(), &r.status);
    lumbo_render(player, r.pcm.data(), 30000);
    lumbo_set_volume(player, 100);   // the master volume's ramp computes as well
    lumbo_render(player, r.pcm.data() + 2 * 30000, 44100 - 30000);
    lumbo_position_of(player, &r.position);
    lumbo_free(player);
    lumbo_module_info(file.data(), file.size(), &r.info);
    r.after = SaveFloatingPoint();
}

TEST(PublicApi, HostFloatingPointSettingsNeitherChangeTheOutputNorAreChanged) {
    const std::vector<uint8_t> file = Busy(12, 4);
    HostResults expected;
    CallEverything(file, expected);
    ASSERT_EQ(expected.status, LUMBO_OK);
    const FloatControl hosts[] = {
        {0x007F, 0xDFC0},   // 24-bit x87 precision; SSE rounding up, flush to zero, denormals as zero
        {0x035F, 0x0F80},   // the inexact exception unmasked: arithmetic outside the library's settings traps
    };
    for (const FloatControl& host : hosts) {
        HostResults got;
        {
            FloatingPointGuard guard;
            feclearexcept(FE_ALL_EXCEPT);   // an unmasked x87 exception already flagged would trap at once
            RestoreFloatingPoint(host);
            CallEverything(file, got);
        }
        SCOPED_TRACE(testing::Message() << std::hex << "host x87 " << host.x87 << " sse " << host.sse);
        EXPECT_EQ(got.after.x87, host.x87);
        EXPECT_EQ(got.after.sse, host.sse);
        EXPECT_EQ(got.status, LUMBO_OK);
        EXPECT_TRUE(got.pcm == expected.pcm);
        EXPECT_EQ(got.position.frame, expected.position.frame);
        EXPECT_EQ(got.position.row, expected.position.row);
        EXPECT_EQ(got.position.tick, expected.position.tick);
        EXPECT_EQ(got.info.loop_end_frame, expected.info.loop_end_frame);
        EXPECT_EQ(got.info.loop_start_frame, expected.info.loop_start_frame);
        EXPECT_EQ(got.info.rows, expected.info.rows);
    }
}
#endif

TEST(PublicApi, VolumeMovesOverOneRampWithoutSteps) {
    const std::vector<uint8_t> file = Flat();
    lumbo_player* player = lumbo_load(file.data(), file.size(), nullptr);
    std::vector<int16_t> pcm(2 * 4000);
    lumbo_render(player, pcm.data(), 2000);   // past the note's own ramp
    const int level = pcm[2 * 1999];
    ASSERT_GT(level, 3000);
    const int allowed = level / 128 + 1;   // the ramp's step, and rounding
    // Down to silence; half-way down, back up to half; then to full.
    struct Step {
        int32_t volume;
        int32_t frames;
        int     settled;   // the level after them
    } steps[] = {{0, 200, 0}, {256, 60, -1}, {128, 300, level / 2}, {-5, 128, 0}, {9999, 128, level}};
    int previous = level;
    for (const Step& s : steps) {
        lumbo_set_volume(player, s.volume);
        lumbo_render(player, pcm.data(), size_t(s.frames));
        for (int k = 0; k < s.frames; ++k) {
            ASSERT_LE(std::abs(pcm[2 * k] - previous), allowed) << "volume " << s.volume << " frame " << k;
            previous = pcm[2 * k];
        }
        if (s.settled >= 0) {
            EXPECT_NEAR(previous, s.settled, 1) << "volume " << s.volume;
        }
    }
    lumbo_free(player);
}

TEST(PublicApi, LoadingRejectsWhatTheLoaderRejectsAndReadsNothingPastTheData) {
    xm::Module minimal;
    minimal.orders = {0};
    minimal.AddPattern(4).At(0, 0) = {49, 1, 0, 0, 0};
    minimal.AddInstrument().samples.push_back(xm::Sample::Pcm8({1, 2, 3, 4}));
    struct Case {
        void (*edit)(xm::Module&);            // the module, before it is written
        void (*editBytes)(std::vector<uint8_t>&);
        int32_t status;
        const char* text;
    } cases[] = {
        {nullptr, [](std::vector<uint8_t>& f) { f.clear(); }, LUMBO_EMPTY, "empty file"},
        {nullptr, [](std::vector<uint8_t>& f) { f[16] = '_'; }, LUMBO_BAD_SIGNATURE, "not an XM module (bad signature)"},
        {[](xm::Module& m) { m.channelCountOverride = 33; }, nullptr, LUMBO_TOO_MANY_CHANNELS, nullptr},
        {[](xm::Module& m) { m.songLengthOverride = 0; }, nullptr, LUMBO_BAD_SONG_LENGTH, nullptr},
        {[](xm::Module& m) { m.headerSize = 0xFFFFFFF0u; }, nullptr, LUMBO_BAD_HEADER_SIZE, nullptr},
        {[](xm::Module& m) { m.AddInstrument().sampleCountOverride = 17; }, nullptr, LUMBO_TOO_MANY_SAMPLES, nullptr},
        {[](xm::Module& m) { m.instruments[0].samples[0].lengthBytesOverride = 0xFFFFFFF0ll; }, nullptr,
         LUMBO_TOO_LARGE, nullptr},
    };
    for (const Case& c : cases) {
        xm::Module m = minimal;
        if (c.edit) c.edit(m);
        std::vector<uint8_t> file = xm::Write(m);
        if (c.editBytes) c.editBytes(file);
        int32_t status = -1;
        EXPECT_EQ(lumbo_load(file.empty() ? "" : (const char*)file.data(), file.size(), &status), nullptr);
        EXPECT_EQ(status, c.status);
        lumbo_info info;
        EXPECT_EQ(lumbo_module_info(file.empty() ? "" : (const char*)file.data(), file.size(), &info), c.status);
        EXPECT_STRNE(lumbo_status_text(status), "unknown status");
        if (c.text) {
            EXPECT_STREQ(lumbo_status_text(status), c.text);
        }
    }
    int32_t status = -1;
    EXPECT_EQ(lumbo_load(nullptr, 10, &status), nullptr);
    EXPECT_EQ(status, LUMBO_BAD_ARGUMENT);
    EXPECT_EQ(lumbo_load(nullptr, 10, nullptr), nullptr);

    // Facts of a module that loads: its header, and where it loops.
    const std::vector<uint8_t> file = Busy(8, 2);
    lumbo_info info;
    ASSERT_EQ(lumbo_module_info(file.data(), file.size(), &info), LUMBO_OK);
    EXPECT_STREQ(info.title, "lumbo test");
    EXPECT_EQ(info.channels, 8);
    EXPECT_EQ(info.song_length, 5);
    EXPECT_EQ(info.speed, 5);
    EXPECT_EQ(info.tempo, 130);
    EXPECT_EQ(info.linear_periods, 1);
    EXPECT_EQ(info.loops, 1);
    EXPECT_GT(info.loop_end_frame, info.loop_start_frame);
    EXPECT_EQ(lumbo_module_info(file.data(), file.size(), nullptr), LUMBO_BAD_ARGUMENT);

    // Every prefix of that module, ending where readable memory ends: a read
    // past the size faults.
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t span = (file.size() + page - 1) / page * page;
    uint8_t* memory = static_cast<uint8_t*>(mmap(nullptr, span + page, PROT_READ | PROT_WRITE,
                                                 MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(memory, MAP_FAILED);
    ASSERT_EQ(mprotect(memory + span, page, PROT_NONE), 0);
    for (size_t cut = 0; cut <= file.size(); cut += cut < 400 ? 1 : 97) {
        uint8_t* at = memory + span - cut;
        memcpy(at, file.data(), cut);
        lumbo_player* player = lumbo_load(at, cut, nullptr);
        memset(at, 0xEE, cut);   // the player keeps its own copy
        int16_t pcm[2 * 64];
        if (player) {
            EXPECT_EQ(lumbo_render(player, pcm, 64), 64u);
        }
        lumbo_free(player);
    }
    munmap(memory, span + page);
}

// Every status lumbo.h declares, with its text: the header itself is read,
// so a status added there without a text here fails.
TEST(PublicApi, EveryStatusHasItsText) {
#define STATUS(name) #name, name
    const struct {
        const char* name;
        int32_t     status;
        const char* text;
    } statuses[] = {
        {STATUS(LUMBO_OK), "ok"},
        {STATUS(LUMBO_EMPTY), "empty file"},
        {STATUS(LUMBO_BAD_SIGNATURE), "not an XM module (bad signature)"},
        {STATUS(LUMBO_TOO_MANY_CHANNELS), "more than 32 channels"},
        {STATUS(LUMBO_BAD_SONG_LENGTH), "song length outside 1 to 256"},
        {STATUS(LUMBO_BAD_HEADER_SIZE), "a header size points outside the file"},
        {STATUS(LUMBO_TOO_MANY_SAMPLES), "an instrument has more than 16 samples"},
        {STATUS(LUMBO_TOO_LARGE), "truncated or corrupt: it asks for far more memory than its size can hold"},
        {STATUS(LUMBO_OUT_OF_MEMORY), "out of memory"},
        {STATUS(LUMBO_NO_OUTPUT), "no audio output device"},
        {STATUS(LUMBO_BAD_ARGUMENT), "invalid argument"},
    };
#undef STATUS
    std::ifstream in(LUMBO_PUBLIC_HEADER);
    ASSERT_TRUE(in) << LUMBO_PUBLIC_HEADER;
    const std::string header((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t start = header.find("LUMBO_OK = 0");
    ASSERT_NE(start, std::string::npos) << "the status enumeration moved";
    std::istringstream declared(header.substr(start, header.find("};", start) - start));
    std::vector<std::pair<std::string, int32_t>> names;
    for (std::string line; std::getline(declared, line);) {
        char name[64];
        int32_t value;
        if (std::sscanf(line.c_str(), " %63[A-Z_] = %d", name, &value) == 2) names.emplace_back(name, value);
    }
    ASSERT_EQ(names.size(), std::size(statuses));
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i].first, statuses[i].name);
        EXPECT_EQ(names[i].second, statuses[i].status) << statuses[i].name;
        EXPECT_STREQ(lumbo_status_text(statuses[i].status), statuses[i].text) << statuses[i].name;
    }
    EXPECT_STREQ(lumbo_status_text(-1), "unknown status");
    EXPECT_STREQ(lumbo_status_text(std::end(statuses)[-1].status + 1), "unknown status");
}

}  // namespace
