#include "support/rich_module.h"

#include <cmath>
#include <vector>

namespace lumbo_test {

namespace {

// A small fixed generator, so the module does not depend on the library's rand().
struct Random {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int Below(int n) { return int(Next() % uint32_t(n)); }
};

constexpr double kPi = 3.14159265358979323846;

xm::Sample SineSample() {   // 16-bit, ping-pong loop
    std::vector<int16_t> frames(2048);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = int16_t(20000 * std::sin(2 * kPi * i / 128) + 6000 * std::sin(2 * kPi * i / 32));
    return xm::Sample::Pcm16(frames).Loop(256, 1792, 2);
}

xm::Sample SquareSample() {   // 8-bit, forward loop over the whole sample
    std::vector<int16_t> frames(64);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = i < 32 ? 90 : -90;
    xm::Sample s = xm::Sample::Pcm8(frames).Loop(0, 64, 1);
    s.finetune = -16;
    return s;
}

xm::Sample NoiseSample(Random& random) {   // 16-bit, no loop: a decaying burst
    std::vector<int16_t> frames(6000);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = int16_t((random.Below(50001) - 25000) * (1.0 - double(i) / frames.size()));
    xm::Sample s = xm::Sample::Pcm16(frames);
    s.relativeNote = 12;
    return s;
}

xm::Sample SawSample() {   // 16-bit, forward loop not starting at 0
    std::vector<int16_t> frames(1000);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = int16_t(-30000 + 60 * int(i % 1000));
    xm::Sample s = xm::Sample::Pcm16(frames).Loop(100, 900, 1);
    s.panning = 40;
    return s;
}

xm::Sample TriangleSample() {   // 8-bit, short ping-pong loop
    std::vector<int16_t> frames(300);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = int16_t(i < 150 ? -120 + int(i) * 8 / 5 : 120 - int(i - 150) * 8 / 5);
    xm::Sample s = xm::Sample::Pcm8(frames).Loop(20, 260, 2);
    s.volume = 48;
    s.relativeNote = -12;
    s.finetune = 20;
    return s;
}

void AddInstruments(xm::Module& m, Random& random) {
    xm::Instrument& sine = m.AddInstrument("sine");
    sine.samples.push_back(SineSample());
    sine.volume = {{{0, 0}, {4, 64}, {20, 40}, {40, 48}, {80, 20}, {120, 0}}, true, true, false, 2, 0, 0};
    sine.panning = {{{0, 32}, {10, 10}, {30, 54}, {50, 32}}, true, false, true, 0, 1, 3};
    sine.fadeout = 800;
    sine.vibratoType = 0;
    sine.vibratoSweep = 20;
    sine.vibratoDepth = 8;
    sine.vibratoRate = 20;

    xm::Instrument& square = m.AddInstrument("square");
    square.samples.push_back(SquareSample());
    square.volume = {{{0, 64}, {10, 32}, {30, 50}}, true, false, true, 0, 1, 2};
    square.fadeout = 400;

    xm::Instrument& noise = m.AddInstrument("noise");
    noise.samples.push_back(NoiseSample(random));

    xm::Instrument& split = m.AddInstrument("saw and triangle");
    split.samples.push_back(SawSample());
    split.samples.push_back(TriangleSample());
    for (int note = 48; note < 96; ++note) split.noteSampleMap[note] = 1;
    split.volume = {{{0, 48}, {6, 64}, {16, 30}, {60, 0}}, true, true, false, 1, 0, 0};
    split.panning = {{{0, 0}, {20, 64}}, true, false, false, 0, 0, 0};
    split.fadeout = 2000;
    split.vibratoType = 1;
    split.vibratoSweep = 0;
    split.vibratoDepth = 4;
    split.vibratoRate = 40;
}

// Running effects that may appear on any row (effect, parameter range).
struct EffectChoice {
    uint8_t effect;
    uint8_t paramMask;
    uint8_t paramBase;
};
const EffectChoice kEffects[] = {
    {0x00, 0x77, 0x11},   // arpeggio
    {0x01, 0x0F, 0x01},   // portamento up
    {0x02, 0x0F, 0x01},   // portamento down
    {0x03, 0x1F, 0x04},   // tone portamento
    {0x04, 0x37, 0x41},   // vibrato
    {0x05, 0x03, 0x01},   // tone portamento + volume slide
    {0x06, 0x30, 0x10},   // vibrato + volume slide
    {0x07, 0x37, 0x22},   // tremolo
    {0x08, 0xFF, 0x00},   // panning
    {0x09, 0x07, 0x01},   // sample offset
    {0x0A, 0x0F, 0x01},   // volume slide down
    {0x0A, 0x30, 0x10},   // volume slide up
    {0x0C, 0x3F, 0x10},   // set volume
    {0x0E, 0x03, 0x11},   // fine portamento up
    {0x0E, 0x03, 0x21},   // fine portamento down
    {0x0E, 0x03, 0xA1},   // fine volume slide up
    {0x0E, 0x03, 0xB1},   // fine volume slide down
    {0x0E, 0x01, 0x92},   // retrigger
    {0x0E, 0x01, 0xC3},   // note cut
    {0x0E, 0x01, 0xD1},   // note delay
    {17, 0x01, 0x01},     // H: global volume slide
    {20, 0x03, 0x02},     // K: key-off at a tick
    {25, 0x0F, 0x01},     // P: panning slide
    {27, 0x13, 0x82},     // R: multi-retrigger
    {29, 0x11, 0x21},     // T: tremor
    {33, 0x03, 0x11},     // X1: extra-fine portamento up
};

xm::Cell RandomCell(Random& random, int instruments) {
    xm::Cell c;
    int kind = random.Below(100);
    if (kind < 50) {
        c.note = uint8_t(25 + random.Below(60));
        c.instrument = uint8_t(1 + random.Below(instruments));
        int column = random.Below(6);
        if (column == 1) c.volume = uint8_t(0x10 + random.Below(65));    // set volume
        if (column == 2) c.volume = uint8_t(0x60 + random.Below(4));     // slide down
        if (column == 3) c.volume = uint8_t(0xB0 + random.Below(8));     // vibrato depth
        if (column == 4) c.volume = uint8_t(0xC0 + random.Below(16));    // set panning
    } else if (kind < 58) {
        c.note = xm::kKeyOff;
    }
    if (kind >= 58 && kind < 65) c.volume = uint8_t(0xD0 + random.Below(4));   // panning slide left
    if (random.Below(100) < 70) {
        const EffectChoice& e = kEffects[random.Below(sizeof kEffects / sizeof kEffects[0])];
        c.effect = e.effect;
        c.param = uint8_t((random.Next() & e.paramMask) | e.paramBase);
    }
    return c;
}

}  // namespace

xm::Module RichModule(int channels, uint32_t seed) {
    Random random{seed};
    xm::Module m;
    m.channels = uint16_t(channels);
    m.speed = 5;
    m.tempo = 130;
    AddInstruments(m, random);
    const int instruments = int(m.instruments.size());
    for (int p = 0; p < 3; ++p) {
        xm::Pattern& pattern = m.AddPattern(64);
        for (int row = 0; row < 64; ++row)
            for (int ch = 0; ch < channels; ++ch) pattern.At(row, ch) = RandomCell(random, instruments);
    }
    // Song control in the last channel: tempo and speed changes, a pattern
    // delay, a global volume change, a pattern loop and a break.
    const int last = channels - 1;
    m.patterns[0].At(8, last) = {0, 0, 0, 0x0E, 0xE1};
    m.patterns[0].At(40, last) = {0, 0, 0, 16, 0x30};
    m.patterns[1].At(0, last) = {0, 0, 0, 0x0F, 0x8C};
    m.patterns[1].At(1, last) = {0, 0, 0, 0x0F, 0x04};
    m.patterns[1].At(63, last) = {0, 0, 0, 0x0D, 0x16};
    m.patterns[2].At(30, last) = {0, 0, 0, 0x0E, 0x60};
    m.patterns[2].At(34, last) = {0, 0, 0, 0x0E, 0x62};
    m.patterns[2].At(48, last) = {0, 0, 0, 0x0F, 0x6E};
    m.patterns[2].At(49, last) = {0, 0, 0, 16, 0x40};
    m.orders = {0, 1, 2, 1, 0};
    m.restartPosition = 1;
    return m;
}

}  // namespace lumbo_test
