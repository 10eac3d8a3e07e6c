// Writing music into patterns: note names, melody lines, drum strings and
// sheets of rows that are cut into 64-row patterns.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/xm_writer.h"

namespace compose {

constexpr uint8_t kKeyOff = xm::kKeyOff;

// The file's note number (C-0 = 1 ... B-7 = 96) of a name such as "C4", "F#3", "Bb5".
int Note(const std::string& name);

// One event of a line: a note (0 for a rest, -1 for a hold) at a row, lasting rows.
struct Event {
    int row;
    int note;
    int length;
    char mark;      // the character after a '/', 0 without one: a song's own playing hint
};

// Parses "E5:4 A5 G5:2/s r:2 ~:4": note names or r (rest) or ~ (hold the note
// before), each with an optional :rows (a missing length repeats the last one)
// and an optional /mark.
std::vector<Event> Line(const std::string& text);
// Rows a line takes.
int LineRows(const std::vector<Event>& line);

// A stretch of music: rows x channels cells, later cut into patterns.
struct Sheet {
    int channels;
    int rows;
    std::vector<xm::Cell> cells;
    Sheet(int channelCount, int rowCount);
    xm::Cell& At(int row, int channel);
    // Sets the note and instrument (and the volume column when not 0).
    void NoteAt(int row, int channel, int note, int instrument, int volume = 0);
    // Sets the effect column.
    void Effect(int row, int channel, int effect, int param);
    void Volume(int row, int channel, int volume);
};

// One hit of a drum string: the character that stands for it.
struct Hit {
    char symbol;
    int instrument;
    int note;
    int volume;       // volume-column byte (0x10 + volume), 0 for the sample's own
};

// Writes a drum string (one character per row, '.' = nothing) from `row` on.
void Drums(Sheet& sheet, int channel, int row, const std::string& hits, const std::vector<Hit>& kit);

// Appends the sheet to the module as 64-row patterns; returns their numbers.
std::vector<uint8_t> AddPatterns(xm::Module& module, const Sheet& sheet);

}  // namespace compose
