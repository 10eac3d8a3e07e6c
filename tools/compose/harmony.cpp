#include "harmony.h"

#include <cstdio>
#include <cstdlib>

namespace compose {

Chord ParseChord(const std::string& name) {
    static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};
    if (name.empty() || name[0] < 'A' || name[0] > 'G') {
        std::fprintf(stderr, "compose: bad chord %s\n", name.c_str());
        std::exit(2);
    }
    int root = kSemitone[name[0] - 'A'];
    size_t i = 1;
    if (i < name.size() && name[i] == '#') { ++root; ++i; }
    else if (i < name.size() && name[i] == 'b') { --root; ++i; }
    return {(root + 12) % 12, i < name.size() && name[i] == 'm'};
}

std::vector<Chord> ParseChords(const std::vector<std::string>& names) {
    std::vector<Chord> chords;
    for (const std::string& n : names) chords.push_back(ParseChord(n));
    return chords;
}

int ChordTone(const Chord& chord, int index, int lowest) {
    int base = lowest + ((chord.root - (lowest - 1) % 12) + 12) % 12;
    int octave = index / 3;
    int step = index % 3;
    int interval = step == 0 ? 0 : step == 1 ? (chord.minor ? 3 : 4) : 7;
    return base + 12 * octave + interval;
}


bool NextFigureStep(const std::string& figure, size_t* i, char mark, FigureStep* step) {
    while (*i < figure.size() && figure[*i] == ' ') ++*i;
    if (*i >= figure.size()) return false;
    step->what = figure[(*i)++];
    step->length = 0;
    while (*i < figure.size() && figure[*i] >= '0' && figure[*i] <= '9') {
        step->length = step->length * 10 + (figure[(*i)++] - '0');
    }
    step->marked = *i < figure.size() && figure[*i] == mark;
    if (step->marked) ++*i;
    return true;
}

int FigureTone(const Chord& chord, char what, int lowest) {
    switch (what) {
        case 'R': return ChordTone(chord, 0, lowest);
        case 'T': return ChordTone(chord, 1, lowest);
        case 'F': return ChordTone(chord, 2, lowest);
        case 'O': return ChordTone(chord, 3, lowest);
        default: return 0;
    }
}

}  // namespace compose
