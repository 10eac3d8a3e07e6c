// Song 2: a D-minor piece for eight channels that shows the whole engine:
// 16-bit samples with forward and ping-pong loops, volume and panning
// envelopes with sustain and loops, key-off and fadeout, auto-vibrato, and the
// common effects (arpeggio, portamento, tone portamento, vibrato, tremolo,
// volume slides, retrigger, note delay, pattern loop, panning).
//
// Form (one pattern = four bars of 4/4, 16 rows a bar, 120 BPM):
//   intro (2, its first bar looped) | verse (2) | chorus (2) | break, build (2) |
//   verse' (2) | chorus' (2) | turnaround, which jumps back to the verse.
#include "songs.h"

#include <cstdlib>

#include "harmony.h"
#include "score.h"
#include "synth.h"

namespace compose {
namespace {

enum : int { kKick = 1, kSnare, kClosedHat, kOpenHat, kBass, kPad, kGatePad, kPiano, kPluck, kLead };
enum : int { kDrums = 0, kHats, kBassCh, kPadA, kPadB, kArp, kLeadCh, kEcho };
constexpr int kChannels = 8;
constexpr int kBar = 16;
constexpr double kRate = kBaseRate * 2;      // tonal samples: 64 frames a cycle at C-4
constexpr double kHighRate = kBaseRate * 4;  // hats

constexpr int Vol(int v) { return 0x10 + v; }
enum : int {
    kArpeggio = 0x00, kPortaUp = 0x01, kPortaDown = 0x02, kTonePorta = 0x03, kVibrato = 0x04,
    kTremolo = 0x07, kPanning = 0x08, kVolumeSlide = 0x0A, kJump = 0x0B, kExtended = 0x0E,
    kMultiRetrigger = 0x1B,
};
enum : int { kPatternLoop = 0x60, kRetrigger = 0x90, kNoteCut = 0xC0, kNoteDelay = 0xD0 };

xm::Sample Sample16(std::vector<double> frames, uint8_t volume, int8_t relativeNote, uint8_t panning,
                    const char* name, double peak = 1.0) {
    Normalise(frames, peak);
    xm::Sample s = xm::Sample::Pcm16(To16Bit(frames));
    s.volume = volume;
    s.relativeNote = relativeNote;
    s.panning = panning;
    s.name = name;
    return s;
}

xm::Envelope Envelope(std::vector<std::pair<uint16_t, uint16_t>> points) {
    xm::Envelope e;
    e.points = std::move(points);
    e.on = true;
    return e;
}

// --- Samples -----------------------------------------------------------------

xm::Sample Kick() {
    Wave w(kRate, 5400);
    Noise noise(101);
    double phase = 0.0;
    SvFilter f;
    double out[3];
    for (size_t i = 0; i < w.Size(); ++i) {
        double t = double(i) / kRate;
        double freq = 44.0 + 130.0 * Exp(-t / 0.028) + 400.0 * Exp(-t / 0.003);
        phase += freq / kRate;
        double body = Sine(2.0 * kPi * phase) * Exp(-t / 0.2);
        f.Step(noise.Next(), 3000.0, kRate, 1.0, out);
        w.frames[i] = Saturate(1.8 * body) + 0.35 * out[1] * Exp(-t / 0.005);
    }
    FadeEdges(w.frames, 0, 600);
    return Sample16(w.frames, 64, 12, 128, "kick");
}

xm::Sample Snare() {
    Wave w(kRate, 4200);
    Noise noise(103);
    SvFilter body, air;
    double out[3];
    for (size_t i = 0; i < w.Size(); ++i) {
        double t = double(i) / kRate;
        double pitch = 1.0 + 0.4 * Exp(-t / 0.01);
        double tone = (Sine(2.0 * kPi * 176.0 * pitch * t) + 0.6 * Sine(2.0 * kPi * 285.0 * pitch * t)) *
                      Exp(-t / 0.045);
        double n = noise.Next();
        body.Step(n, 1800.0, kRate, 1.1, out);
        double mid = out[1];
        air.Step(n, 5000.0, kRate, 0.8, out);
        double rattle = (0.7 * mid + 0.8 * out[2]) * Exp(-t / 0.075);
        w.frames[i] = Saturate(0.9 * tone + 1.2 * rattle);
    }
    FadeEdges(w.frames, 0, 500);
    return Sample16(w.frames, 52, 12, 128, "snare");
}

xm::Sample Hat(size_t length, double decay, uint32_t seed, const char* name, uint8_t volume) {
    Wave w(kHighRate, length);
    Noise noise(seed);
    SvFilter f;
    double out[3];
    const double partials[6] = {3150.0, 4370.0, 5530.0, 6770.0, 8110.0, 9650.0};
    for (size_t i = 0; i < w.Size(); ++i) {
        double t = double(i) / kHighRate;
        double metal = 0.0;
        for (double p : partials) metal += Sine(2.0 * kPi * p * t) > 0.0 ? 1.0 : -1.0;
        f.Step(0.7 * noise.Next() + 0.08 * metal, 8000.0, kHighRate, 1.3, out);
        w.frames[i] = out[2] * (0.4 * Exp(-t / 0.004) + 0.6 * Exp(-t / decay));
    }
    FadeEdges(w.frames, 0, length / 4);
    return Sample16(w.frames, volume, 24, 150, name);
}

xm::Sample Bass() {
    std::vector<double> brightAmps(30), darkAmps(30), phases(30, 0.0);
    for (int k = 1; k <= 30; ++k) {
        double saw = 1.0 / double(k);
        double resonance = 1.0 + 1.5 * Exp(-double((k - 5) * (k - 5)) / 4.0);
        brightAmps[size_t(k - 1)] = saw * resonance / (1.0 + double(k * k) / 300.0);
        darkAmps[size_t(k - 1)] = saw * (k == 1 ? 1.5 : 1.0) / (1.0 + double(k * k) / 10.0);
    }
    std::vector<double> bright = AdditiveCycle(64, brightAmps, &phases);
    std::vector<double> dark = AdditiveCycle(64, darkAmps, &phases);
    Normalise(bright, 1.0);
    Normalise(dark, 0.85);
    std::vector<double> frames;
    const int attack = 20;
    for (int c = 0; c <= attack; ++c)
        for (size_t i = 0; i < 64; ++i) {
            double pos = (double(c) * 64.0 + double(i)) / (double(attack) * 64.0);
            double k = c == attack ? 0.0 : Exp(-3.5 * pos) * (1.0 - pos);
            frames.push_back(k * bright[i] + (1.0 - k) * dark[i]);
        }
    xm::Sample s = Sample16(frames, 56, 12, 128, "bass");
    s.Loop(uint32_t(frames.size() - 64), 64, 1);
    return s;
}

// Three detuned saws as cosines around frame 0: the loop plays forward and
// back (ping-pong), and every partial is symmetric about both turning points.
std::vector<double> PadFrames() {
    const size_t length = 4096;               // half of the 8192-frame period
    const double half = double(2 * length);
    std::vector<double> frames(length, 0.0);
    Noise signs(211);
    for (int detune : {127, 128, 129}) {
        for (int h = 1; h <= 10; ++h) {
            double amp = (detune == 128 ? 1.0 : 0.8) / (double(h) * (1.0 + double(h * h) / 20.0));
            if (signs.Next() < 0) amp = -amp;
            double k = double(detune * h);
            for (size_t i = 0; i < length; ++i) frames[i] += amp * Sine(2.0 * kPi * k * double(i) / half + 0.5 * kPi);
        }
    }
    return frames;
}

xm::Sample Pad(const char* name, uint8_t volume) {
    xm::Sample s = Sample16(PadFrames(), volume, 12, 128, name);
    s.Loop(0, uint32_t(s.frames.size()), 2);
    return s;
}

xm::Sample Piano() {
    // Partials that decay at their own rates, then a frozen last cycle that loops;
    // the volume envelope does the rest of the decay.
    const size_t attack = 4096;
    std::vector<double> frames;
    const double amps[6] = {1.0, 0.45, 0.25, 0.18, 0.0, 0.08};
    const double decays[6] = {0.9, 0.35, 0.2, 0.08, 1.0, 0.04};
    for (size_t i = 0; i < attack + 64; ++i) {
        double t = double(i < attack ? i : attack) / kRate;
        double v = 0.0;
        for (int h = 0; h < 6; ++h)
            v += amps[h] * Exp(-t / decays[h]) * Sine(2.0 * kPi * double((h + 1) * i) / 64.0);
        // A hammer knock: a little inharmonic partial in the first milliseconds.
        v += 0.3 * Exp(-t / 0.01) * Sine(2.0 * kPi * 7.3 * double(i) / 64.0);
        frames.push_back(v);
    }
    xm::Sample s = Sample16(frames, 44, 12, 96, "piano");
    s.Loop(uint32_t(attack), 64, 1);
    return s;
}

xm::Sample Pluck() {
    Wave w = PluckedString(kRate, 64, 7000, 0.982, 0.8, 223);
    FadeEdges(w.frames, 0, 1200);
    return Sample16(w.frames, 40, 12, 170, "pluck");
}

xm::Sample Lead() {
    std::vector<double> frames;
    const int cycles = 64;
    for (int c = 0; c < cycles; ++c) {
        double duty = 0.35 + 0.1 * Sine(2.0 * kPi * double(c) / double(cycles));
        std::vector<double> pulse = PulseCycle(64, 20, duty);
        std::vector<double> saw = SawCycle(64, 20);
        for (size_t i = 0; i < 64; ++i) frames.push_back(0.6 * pulse[i] + 0.5 * saw[i]);
    }
    xm::Sample s = Sample16(frames, 44, 12, 140, "lead");
    s.Loop(0, uint32_t(frames.size()), 1);
    return s;
}

void AddInstruments(xm::Module& m) {
    m.AddInstrument("kick").samples.push_back(Kick());
    m.AddInstrument("snare").samples.push_back(Snare());
    m.AddInstrument("closed hat").samples.push_back(Hat(1700, 0.02, 307, "closed hat", 36));
    m.AddInstrument("open hat").samples.push_back(Hat(7200, 0.09, 311, "open hat", 30));

    xm::Instrument& bass = m.AddInstrument("bass");
    bass.samples.push_back(Bass());
    bass.volume = Envelope({{0, 64}, {6, 54}, {40, 46}});
    bass.volume.sustain = true;
    bass.volume.sustainPoint = 2;
    bass.fadeout = 2400;

    xm::Instrument& pad = m.AddInstrument("pad");
    pad.samples.push_back(Pad("pad", 40));
    pad.volume = Envelope({{0, 0}, {24, 64}, {56, 50}});
    pad.volume.sustain = true;
    pad.volume.sustainPoint = 2;
    pad.panning = Envelope({{0, 32}, {64, 44}, {128, 20}, {192, 32}});   // a slow drift across
    pad.panning.loop = true;
    pad.panning.loopStart = 0;
    pad.panning.loopEnd = 3;
    pad.fadeout = 500;
    pad.vibratoType = 0;
    pad.vibratoSweep = 60;
    pad.vibratoDepth = 3;
    pad.vibratoRate = 6;

    // The same strings, gated in sixteenths by a looping volume envelope.
    xm::Instrument& gate = m.AddInstrument("gated pad");
    gate.samples.push_back(Pad("gated pad", 44));
    gate.volume = Envelope({{0, 64}, {2, 60}, {3, 16}, {5, 12}, {6, 64}});
    gate.volume.loop = true;
    gate.volume.loopStart = 0;
    gate.volume.loopEnd = 4;
    gate.fadeout = 1200;

    xm::Instrument& piano = m.AddInstrument("piano");
    piano.samples.push_back(Piano());
    piano.volume = Envelope({{0, 64}, {20, 44}, {80, 26}, {200, 10}, {400, 0}});
    piano.fadeout = 900;

    m.AddInstrument("pluck").samples.push_back(Pluck());

    xm::Instrument& lead = m.AddInstrument("lead");
    lead.samples.push_back(Lead());
    lead.volume = Envelope({{0, 0}, {2, 64}, {12, 56}, {60, 50}});
    lead.volume.sustain = true;
    lead.volume.sustainPoint = 3;
    lead.fadeout = 700;
    lead.vibratoType = 0;
    lead.vibratoSweep = 40;
    lead.vibratoDepth = 8;
    lead.vibratoRate = 18;
}

// --- Parts -------------------------------------------------------------------

const std::vector<Hit> kKit = {
    {'K', kKick, Note("C4"), 0},            {'k', kKick, Note("C4"), Vol(40)},
    {'S', kSnare, Note("C4"), 0},           {'s', kSnare, Note("C4"), Vol(20)},
    {'H', kClosedHat, Note("C4"), Vol(34)}, {'h', kClosedHat, Note("C4"), Vol(20)},
    {'O', kOpenHat, Note("C4"), Vol(30)},   {'o', kOpenHat, Note("C4"), Vol(18)},
};

bool InChord(const Chord& c, int note) {
    int pc = (note - 1) % 12;
    int third = (c.root + (c.minor ? 3 : 4)) % 12, fifth = (c.root + 7) % 12;
    return pc == c.root || pc == third || pc == fifth;
}

// The note a third below in D minor (C# counts as the scale's seventh).
int ThirdBelow(int note) {
    static const int kScale[7] = {2, 4, 5, 7, 9, 10, 0};   // D E F G A Bb C
    int pc = (note - 1) % 12;
    int degree = pc == 1 ? 6 : -1;
    for (int i = 0; i < 7; ++i)
        if (kScale[i] == pc) degree = i;
    if (degree < 0) return note - 3;
    int below = kScale[(degree + 5) % 7];
    return note - (pc - below + 12) % 12;
}

// Two pad voices that move as little as possible from chord to chord; a voice
// whose note stays is held, not struck again.
struct PadVoices {
    int low = 0, high = 0;
};

PadVoices VoiceLead(const Chord& c, PadVoices previous) {
    PadVoices best;
    int bestCost = 1 << 30;
    for (int a = Note("G3"); a <= Note("G4"); ++a) {
        if (!InChord(c, a)) continue;
        for (int b = a + 3; b <= a + 9 && b <= Note("C5"); ++b) {
            if (!InChord(c, b) || (a - b) % 12 == 0) continue;
            int third = (c.root + (c.minor ? 3 : 4)) % 12;
            bool hasThird = (a - 1) % 12 == third || (b - 1) % 12 == third;
            int cost = previous.low ? std::abs(a - previous.low) + std::abs(b - previous.high)
                                    : std::abs(a - Note("A3")) + std::abs(b - Note("E4"));
            if (!hasThird) cost += 3;
            if (cost < bestCost) { bestCost = cost; best = {a, b}; }
        }
    }
    return best;
}

// Pads over the chords, one chord a bar; `strum` delays the upper voice by ticks.
void Pads(Sheet& s, int row, const std::vector<Chord>& chords, int instrument, int volume, PadVoices& voices,
          int strum = 0) {
    bool first = true;
    for (const Chord& c : chords) {
        PadVoices next = VoiceLead(c, voices);
        if (first || next.low != voices.low) {
            s.NoteAt(row, kPadA, next.low, instrument, Vol(volume));
            s.Effect(row, kPadA, kPanning, 0x50);
        }
        if (first || next.high != voices.high) {
            s.NoteAt(row, kPadB, next.high, instrument, Vol(volume));
            if (strum) {
                // The delayed note takes the sample's panning when it starts; it moves aside a row later.
                s.Effect(row, kPadB, kExtended, kNoteDelay | strum);
                s.Effect(row + 1, kPadB, kPanning, 0xB0);
            } else {
                s.Effect(row, kPadB, kPanning, 0xB0);
            }
        }
        voices = next;
        first = false;
        row += kBar;
    }
}

// A bass figure per bar: R root, F fifth, O octave, T third, r key-off; '>'
// after a length glides into the next bar's root over that note.
void BassLine(Sheet& s, int row, const std::vector<Chord>& chords, const std::string& figure, int volume = 0) {
    for (size_t n = 0; n < chords.size(); ++n) {
        const Chord& chord = chords[n];
        int r = row;
        size_t i = 0;
        FigureStep step;
        const int lowest = Note("D2");
        while (NextFigureStep(figure, &i, '>', &step)) {
            int length = step.length;
            bool glide = step.marked;
            int note = FigureTone(chord, step.what, lowest);
            if (note) s.NoteAt(r, kBassCh, note, kBass, volume ? Vol(volume) : 0);
            else s.NoteAt(r, kBassCh, kKeyOff, 0);
            if (glide && n + 1 < chords.size()) {
                // Start the glide halfway through the note.
                int target = ChordTone(chords[n + 1], 0, lowest);
                s.NoteAt(r + length / 2, kBassCh, target, 0);
                s.Effect(r + length / 2, kBassCh, kTonePorta, 0x20);
                for (int k = length / 2 + 1; k < length; ++k) s.Effect(r + k, kBassCh, kTonePorta, 0);
            }
            r += length;
        }
        row += kBar;
    }
}

// Broken chords on the arpeggio channel: chord-tone indices, one every `step` rows.
void Broken(Sheet& s, int row, const std::vector<Chord>& chords, const std::vector<int>& tones, int step,
            int instrument, int volume, int lowest) {
    for (const Chord& chord : chords) {
        for (int i = 0; i * step < kBar; ++i)
            s.NoteAt(row + i * step, kArp, ChordTone(chord, tones[size_t(i) % tones.size()], lowest), instrument,
                     Vol(volume));
        row += kBar;
    }
}

// Held chords through the arpeggio effect: the root sounds with the third and
// fifth cycling on every tick.
void ChipChords(Sheet& s, int row, const std::vector<Chord>& chords, int volume) {
    for (const Chord& chord : chords) {
        s.NoteAt(row, kArp, ChordTone(chord, 0, Note("D4")), kPiano, Vol(volume));
        for (int k = 0; k < kBar; ++k) s.Effect(row + k, kArp, kArpeggio, chord.minor ? 0x37 : 0x47);
        row += kBar;
    }
}

// The lead line. Marks: /s glides into the note (tone portamento) instead of
// striking it, /v adds a vibrato from the second beat, /f lets the note fall
// away in its last rows, /w swells the note from soft.
void Melody(Sheet& s, int row, const std::string& text, int volume) {
    for (const Event& e : Line(text)) {
        int r = row + e.row;
        if (e.note == 0) { s.NoteAt(r, kLeadCh, kKeyOff, 0); continue; }
        if (e.note < 0) continue;
        if (e.mark == 's') {
            s.NoteAt(r, kLeadCh, e.note, 0);
            for (int k = 0; k < e.length && k < 4; ++k) s.Effect(r + k, kLeadCh, kTonePorta, k == 0 ? 0x0C : 0);
        } else {
            s.NoteAt(r, kLeadCh, e.note, kLead, Vol(e.mark == 'w' ? volume / 3 : volume));
        }
        if (e.mark == 'v')
            for (int k = 4; k < e.length; ++k) s.Effect(r + k, kLeadCh, kVibrato, k == 4 ? 0x62 : 0);
        if (e.mark == 'w')
            for (int k = 1; k < e.length && k < 6; ++k) s.Effect(r + k, kLeadCh, kVolumeSlide, 0x40);
        if (e.mark == 'f') {
            for (int k = e.length - 3; k < e.length; ++k) s.Effect(r + k, kLeadCh, kPortaDown, k == e.length - 3 ? 0x0A : 0);
            s.Effect(r + e.length - 1, kLeadCh, kVolumeSlide, 0x0F);
        }
    }
}

// The echo: the lead again a dotted eighth later, softer and on the other side.
void Echo(Sheet& s, int fromRow, int toRow, int volume) {
    for (int r = fromRow; r + 3 < toRow; ++r) {
        const xm::Cell lead = s.At(r, kLeadCh);
        if (!lead.note) continue;
        int e = r + 3;
        if (lead.note == kKeyOff) { s.NoteAt(e, kEcho, kKeyOff, 0); continue; }
        if (lead.instrument) {
            s.NoteAt(e, kEcho, lead.note, kLead, Vol(volume));
            s.Effect(e, kEcho, kPanning, 0x40);
        } else {
            s.NoteAt(e, kEcho, lead.note, 0);
            s.Effect(e, kEcho, kTonePorta, 0x0C);
        }
    }
}

// Closed hats in sixteenths with a swing: every second sixteenth comes two ticks late.
void SwingHats(Sheet& s, int row, int bars, const char* accents) {
    for (int i = 0; i < bars * kBar; ++i) {
        char a = accents[i % 16];
        if (a == '.') continue;
        Drums(s, kHats, row + i, std::string(1, a), kKit);
        if (i % 2 == 1) s.Effect(row + i, kHats, kExtended, kNoteDelay | 2);
    }
}

const std::vector<std::string> kVerse1 = {"Dm", "Bb", "F", "C"};
const std::vector<std::string> kVerse2 = {"Dm", "Bb", "C", "A"};
const std::vector<std::string> kChorus1 = {"Bb", "C", "F", "Dm"};
const std::vector<std::string> kChorus2 = {"Bb", "C", "A", "A"};
const std::vector<std::string> kBuild = {"Gm", "Bb", "C", "A"};

const char* const kVerseLine =
    "A4:2 D5:2 E5:2 F5:6 E5:2 D5:2 | F5:2 G5:2 A5:2 Bb5:6 A5:2 F5:2 | A5:6 G5:2 F5:4 E5:2 F5:2 | G5:8/v E5:4 C5:4 |"
    "A4:2 D5:2 E5:2 F5:6 E5:2 D5:2 | F5:2 G5:2 A5:2 D6:6 C6:2 Bb5:2 | C6:4 Bb5:2 A5:2 G5:4 E5:4 | A5:8/v C#5:4 E5:4";
const char* const kVerseVariation =
    "A4:2 D5:2 E5:2 F5:4 A5:2 G5:2 F5:2 | F5:2 G5:2 A5:2 Bb5:4 D6:2 C6:2 Bb5:2 | C6:6 A5:2 F5:4 G5:2 A5:2 |"
    "G5:6/v E5:2 C5:4 E5:2 G5:2 | A5:2 F5:2 D5:2 F5:4 A5:2 D6:4 | D6:6 C6:2 Bb5:2 A5:2 G5:2 F5:2 |"
    "E5:4 G5:2 C6:2 Bb5:4 G5:4 | A5:4 E5:2 C#5:2 E5:4 A5:4";
const char* const kChorusLine =
    "D6:6 C6:2 Bb5:4 F5:4 | G5:6 A5:2 Bb5:4 C6:4 | A5:12/v G5:2 F5:2 | F5:6 E5:2 D5:8/f |"
    "D6:6 C6:2 Bb5:4 A5:2 Bb5:2 | C6:6/s Bb5:2 A5:4 G5:4 | E5:6 F5:2 G5:4 A5:4 | C#6:12/v r:4";

Sheet Intro() {
    Sheet s(kChannels, 128);
    std::vector<Chord> v = ParseChords(kVerse1);
    PadVoices voices;
    // The first bar plays twice (pattern loop), as the pads breathe in.
    s.Effect(0, kEcho, kExtended, kPatternLoop);
    s.Effect(15, kEcho, kExtended, kPatternLoop | 1);
    Pads(s, 0, v, kPad, 40, voices);
    ChipChords(s, 0, v, 20);
    BassLine(s, 32, ParseChords({"F", "C"}), "R14 r2", 44);
    Drums(s, kHats, 32, "h...h...h...h...h...h...h.h.h.hh", kKit);
    // The second half: drums and the pluck come in.
    Pads(s, 64, v, kPad, 40, voices);
    Broken(s, 64, v, {0, 2, 3, 4, 5, 4, 3, 2}, 2, kPluck, 34, Note("D4"));
    BassLine(s, 64, v, "R2 R2 O2 R2 r2 R2 O2 F2");
    for (int bar = 4; bar < 8; ++bar)
        Drums(s, kDrums, bar * kBar, bar == 7 ? "K...S...K.k.S.SS" : "K.......K.k.....", kKit);
    SwingHats(s, 64, 4, "h.H.h.H.h.H.hhH.");
    s.NoteAt(124, kDrums, Note("C4"), kSnare, Vol(40));
    s.Effect(124, kDrums, kMultiRetrigger, 0x93);   // a growing roll into the verse
    return s;
}

void VerseDrums(Sheet& s, int row, int bars) {
    for (int bar = 0; bar < bars; ++bar)
        Drums(s, kDrums, row + bar * kBar, bar % 4 == 3 ? "K...S..kK.k.S.ss" : "K...S..kK.k.S...", kKit);
}

Sheet Verse(bool variation) {
    Sheet s(kChannels, 128);
    PadVoices voices;
    // The second time round the pads are strummed and a pluck takes the piano's place.
    Pads(s, 0, ParseChords(kVerse1), kPad, 34, voices, variation ? 2 : 0);
    Pads(s, 64, ParseChords(kVerse2), kPad, 34, voices, variation ? 2 : 0);
    if (variation) {
        Broken(s, 0, ParseChords(kVerse1), {0, 2, 3, 4, 5, 4, 3, 2}, 2, kPluck, 28, Note("D4"));
        Broken(s, 64, ParseChords(kVerse2), {0, 2, 3, 4, 5, 4, 3, 2}, 2, kPluck, 28, Note("D4"));
    } else {
        Broken(s, 0, ParseChords(kVerse1), {0, 2, 4, 3}, 4, kPiano, 26, Note("D4"));
        Broken(s, 64, ParseChords(kVerse2), {0, 2, 4, 3}, 4, kPiano, 26, Note("D4"));
    }
    const char* bass = variation ? "R2 R2 O2 R2 F2 R2 O2 R2>" : "R2 R2 O2 R2 r2 R2 O2 R2>";
    BassLine(s, 0, ParseChords(kVerse1), bass);
    BassLine(s, 64, ParseChords(kVerse2), bass);
    VerseDrums(s, 0, 8);
    SwingHats(s, 0, 8, variation ? "h.H.h.O.h.H.h.Hh" : "h.H.h.H.h.H.h.Hh");
    Melody(s, 0, variation ? kVerseVariation : kVerseLine, 44);
    Echo(s, 0, 128, 16);
    return s;
}

Sheet Chorus(bool second) {
    Sheet s(kChannels, 128);
    PadVoices voices;
    Pads(s, 0, ParseChords(kChorus1), kGatePad, 36, voices);
    Pads(s, 64, ParseChords(kChorus2), kGatePad, 36, voices);
    Broken(s, 0, ParseChords(kChorus1), {0, 1, 2, 3, 4, 5, 4, 3, 2, 3, 4, 5, 6, 5, 4, 3}, 1, kPluck, 26, Note("D4"));
    Broken(s, 64, ParseChords(kChorus2), {0, 1, 2, 3, 4, 5, 4, 3, 2, 3, 4, 5, 6, 5, 4, 3}, 1, kPluck, 26, Note("D4"));
    BassLine(s, 0, ParseChords(kChorus1), "R2 R2 O2 R2 R2 R2 O2 F2");
    BassLine(s, 64, ParseChords(kChorus2), "R2 R2 O2 R2 R2 R2 O2 F2");
    for (int bar = 0; bar < 8; ++bar)
        Drums(s, kDrums, bar * kBar, bar == 7 ? "K...S...K.K.SSSS" : "K...S...K...S...", kKit);
    SwingHats(s, 0, 8, "h.O.h.O.h.O.h.Oh");
    // A roll of hats at each half's end: retriggered twice a row.
    for (int r : {60, 61, 62, 63, 124, 125, 126, 127}) s.Effect(r, kHats, kExtended, kRetrigger | 3);
    Melody(s, 0, kChorusLine, 48);
    if (second) {
        // A counter line in thirds below the melody replaces the echo.
        for (const Event& e : Line(kChorusLine)) {
            if (e.note <= 0) { if (e.note == 0) s.NoteAt(e.row, kEcho, kKeyOff, 0); continue; }
            s.NoteAt(e.row, kEcho, ThirdBelow(e.note), kLead, Vol(24));
            s.Effect(e.row, kEcho, kPanning, 0x48);
        }
    } else {
        Echo(s, 0, 128, 16);
    }
    return s;
}

Sheet BreakAndBuild() {
    Sheet s(kChannels, 128);
    PadVoices voices;
    std::vector<Chord> v = ParseChords(kVerse1), b = ParseChords(kBuild);
    Pads(s, 0, v, kPad, 40, voices, 2);
    // A slow tremolo on the lower pad, except where a new note takes its panning.
    for (int r = 17; r < 64; ++r)
        if (!s.At(r, kPadA).effect) s.Effect(r, kPadA, kTremolo, r == 17 ? 0x64 : 0);
    Broken(s, 0, v, {0, 2, 4, 5, 7, 5, 4, 2}, 2, kPluck, 30, Note("D4"));
    BassLine(s, 0, v, "R12 r4", 48);
    Drums(s, kHats, 0, "o.......h...h.......h...h.......h...h.......h...h..hh", kKit);
    // The build: kick on the beat, snare doubling up, the bass climbing.
    Pads(s, 64, b, kPad, 36, voices);
    Broken(s, 64, b, {0, 1, 2, 3, 4, 3, 2, 1}, 2, kPiano, 30, Note("D4"));
    BassLine(s, 64, b, "R2 R2 R2 R2 R2 R2 R2 R2");
    Drums(s, kDrums, 64, "K...K...K...K...K...K...K...K...K...S...K...S...K.S.S.S.S.S.S.S.", kKit);
    s.NoteAt(124, kDrums, Note("C4"), kSnare, Vol(30));
    for (int r = 124; r < 128; ++r) s.Effect(r, kDrums, kMultiRetrigger, r == 124 ? 0x92 : 0);
    for (int r = 120; r < 128; ++r) s.Effect(r, kBassCh, kPortaUp, r == 120 ? 0x06 : 0);
    SwingHats(s, 64, 4, "h.h.h.h.h.h.h.h.");
    Melody(s, 64, "r:16 D5:16/w | E5:16/w | E5:8 C#5:4 E5:4", 44);
    return s;
}

Sheet Turnaround() {
    Sheet s(kChannels, 64);
    PadVoices voices;
    std::vector<Chord> t = ParseChords({"Bb", "C", "Dm", "A"});
    Pads(s, 0, t, kPad, 36, voices);
    Broken(s, 0, t, {0, 2, 4, 3}, 4, kPiano, 30, Note("D4"));
    BassLine(s, 0, t, "R2 R2 O2 R2 F2 R2 O2 R2>");
    VerseDrums(s, 0, 3);
    Drums(s, kDrums, 48, "K...S...K.S.SSSS", kKit);
    SwingHats(s, 0, 4, "h.H.h.H.h.H.h.Hh");
    Melody(s, 0, "F5:6 G5:2 A5:8/v | G5:6 A5:2 Bb5:4 C6:4 | D6:8/v A5:4 F5:4 | E5:4 C#5:4 E5:4 A4:4", 44);
    Echo(s, 0, 64, 16);
    s.Effect(63, kArp, kJump, 2);   // back to the verse
    return s;
}

}  // namespace

xm::Module SecondSong() {
    xm::Module m;
    m.name = "lumbo: night ferry";
    m.tracker = "lumbo compose";
    m.channels = kChannels;
    m.flags = 1;   // linear periods
    m.speed = 6;
    m.tempo = 120;
    std::vector<uint8_t> intro = AddPatterns(m, Intro());
    std::vector<uint8_t> verse = AddPatterns(m, Verse(false));
    std::vector<uint8_t> chorus = AddPatterns(m, Chorus(false));
    std::vector<uint8_t> breakBuild = AddPatterns(m, BreakAndBuild());
    std::vector<uint8_t> verse2 = AddPatterns(m, Verse(true));
    std::vector<uint8_t> chorus2 = AddPatterns(m, Chorus(true));
    std::vector<uint8_t> turn = AddPatterns(m, Turnaround());
    for (const auto* part : {&intro, &verse, &chorus, &breakBuild, &verse2, &chorus2, &turn})
        m.orders.insert(m.orders.end(), part->begin(), part->end());
    m.restartPosition = 2;
    AddInstruments(m);
    return m;
}

}  // namespace compose
