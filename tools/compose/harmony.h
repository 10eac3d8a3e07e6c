// Chords by name, and the notes that bass lines and arpeggios take from them.
#pragma once
#include <string>
#include <vector>

namespace compose {

struct Chord {
    int root;       // pitch class, C = 0
    bool minor;
};

// "Am", "F", "C#m", "Bb".
Chord ParseChord(const std::string& name);
std::vector<Chord> ParseChords(const std::vector<std::string>& names);

// Chord tone `index` (0 root, 1 third, 2 fifth, 3 the root an octave up, ...),
// as a note number whose root lies in the octave starting at `lowest` (a note number).
int ChordTone(const Chord& chord, int index, int lowest);

// One step of a bass figure such as "R4 F2x r2": a letter (R root, T third,
// F fifth, O octave; anything else is a rest), a length in rows, and whether
// the length is followed by the song's mark character.
struct FigureStep {
    char what;
    int  length;
    bool marked;
};
// Reads the step at *i (skipping spaces) and moves *i past it; false at the end.
bool NextFigureStep(const std::string& figure, size_t* i, char mark, FigureStep* step);
// The chord tone a figure letter names at or above lowest; 0 for a rest.
int FigureTone(const Chord& chord, char what, int lowest);

}  // namespace compose
