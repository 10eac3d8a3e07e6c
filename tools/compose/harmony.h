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

}  // namespace compose
