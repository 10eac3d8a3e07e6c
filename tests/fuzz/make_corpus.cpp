// Writes the fuzzers' seed corpus: small modules that between them use every
// effect, every volume-column range, both period modes, 8- and 16-bit samples,
// both loop kinds and envelopes with sustain and loop.
//   make_fuzz_corpus OUT_DIR [EXTRA.xm...]   (extra files are copied in)
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/xm_writer.h"

namespace {

std::vector<int16_t> Wave(int frames, int amplitude) {
    std::vector<int16_t> v(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) v[size_t(i)] = int16_t(((i * 37) % 64 - 32) * amplitude / 32);
    return v;
}

xm::Module Base(bool linear, int channels) {
    xm::Module m;
    m.flags = linear ? 1 : 0;
    m.channels = uint16_t(channels);
    m.speed = 4;
    m.tempo = 150;
    m.orders = {0, 1, 0};
    m.restartPosition = 1;
    xm::Instrument& a = m.AddInstrument("pluck");
    a.samples.push_back(xm::Sample::Pcm8(Wave(200, 100)).Loop(40, 100, 1));
    a.samples.back().finetune = -20;
    xm::Instrument& b = m.AddInstrument("pad");
    b.samples.push_back(xm::Sample::Pcm16(Wave(300, 20000)).Loop(50, 200, 2));
    b.samples.back().relativeNote = 12;
    b.volume.points = {{0, 0}, {4, 64}, {10, 40}, {20, 50}, {30, 0}};
    b.volume.on = b.volume.sustain = b.volume.loop = true;
    b.volume.sustainPoint = 2;
    b.volume.loopStart = 2;
    b.volume.loopEnd = 3;
    b.panning.points = {{0, 0}, {8, 64}, {16, 32}};
    b.panning.on = b.panning.loop = true;
    b.panning.loopStart = 0;
    b.panning.loopEnd = 2;
    b.fadeout = 800;
    b.vibratoType = 1;
    b.vibratoSweep = 4;
    b.vibratoDepth = 6;
    b.vibratoRate = 20;
    for (uint8_t& n : b.noteSampleMap) n = 0;
    return m;
}

void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Two patterns that play notes on both instruments with the effect in every
// other row, so that it runs with and without a note.
xm::Module EffectModule(uint8_t effect, uint8_t param, bool linear) {
    xm::Module m = Base(linear, 3);
    for (int p = 0; p < 2; ++p) {
        xm::Pattern& pat = m.AddPattern(p ? 12 : 16);
        pat.encoding = p ? xm::CellEncoding::Unpacked : xm::CellEncoding::Compact;
        for (int r = 0; r < pat.rows; ++r) {
            if (r % 4 == 0) pat.At(r, 0) = {uint8_t(37 + r), uint8_t(1 + r % 2), 0, 0, 0};
            if (r % 6 == 1) pat.At(r, 1) = {uint8_t(49 + p), 2, 0x30, 0, 0};
            if (r == 9) pat.At(r, 1).note = xm::kKeyOff;
            if (r % 2 == 0) {
                pat.At(r, 2) = {uint8_t(r % 8 ? 0 : 61), uint8_t(r % 8 ? 0 : 1), 0, effect, param};
            }
        }
    }
    return m;
}

// A module followed by steering for the public API target, which reads it
// backwards from the byte before the last (see fuzz_entry.cpp): a rate, then
// calls, each with its arguments and the frames to render after it, 64 bytes
// in all. Orders and rows are given plus 8, frames in big-endian words.
std::vector<uint8_t> Steered(const xm::Module& m, const std::vector<uint8_t>& script) {
    std::vector<uint8_t> bytes = xm::Write(m);
    bytes.insert(bytes.end(), script.rbegin(), script.rend());
    bytes.push_back(0x05);   // the chunk size once the script is read
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: make_fuzz_corpus OUT_DIR [EXTRA.xm...]\n");
        return 1;
    }
    std::string dir = argv[1];
    int written = 0;
    auto save = [&](const std::string& name, const xm::Module& m) {
        Save(dir + "/" + name + ".xm", xm::Write(m));
        ++written;
    };
    const uint8_t params[] = {0x00, 0x37, 0x0F, 0xF1, 0x82};
    for (uint8_t effect = 0; effect <= 35; ++effect) {
        if (effect == 14) continue;
        uint8_t param = params[effect % 5];
        if (effect == 11) param = 1;       // a jump that stays inside the song
        if (effect == 13) param = 0x05;
        char name[32];
        snprintf(name, sizeof name, "effect_%02d", effect);
        save(name, EffectModule(effect, param, effect % 2));
    }
    for (uint8_t hi = 0; hi < 16; ++hi) {
        char name[32];
        snprintf(name, sizeof name, "effect_e%x", hi);
        save(name, EffectModule(14, uint8_t(hi << 4 | (hi == 6 ? 2 : 3)), hi % 2));
    }
    xm::Module volume = Base(true, 2);
    xm::Pattern& p = volume.AddPattern(32);
    for (int r = 0; r < 32; ++r) {
        p.At(r, 0) = {uint8_t(r % 4 == 0 ? 40 + r : 0), 1, uint8_t(0x10 + r * 8), 0, 0};
        p.At(r, 1) = {uint8_t(r % 3 == 0 ? 50 : 0), 2, uint8_t(0x0F + r * 8 - 7), 0, 0};
    }
    volume.AddPattern(4);
    save("volume_column", volume);
    xm::Module amiga = volume;
    amiga.flags = 0;
    save("volume_column_amiga", amiga);

    // 16-, 12- and 16-row positions, back to the second: 2.9 s to the loop point.
    const xm::Module plain = EffectModule(0, 0, true);
    Save(dir + "/steered_44100.xm", Steered(plain, {
        0x00,                                  // 44100 Hz
        1, 0x01, 0x00, 0x00, 0x04, 0x00,       // seek to frame 65536, then 1024 frames
        1, 0x00, 0x40, 0x00, 0x02, 0x00,       // back to 16384
        3, 0, 9, 0, 8, 0x01, 0x00,             // the start of position 1
        4, 0, 10, 0, 11, 0x10, 0x00,           // jump to position 2, row 3
        6, 3, 0x00, 0x00,                      // played once
        2, 0x00, 0x01, 0x00,                   // to its last frame, then nothing
        2, 0xC4, 0x00, 0x00,                   // 2^60 - 1: refused
        2, 0x80, 0x00, 0x10, 0x00, 0x00,       // just past the end: refused
        6, 2, 0x04, 0x00,                      // endless again: it goes on
        7, 0x01, 0x00}));
    Save(dir + "/steered_8000.xm", Steered(plain, {
        0x50, 0x00, 0x00,                      // 8000 Hz
        6, 4, 0x00, 0x00,                      // the loop played once more
        1, 0x00, 0x5D, 0xC0, 0x08, 0x00,       // seek to 3 s
        4, 0, 8, 0, 8, 0x10, 0x00,             // jump to the start
        5, 0, 48, 1, 0x01, 0x00,               // channel 40: no such channel
        5, 0, 8, 1, 0x01, 0x00,                // channel 0 muted
        5, 0, 8, 0, 0x01, 0x00,                // and back
        1, 0x00, 0x00, 0x10, 0x20, 0x00,       // back to frame 16
        3, 0, 10, 0, 8, 0x08, 0x00,            // the start of position 2
        7, 0x01, 0x00}));
    Save(dir + "/steered_refused_rate.xm", Steered(plain, {0x45}));   // 2^31 - 1 Hz, then lumbo_load
    written += 3;

    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string base = argv[i];
        base = base.substr(base.find_last_of('/') + 1);
        Save(dir + "/" + base, bytes);
        ++written;
    }
    printf("%d files\n", written);
    return 0;
}
