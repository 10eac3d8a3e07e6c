// Song 1: an upbeat A-minor piece for four channels (drums, bass, chords,
// lead) in the classic four-channel style: one-sample instruments, no
// envelopes, Amiga periods, chords from chord samples and arpeggios.
//
// Form (one pattern = four bars of 4/4, 16 rows a bar, 125 BPM):
//   intro (2) | A (2) | A' (2) | B (2) | break (2) | A (2) | B' (2) | A' (2) | bridge | turnaround
// The turnaround jumps back to the first A, so the intro plays once.
#include "songs.h"

#include "harmony.h"
#include "score.h"
#include "synth.h"

namespace compose {
namespace {

enum : int { kKick = 1, kSnare, kHat, kCrash, kBass, kLead, kPluck, kMajor, kMinor };
constexpr int kInstrumentSlots = 31;
constexpr int kChannels = 4;
enum : int { kDrums = 0, kBassCh = 1, kChords = 2, kLeadCh = 3 };

constexpr int kBar = 16;
constexpr double kRate = kBaseRate * 2;   // tonal samples: 64 frames a cycle at C-4

constexpr int Vol(int v) { return 0x10 + v; }
enum : int { kVibrato = 0x04, kJump = 0x0B, kExtended = 0x0E };
enum : int { kNoteCut = 0xC0 };   // ECx

xm::Sample Sample8(std::vector<double> frames, uint8_t volume, int8_t relativeNote, uint8_t panning,
                   const char* name) {
    Normalise(frames, 1.0);
    xm::Sample s = xm::Sample::Pcm8(To8Bit(frames));
    s.volume = volume;
    s.relativeNote = relativeNote;
    s.panning = panning;
    s.name = name;
    return s;
}

// --- Instruments -------------------------------------------------------------

xm::Sample Kick() {
    const double rate = kBaseRate;   // played at C-4: 8363 Hz
    Wave w(rate, 2600);
    Noise noise(11);
    double phase = 0.0, click = 0.0;
    for (size_t i = 0; i < w.Size(); ++i) {
        double t = double(i) / rate;
        double freq = 46.0 + 120.0 * Exp(-t / 0.03);
        phase += freq / rate;
        double body = Sine(2.0 * kPi * phase) * Exp(-t / 0.16);
        click += (noise.Next() - click) * 0.5;
        w.frames[i] = Saturate(1.6 * body) + 0.5 * click * Exp(-t / 0.004);
    }
    FadeEdges(w.frames, 0, 200);
    return Sample8(w.frames, 64, 0, 128, "kick");
}

xm::Sample Snare() {
    Wave w(kRate, 3700);
    Noise noise(23);
    SvFilter f;
    double out[3];
    for (size_t i = 0; i < w.Size(); ++i) {
        double t = double(i) / kRate;
        double tone = (Sine(2.0 * kPi * 185.0 * t) + 0.5 * Sine(2.0 * kPi * 330.0 * t)) * Exp(-t / 0.05);
        f.Step(noise.Next(), 2600.0, kRate, 0.9, out);
        double rattle = (out[1] + 0.6 * out[2]) * Exp(-t / 0.09);
        w.frames[i] = 0.8 * tone + rattle;
    }
    FadeEdges(w.frames, 0, 300);
    return Sample8(w.frames, 56, 12, 128, "snare");
}

xm::Sample Hat() {
    const double rate = kBaseRate * 4;
    Wave w(rate, 1900);
    Noise noise(37);
    SvFilter f;
    double out[3];
    for (size_t i = 0; i < w.Size(); ++i) {
        double t = double(i) / rate;
        f.Step(noise.Next(), 7500.0, rate, 1.2, out);
        w.frames[i] = out[2] * Exp(-t / 0.014);
    }
    FadeEdges(w.frames, 0, 200);
    return Sample8(w.frames, 40, 24, 128, "hat");
}

xm::Sample Crash() {
    Wave w(kRate, 12000);
    Noise noise(41);
    SvFilter f;
    double out[3];
    // Noise through a high-pass, with a few inharmonic square partials for the metal.
    const double partials[4] = {341.0, 517.0, 769.0, 1097.0};
    for (size_t i = 0; i < w.Size(); ++i) {
        double t = double(i) / kRate;
        double metal = 0.0;
        for (double p : partials) metal += Sine(2.0 * kPi * p * t) > 0 ? 0.25 : -0.25;
        f.Step(noise.Next() + 0.3 * metal, 4200.0, kRate, 1.0, out);
        w.frames[i] = (out[2] + 0.4 * out[1]) * (0.3 * Exp(-t / 0.03) + 0.7 * Exp(-t / 0.28));
    }
    FadeEdges(w.frames, 0, 2000);
    return Sample8(w.frames, 40, 12, 128, "crash");
}

// A cycle-looped sound whose timbre moves from `bright` to `dark` over `attackCycles`.
std::vector<double> Morph(const std::vector<double>& bright, const std::vector<double>& dark,
                          int attackCycles, double fadeInFrames) {
    size_t n = bright.size();
    std::vector<double> frames;
    for (int c = 0; c <= attackCycles; ++c) {
        for (size_t i = 0; i < n; ++i) {
            double pos = (double(c) * double(n) + double(i)) / (double(attackCycles) * double(n));
            double k = c == attackCycles ? 0.0 : Exp(-4.0 * pos);
            double fade = double(frames.size()) < fadeInFrames ? double(frames.size()) / fadeInFrames : 1.0;
            frames.push_back(fade * (k * bright[i] + (1.0 - k) * dark[i]));
        }
    }
    return frames;
}

xm::Sample Bass() {
    std::vector<double> bright = SawCycle(64, 28);
    std::vector<double> darkAmps(28, 0.0);
    for (int k = 1; k <= 28; ++k) darkAmps[size_t(k - 1)] = (k == 1 ? 1.6 : 1.0) / (double(k) * (1.0 + double(k * k) / 12.0));
    std::vector<double> zero(28, 0.0);
    std::vector<double> dark = AdditiveCycle(64, darkAmps, &zero);
    Normalise(dark, 0.9);
    Normalise(bright, 1.0);
    std::vector<double> frames = Morph(bright, dark, 24, 8.0);
    xm::Sample s = Sample8(frames, 52, 12, 128, "bass");
    s.Loop(uint32_t(frames.size() - 64), 64, 1);
    return s;
}

xm::Sample Lead() {
    // A pulse whose width sweeps slowly over 128 cycles: the loop breathes.
    std::vector<double> frames;
    const int cycles = 128;
    for (int c = 0; c < cycles; ++c) {
        double duty = 0.3 + 0.12 * Sine(2.0 * kPi * double(c) / double(cycles));
        std::vector<double> cycle = PulseCycle(64, 18, duty);
        frames.insert(frames.end(), cycle.begin(), cycle.end());
    }
    xm::Sample s = Sample8(frames, 40, 12, 150, "lead");
    s.Loop(0, uint32_t(frames.size()), 1);
    return s;
}

xm::Sample Pluck() {
    Wave w = PluckedString(kRate, 64, 9000, 0.985, 0.75, 53);
    FadeEdges(w.frames, 0, 1500);
    return Sample8(w.frames, 44, 12, 100, "pluck");
}

// A chord in just intonation: tones at multiples of one unit frequency, so one
// short loop holds whole cycles of every tone. `units` are the tones' multiples;
// the loop holds one cycle of the unit and `rootUnits` cycles of the root.
xm::Sample ChordPad(const std::vector<int>& units, int rootUnits, const char* name, uint32_t seed) {
    size_t loop = size_t(64 * rootUnits);
    std::vector<double> amps(size_t(units.back()) * 8, 0.0);
    std::vector<double> phases(amps.size(), 0.0);
    Noise noise(seed);
    for (double& p : phases) p = 0.5 * (noise.Next() + 1.0);
    for (int u : units)
        for (int h = 1; h <= 8; ++h) amps[size_t(u * h - 1)] += 1.0 / (double(h) * (1.0 + double(h * h) / 10.0));
    std::vector<double> cycle = AdditiveCycle(loop, amps, &phases);
    std::vector<double> frames;
    size_t repeats = loop >= 512 ? 2 : 8;
    for (size_t r = 0; r < repeats; ++r) frames.insert(frames.end(), cycle.begin(), cycle.end());
    for (size_t i = 0; i < 400; ++i) frames[i] *= double(i) / 400.0;
    xm::Sample s = Sample8(frames, 30, 12, 96, name);
    s.Loop(uint32_t(frames.size() - loop), uint32_t(loop), 1);
    return s;
}

void AddInstruments(xm::Module& m) {
    const char* names[] = {"kick", "snare", "hat", "crash", "bass", "lead", "pluck", "major chord",
                           "minor chord"};
    std::vector<xm::Sample> samples = {
        Kick(), Snare(), Hat(), Crash(), Bass(), Lead(), Pluck(),
        ChordPad({2, 3, 4, 5}, 2, "major chord", 61),        // root, fifth, octave, tenth
        ChordPad({10, 15, 20, 24}, 10, "minor chord", 67),   // root, fifth, octave, minor tenth
    };
    for (int i = 0; i < kInstrumentSlots; ++i) {
        xm::Instrument& ins = m.AddInstrument(i < 9 ? names[i] : "");
        // Unused slots still carry one sample, of length 0, as the format's
        // classic converters wrote them.
        ins.samples.push_back(i < 9 ? samples[size_t(i)] : xm::Sample::Pcm8({}));
    }
}

// --- Parts -------------------------------------------------------------------

const std::vector<Hit> kKit = {
    {'K', kKick, Note("C4"), 0},        {'k', kKick, Note("C4"), Vol(40)},
    {'S', kSnare, Note("C4"), 0},       {'s', kSnare, Note("C4"), Vol(22)},
    {'H', kHat, Note("C4"), Vol(34)},   {'h', kHat, Note("C4"), Vol(22)},
    {'o', kCrash, Note("C5"), Vol(22)}, {'C', kCrash, Note("C4"), Vol(44)},
};

// A bass figure per bar: R root, F fifth, O octave, T third, r rest; 'x' after a
// length makes the note short (cut in its last row).
void BassLine(Sheet& s, int row, const std::vector<Chord>& chords, const std::string& figure, int volume = 0) {
    for (const Chord& chord : chords) {
        int r = row;
        size_t i = 0;
        FigureStep step;
        while (NextFigureStep(figure, &i, 'x', &step)) {
            int length = step.length;
            int note = FigureTone(chord, step.what, Note("E2"));
            if (note) {
                s.NoteAt(r, kBassCh, note, kBass, volume ? Vol(volume) : 0);
                if (step.marked) s.Effect(r + length - 1, kBassCh, kExtended, kNoteCut | 3);
            } else {
                s.NoteAt(r, kBassCh, kKeyOff, 0);
            }
            r += length;
        }
        row += kBar;
    }
}

// Chord samples on a rhythm (lengths in rows, one bar's worth); the pad rings
// until the next hit or a rest (r).
void Pads(Sheet& s, int row, const std::vector<Chord>& chords, const std::vector<int>& rhythm, int volume) {
    for (const Chord& chord : chords) {
        int r = row;
        for (int length : rhythm) {
            if (length < 0) { s.NoteAt(r, kChords, kKeyOff, 0); r -= length; continue; }
            s.NoteAt(r, kChords, ChordTone(chord, 0, Note("E3")), chord.minor ? kMinor : kMajor, Vol(volume));
            r += length;
        }
        row += kBar;
    }
}

// Broken chords: chord-tone indices, one every `step` rows, over each bar.
void Arpeggio(Sheet& s, int channel, int row, const std::vector<Chord>& chords, const std::vector<int>& tones,
              int step, int lowest, int volume) {
    for (const Chord& chord : chords) {
        for (int i = 0; i * step < kBar; ++i) {
            int tone = tones[size_t(i) % tones.size()];
            s.NoteAt(row + i * step, channel, ChordTone(chord, tone, lowest), kPluck, Vol(volume));
        }
        row += kBar;
    }
}

// The lead: notes from a line; notes of six rows or more get a vibrato that
// starts after a beat, and rests release the note.
void Melody(Sheet& s, int row, const std::string& text, int volume, int transpose = 0) {
    for (const Event& e : Line(text)) {
        int r = row + e.row;
        if (e.note > 0) {
            s.NoteAt(r, kLeadCh, e.note + transpose, kLead, Vol(volume));
            for (int k = 4; k < e.length; ++k) s.Effect(r + k, kLeadCh, kVibrato, k == 4 ? 0x51 : 0x00);
        } else if (e.note == 0) {
            s.NoteAt(r, kLeadCh, kKeyOff, 0);
        }
    }
}

// A snare roll over `rows` rows, growing from `from` to `to` in volume.
void Roll(Sheet& s, int row, int rows, int from, int to) {
    for (int i = 0; i < rows; ++i) s.NoteAt(row + i, kDrums, Note("C4"), kSnare, Vol(from + (to - from) * i / (rows - 1)));
}

const std::vector<std::string> kVerse = {"Am", "F", "C", "G"};
const std::vector<std::string> kVerseEnd = {"Am", "F", "G", "E"};
const std::vector<std::string> kThemeB = {"F", "G", "Em", "Am"};
const std::vector<std::string> kThemeBEnd = {"Dm", "G", "C", "E"};

const char* const kThemeA =
    "E5:4 A5:4 G5:2 E5:2 D5:2 E5:2 | C5:6 D5:2 E5:4 F5:2 E5:2 | G5:4 E5:2 C5:2 D5:4 E5:2 G5:2 | D5:8 B4:4 r:4 |"
    "E5:4 A5:4 B5:2 C6:2 B5:2 A5:2 | C6:6 A5:2 F5:4 A5:2 G5:2 | G5:4 F5:2 E5:2 D5:4 B4:2 D5:2 | E5:6 D5:2 C5:2 B4:2 G#4:4";
const char* const kThemeAVariation =
    "A5:2 E5:2 A5:2 C6:2 B5:2 A5:2 G5:2 E5:2 | F5:2 A5:2 C6:4 D6:2 C6:2 A5:2 F5:2 | G5:2 C6:2 E6:4 D6:2 C6:2 G5:4 |"
    "B5:6 A5:2 G5:4 D5:4 | E5:2 A5:2 C6:2 E6:2 D6:2 C6:2 B5:2 A5:2 | C6:6 A5:2 F5:2 G5:2 A5:2 C6:2 |"
    "B5:4 D6:2 B5:2 G5:4 A5:2 B5:2 | G#5:4 B5:4 E6:8";
const char* const kThemeBLine =
    "A5:6 G5:2 F5:4 C5:4 | D5:6 E5:2 F5:4 G5:4 | E5:6 G5:2 B5:4 A5:2 G5:2 | A5:12 r:4 |"
    "F5:6 E5:2 D5:4 A5:4 | B5:6 A5:2 G5:4 D6:4 | E6:6 D6:2 C6:4 G5:4 | G#5:6 A5:2 B5:4 E5:4";
const char* const kThemeBVariation =
    "A5:4 C6:2 A5:2 G5:2 F5:2 C5:4 | D5:4 E5:2 F5:2 G5:4 B5:4 | E6:4 D6:2 B5:2 G5:4 A5:2 B5:2 | C6:8 B5:2 A5:2 E5:4 |"
    "F5:4 A5:2 D6:2 C6:4 A5:4 | B5:4 D6:2 G6:2 F6:4 D6:4 | E6:4 G6:4 E6:2 D6:2 C6:2 G5:2 | B5:4 G#5:4 E5:2 F#5:2 G#5:2 B5:2";
const char* const kBreakLine =
    "r:8 E5:2 G5:2 A5:4 | C6:10 B5:2 A5:4 | G5:8 E5:4 C5:4 | D5:12 r:4 |"
    "r:8 E5:2 G5:2 A5:4 | C6:8 D6:4 C6:4 | B5:8 G5:4 D5:4 | E5:8 G#5:8";

const std::vector<int> kStabs = {6, 6, 4};
const std::vector<int> kUpDown = {0, 2, 3, 4, 5, 4, 3, 2};

// The intro: pads and a plucked arpeggio; the bass, then the drums come in.
Sheet Intro() {
    Sheet s(kChannels, 128);
    std::vector<Chord> a = ParseChords(kVerse);
    Pads(s, 0, a, {16}, 34);
    Pads(s, 64, a, {16}, 34);
    Arpeggio(s, kLeadCh, 0, a, {0, 2, 3, 4}, 4, Note("A3"), 30);
    Arpeggio(s, kLeadCh, 64, a, kUpDown, 2, Note("A3"), 34);
    BassLine(s, 0, a, "R16", 40);
    BassLine(s, 64, a, "R4 r4 R2x R2x O2x R2x");
    s.NoteAt(0, kDrums, Note("C4"), kCrash, Vol(30));
    Drums(s, kDrums, 32, "h...h...h...h.h.h...h...h...hhh.", kKit);
    for (int bar = 4; bar < 7; ++bar) Drums(s, kDrums, bar * kBar, "K.h.K.h.K.h.K.hh", kKit);
    Drums(s, kDrums, 7 * kBar, "K.h.K.h.", kKit);
    Roll(s, 7 * kBar + 8, 8, 16, 48);
    return s;
}

void MainGroove(Sheet& s, int row, int bars, bool crash) {
    for (int bar = 0; bar < bars; ++bar) {
        const char* groove = bar == 3 ? "K.H.S.H.K.HKS.SS" : bar == 7 ? "K.H.S.HkK.H.SsSS" : "K.H.S.H.K.HKS.H.";
        Drums(s, kDrums, row + bar * kBar, groove, kKit);
    }
    if (crash) s.NoteAt(row, kDrums, Note("C4"), kCrash, Vol(44));
}

Sheet ThemeA() {
    Sheet s(kChannels, 128);
    Pads(s, 0, ParseChords(kVerse), kStabs, 30);
    Pads(s, 64, ParseChords(kVerseEnd), kStabs, 30);
    BassLine(s, 0, ParseChords(kVerse), "R2x R2x O2x R2x R2x R2x O2x F2x");
    BassLine(s, 64, ParseChords(kVerseEnd), "R2x R2x O2x R2x R2x R2x O2x F2x");
    MainGroove(s, 0, s.rows / kBar, true);
    Melody(s, 0, kThemeA, 44);
    return s;
}

Sheet ThemeAVariation() {
    Sheet s(kChannels, 128);
    Arpeggio(s, kChords, 0, ParseChords(kVerse), kUpDown, 1, Note("A3"), 26);
    Arpeggio(s, kChords, 64, ParseChords(kVerseEnd), kUpDown, 1, Note("A3"), 26);
    BassLine(s, 0, ParseChords(kVerse), "R2x O2x R2x O2x R2x O2x F2x O2x");
    BassLine(s, 64, ParseChords(kVerseEnd), "R2x O2x R2x O2x R2x O2x F2x O2x");
    MainGroove(s, 0, s.rows / kBar, true);
    Melody(s, 0, kThemeAVariation, 42);
    return s;
}

Sheet ThemeB(bool variation) {
    Sheet s(kChannels, 128);
    if (variation) {
        Pads(s, 0, ParseChords(kThemeB), kStabs, 30);
        Pads(s, 64, ParseChords(kThemeBEnd), kStabs, 30);
    } else {
        Pads(s, 0, ParseChords(kThemeB), {8, 8}, 32);
        Pads(s, 64, ParseChords(kThemeBEnd), {8, 8}, 32);
    }
    BassLine(s, 0, ParseChords(kThemeB), variation ? "R2x R2x O2x R2x F2x R2x O2x R2x" : "R6 R2x F4 O4");
    BassLine(s, 64, ParseChords(kThemeBEnd), variation ? "R2x R2x O2x R2x F2x R2x O2x R2x" : "R6 R2x F4 O4");
    for (int bar = 0; bar < 8; ++bar) {
        const char* groove = variation ? (bar % 4 == 3 ? "K.H.S.H.K.HKS.SS" : "K.H.S.H.K.HKS.H.")
                                       : (bar % 4 == 3 ? "K.h.h.hkS.h.SsSs" : "K.h.h.hkS.h.h.h.");
        Drums(s, kDrums, bar * kBar, groove, kKit);
    }
    s.NoteAt(0, kDrums, Note("C4"), kCrash, Vol(40));
    Melody(s, 0, variation ? kThemeBVariation : kThemeBLine, variation ? 42 : 44);
    return s;
}

Sheet Break() {
    Sheet s(kChannels, 128);
    std::vector<Chord> a = ParseChords(kVerse), b = ParseChords(kVerseEnd);
    Arpeggio(s, kChords, 0, a, {0, 1, 2, 3, 4, 3, 2, 1}, 2, Note("A3"), 30);
    Arpeggio(s, kChords, 64, b, {0, 2, 3, 5, 4, 3, 2, 3}, 2, Note("A3"), 32);
    BassLine(s, 0, a, "R12 F4", 36);
    BassLine(s, 64, b, "R8 R4x F4x", 44);
    s.NoteAt(0, kDrums, Note("C4"), kCrash, Vol(40));
    Drums(s, kDrums, 32, "....h.......h.......h.......h...", kKit);
    for (int bar = 4; bar < 7; ++bar) Drums(s, kDrums, bar * kBar, "k...h.k.k...h...", kKit);
    Drums(s, kDrums, 7 * kBar, "K...K...", kKit);
    Roll(s, 7 * kBar + 8, 8, 20, 56);
    Melody(s, 0, kBreakLine, 36);
    return s;
}

Sheet Bridge() {
    Sheet s(kChannels, 64);
    std::vector<Chord> c = ParseChords({"Dm", "Em", "F", "G"});
    Pads(s, 0, c, {8, 6, 2}, 30);
    BassLine(s, 0, c, "R2x R2x R2x R2x O2x R2x F2x R2x");
    for (int bar = 0; bar < 4; ++bar) Drums(s, kDrums, bar * kBar, bar == 3 ? "K.H.S.H.K.HKSSSS" : "K.H.S.HkK.H.S.H.", kKit);
    s.NoteAt(0, kDrums, Note("C4"), kCrash, Vol(40));
    Melody(s, 0,
           "D5:2 F5:2 A5:2 D6:2 C6:2 A5:2 F5:2 A5:2 | E5:2 G5:2 B5:2 E6:2 D6:2 B5:2 G5:2 B5:2 |"
           "F5:2 A5:2 C6:2 F6:2 E6:2 C6:2 A5:2 C6:2 | G5:2 B5:2 D6:2 G6:2 F6:4 D6:4", 40);
    return s;
}

Sheet Turnaround() {
    Sheet s(kChannels, 64);
    std::vector<Chord> c = ParseChords({"Am", "F", "Dm", "E"});
    Pads(s, 0, c, kStabs, 30);
    BassLine(s, 0, ParseChords({"Am", "F", "Dm"}), "R2x R2x O2x R2x R2x R2x O2x F2x");
    BassLine(s, 48, ParseChords({"E"}), "R4x F4x O4x F4x");
    MainGroove(s, 0, s.rows / kBar, true);
    Drums(s, kDrums, 48, "K.H.S.H.", kKit);
    Roll(s, 56, 8, 24, 60);
    Melody(s, 0, "E6:6 C6:2 A5:8 | A5:4 C6:4 F6:4 E6:4 | D6:6 C6:2 A5:4 F5:4 | G#5:4 B5:4 E6:4 D6:2 B5:2", 42);
    s.Effect(63, kBassCh, kJump, 2);   // back to the first A: the intro plays once
    return s;
}

}  // namespace

xm::Module FirstSong() {
    xm::Module m;
    m.name = "lumbo: first light";
    m.tracker = "lumbo compose";
    m.channels = kChannels;
    m.flags = 0;   // Amiga periods
    m.speed = 6;
    m.tempo = 125;
    m.restartPosition = 0;

    std::vector<uint8_t> intro = AddPatterns(m, Intro());
    std::vector<uint8_t> a = AddPatterns(m, ThemeA());
    std::vector<uint8_t> a2 = AddPatterns(m, ThemeAVariation());
    std::vector<uint8_t> b = AddPatterns(m, ThemeB(false));
    std::vector<uint8_t> brk = AddPatterns(m, Break());
    std::vector<uint8_t> b2 = AddPatterns(m, ThemeB(true));
    std::vector<uint8_t> bridge = AddPatterns(m, Bridge());
    std::vector<uint8_t> turn = AddPatterns(m, Turnaround());

    for (const auto* part : {&intro, &a, &a2, &b, &brk, &a, &b2, &a2, &bridge, &turn})
        m.orders.insert(m.orders.end(), part->begin(), part->end());
    // The order table is written in full: the unused entries name pattern 255,
    // which the file does not hold, and the song length covers all 256.
    m.orders.resize(256, 255);
    AddInstruments(m);
    return m;
}

}  // namespace compose
