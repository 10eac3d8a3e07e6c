#include "score.h"

#include <cstdio>
#include <cstdlib>

namespace compose {
namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "compose: %s\n", what.c_str());
    std::exit(2);
}

}  // namespace

int Note(const std::string& name) {
    static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};   // A B C D E F G
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'G') Fail("bad note " + name);
    int semitone = kSemitone[name[0] - 'A'];
    size_t i = 1;
    if (name[i] == '#') { ++semitone; ++i; }
    else if (name[i] == 'b') { --semitone; ++i; }
    if (i + 1 != name.size() || name[i] < '0' || name[i] > '7') Fail("bad note " + name);
    int note = (name[i] - '0') * 12 + semitone + 1;
    if (note < 1 || note > 96) Fail("note out of range " + name);
    return note;
}

std::vector<Event> Line(const std::string& text) {
    std::vector<Event> events;
    int row = 0;
    int length = 1;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '|') { ++i; continue; }
        size_t end = text.find_first_of(" |", i);
        if (end == std::string::npos) end = text.size();
        std::string token = text.substr(i, end - i);
        i = end;
        char mark = 0;
        size_t slash = token.find('/');
        if (slash != std::string::npos) {
            if (slash + 2 != token.size()) Fail("bad mark in " + token);
            mark = token[slash + 1];
            token.resize(slash);
        }
        size_t colon = token.find(':');
        std::string name = token.substr(0, colon);
        if (colon != std::string::npos) length = std::atoi(token.c_str() + colon + 1);
        if (length <= 0) Fail("bad length in " + token);
        int note = name == "r" ? 0 : name == "~" ? -1 : Note(name);
        events.push_back({row, note, length, mark});
        row += length;
    }
    return events;
}

int LineRows(const std::vector<Event>& line) {
    return line.empty() ? 0 : line.back().row + line.back().length;
}

Sheet::Sheet(int channelCount, int rowCount)
    : channels(channelCount), rows(rowCount), cells(size_t(channelCount) * size_t(rowCount)) {}

xm::Cell& Sheet::At(int row, int channel) {
    if (row < 0 || row >= rows || channel < 0 || channel >= channels)
        Fail("cell outside the sheet: row " + std::to_string(row) + " channel " + std::to_string(channel));
    return cells[size_t(row) * size_t(channels) + size_t(channel)];
}

void Sheet::NoteAt(int row, int channel, int note, int instrument, int volume) {
    xm::Cell& c = At(row, channel);
    c.note = uint8_t(note);
    c.instrument = uint8_t(instrument);
    if (volume) c.volume = uint8_t(volume);
}

void Sheet::Effect(int row, int channel, int effect, int param) {
    xm::Cell& c = At(row, channel);
    c.effect = uint8_t(effect);
    c.param = uint8_t(param);
}

void Sheet::Volume(int row, int channel, int volume) { At(row, channel).volume = uint8_t(volume); }

void Drums(Sheet& sheet, int channel, int row, const std::string& hits, const std::vector<Hit>& kit) {
    for (size_t i = 0; i < hits.size(); ++i) {
        if (hits[i] == '.') continue;
        const Hit* hit = nullptr;
        for (const Hit& h : kit) if (h.symbol == hits[i]) hit = &h;
        if (!hit) Fail(std::string("no drum for '") + hits[i] + "'");
        sheet.NoteAt(row + int(i), channel, hit->note, hit->instrument, hit->volume);
    }
}

std::vector<uint8_t> AddPatterns(xm::Module& module, const Sheet& sheet) {
    if (sheet.rows % 64) Fail("a sheet must be whole 64-row patterns");
    std::vector<uint8_t> numbers;
    for (int start = 0; start < sheet.rows; start += 64) {
        numbers.push_back(uint8_t(module.patterns.size()));
        xm::Pattern& p = module.AddPattern(64);
        for (int r = 0; r < 64; ++r)
            for (int c = 0; c < sheet.channels; ++c)
                p.At(r, c) = sheet.cells[size_t(start + r) * size_t(sheet.channels) + size_t(c)];
    }
    return numbers;
}

}  // namespace compose
