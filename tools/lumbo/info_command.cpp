// lumbo info: what a user checks before embedding a module. The facts, the
// length to the point where the song loops, and what the engine would reject
// or play differently from what the file says.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "lumbo.h"
#include "option_values.h"
#include "song/load_status_text.h"
#include "song/loader.h"
#include "song/song.h"
#include "song_source.h"
#include "xm_file.h"

namespace lumbo_tool {

namespace {

const char kInfoHelp[] =
    "Usage: lumbo info FILE.xm [--rate HZ]\n"
    "       lumbo info --song 1|2 [--rate HZ]\n"
    "\n"
    "Shows what the engine sees in a module: title, tracker, channels, patterns,\n"
    "instruments, samples, frequency table, speed and tempo, song length and\n"
    "restart position, and how long the song plays until it loops. Warns about\n"
    "what the engine plays differently from what the file says.\n"
    "\n"
    "Options:\n"
    "  --song N     show built-in song 1 or 2 instead of a file\n"
    "  --rate HZ    count the frames at this rate, 8000 to 192000 (default 44100)\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit status: 0 the engine plays the module, 1 the file could not be read,\n"
    "2 the engine rejects the module (the reason is shown), 64 wrong usage.\n";

constexpr size_t kListedPerKind = 8;        // warnings shown of each kind; the rest are counted
constexpr int kMaxNote = 96;                // B-7; 97 is the key-off note
constexpr uint8_t kPositionJump = 0x0B;
constexpr uint8_t kPatternBreak = 0x0D;
constexpr int kMaxBreakRow = 63;

int UsageError(const char* message, const char* detail) {
    fprintf(stderr, "lumbo info: %s%s%s\nTry 'lumbo info --help'.\n", message, detail ? " " : "", detail ? detail : "");
    return kExitUsage;
}

// Warnings of one kind: the first few in full, the others counted.
struct WarningKind {
    std::vector<std::string> shown;
    int64_t                  more = 0;
};

void Warn(WarningKind* kind, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Warn(WarningKind* kind, const char* format, ...) {
    if (kind->shown.size() >= kListedPerKind) {
        ++kind->more;
        return;
    }
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    kind->shown.push_back(line);
}

struct Warnings {
    WarningKind notes;        // cell notes above 96
    WarningKind loops;        // sample loops past the sample's end
    WarningKind flow;         // jumps and breaks the engine redirects
    WarningKind restart;      // a restart position outside the song
    WarningKind truncated;    // a file cut short
};

// "m:ss.mmm", or "h:mm:ss.mmm" from an hour on.
std::string Duration(int64_t frames, int32_t rate) {
    int64_t ms = (frames * 1000 + rate / 2) / rate;
    char text[48];
    int64_t s = ms / 1000, m = s / 60, h = m / 60;
    if (h > 0) {
        snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", (long long)h, (long long)(m % 60),
                 (long long)(s % 60), (long long)(ms % 1000));
    } else {
        snprintf(text, sizeof text, "%lld:%02lld.%03lld", (long long)m, (long long)(s % 60), (long long)(ms % 1000));
    }
    return text;
}

// ---- What the engine plays differently ------------------------------------

// Notes 98 and above (97 is the key-off) lie past the note-to-sample map: the
// channel plays no sample. Each pattern the song plays is looked at once.
void CheckNotes(const lumbo::Song* song, Warnings* warnings) {
    std::vector<bool> seen(size_t(song->patternSlots), false);
    for (int32_t o = 0; o < song->songLength; ++o) {
        int32_t p = song->orderTable[o];
        if (seen[size_t(p)]) continue;
        seen[size_t(p)] = true;
        const lumbo::Pattern& pattern = song->patterns[p];
        if (!pattern.cells) continue;
        for (int32_t r = 0; r < pattern.rowCount; ++r) {
            for (int32_t c = 0; c < song->channelCount; ++c) {
                uint8_t note = pattern.cells[r * song->channelCount + c].note;
                if (note > kMaxNote + 1 && note != 255) {
                    Warn(&warnings->notes, "pattern %d, row %d, channel %d: note %d is above 96 (B-7); it plays no sample",
                         p, r, c + 1, note);
                }
            }
        }
    }
}

// The loader cuts a loop that runs past the sample's data at the data's end,
// and plays a sample whose loop starts past its end without a loop.
void CheckLoops(const XmFile& file, Warnings* warnings) {
    for (size_t i = 0; i < file.instruments.size(); ++i) {
        for (size_t j = 0; j < file.instruments[i].size(); ++j) {
            const XmSampleHeader& h = file.instruments[i][j];
            if ((h.type & 3) == 0) continue;
            bool sixteen = (h.type & 0x10) != 0;
            uint64_t length = sixteen ? h.length >> 1 : h.length;
            uint64_t start = sixteen ? h.loopStart >> 1 : h.loopStart;
            uint64_t loopLength = sixteen ? h.loopLength >> 1 : h.loopLength;
            if (loopLength == 0) continue;  // no loop at all
            if (start >= length) {
                Warn(&warnings->loops,
                     "instrument %zu, sample %zu: the loop starts at frame %llu, past the sample's %llu frames; "
                     "it plays without a loop",
                     i + 1, j + 1, (unsigned long long)start, (unsigned long long)length);
            } else if (start + loopLength > length) {
                Warn(&warnings->loops,
                     "instrument %zu, sample %zu: the loop ends at frame %llu, past the sample's %llu frames; "
                     "it is cut at the end",
                     i + 1, j + 1, (unsigned long long)(start + loopLength), (unsigned long long)length);
            }
        }
    }
}

int32_t PatternRows(const lumbo::Song* song, int32_t order) {
    return song->patterns[song->orderTable[order]].rowCount;
}

// Position jumps (Bxx) and pattern breaks (Dxx) as the row processing takes
// them, in channel order: a jump past the song goes to position 0, a break
// beyond row 63 goes to row 0, and a break to a row its pattern lacks plays
// one empty row and goes on at the next position.
void CheckFlow(const lumbo::Song* song, Warnings* warnings) {
    for (int32_t o = 0; o < song->songLength; ++o) {
        int32_t p = song->orderTable[o];
        const lumbo::Pattern& pattern = song->patterns[p];
        if (!pattern.cells) continue;
        for (int32_t r = 0; r < pattern.rowCount; ++r) {
            const lumbo::Cell* cells = &pattern.cells[r * song->channelCount];
            int32_t nextOrder = -1, nextRow = -1;
            bool jumpSeen = false, breakSeen = false;
            for (int32_t c = 0; c < song->channelCount; ++c) {
                const lumbo::Cell& cell = cells[c];
                if (cell.effect == kPositionJump) {
                    if (cell.effectParam >= song->songLength) {
                        Warn(&warnings->flow,
                             "position %d (pattern %d), row %d: B%02X jumps past the song's %d positions; "
                             "it goes to position 0",
                             o, p, r, cell.effectParam, song->songLength);
                    }
                    nextRow = 0;
                    nextOrder = cell.effectParam >= song->songLength ? 0 : cell.effectParam;
                    jumpSeen = true;
                    breakSeen = false;
                } else if (cell.effect == kPatternBreak) {
                    int32_t row = (cell.effectParam >> 4) * 10 + (cell.effectParam & 15);
                    if (row > kMaxBreakRow) {
                        Warn(&warnings->flow, "position %d (pattern %d), row %d: D%02X breaks to row %d; it goes to row 0",
                             o, p, r, cell.effectParam, row);
                    }
                    nextRow = row > kMaxBreakRow ? 0 : row;
                    if (!jumpSeen) nextOrder = o + 1;
                    if (nextOrder >= song->songLength) nextOrder = 0;
                    breakSeen = true;
                }
            }
            if (breakSeen && nextRow >= PatternRows(song, nextOrder)) {
                Warn(&warnings->flow,
                     "position %d (pattern %d), row %d: the break goes to row %d of position %d, whose pattern %d "
                     "has %d rows; it plays one empty row and goes on at the next position",
                     o, p, r, nextRow, nextOrder, song->orderTable[nextOrder], PatternRows(song, nextOrder));
            }
        }
    }
}

void CheckRestart(const lumbo::Song* song, Warnings* warnings) {
    if (song->restartPosition >= 0 && song->restartPosition < song->songLength) return;
    Warn(&warnings->restart, "restart position %d lies outside the song's %d positions; the song restarts at position 0",
         uint16_t(song->restartPosition), song->songLength);
}

void PrintWarnings(const Warnings& warnings) {
    const WarningKind* kinds[] = {&warnings.truncated, &warnings.restart, &warnings.flow, &warnings.notes, &warnings.loops};
    bool any = false;
    for (const WarningKind* kind : kinds) any = any || !kind->shown.empty();
    if (!any) {
        printf("Warnings:     none\n");
        return;
    }
    printf("Warnings:\n");
    for (const WarningKind* kind : kinds) {
        for (const std::string& line : kind->shown) printf("  %s\n", line.c_str());
        if (kind->more) printf("  ... and %lld more like the one above\n", (long long)kind->more);
    }
}

// ---- The report -----------------------------------------------------------

uint16_t U16At(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 2 > bytes.size()) return 0;
    return uint16_t(bytes[offset] | bytes[offset + 1] << 8);
}

// What the header says, whether or not the engine takes the module.
void PrintHeader(const std::vector<uint8_t>& bytes, const XmFile& file) {
    printf("Title:        %s\n", file.title.c_str());
    printf("Tracker:      %s (XM format %d.%02d)\n", file.tracker.c_str(), file.version >> 8, file.version & 0xFF);
    printf("Channels:     %d\n", U16At(bytes, 68));
}

void PrintSong(const lumbo::Song* song, const XmFile& file) {
    printf("Patterns:     %d", file.storedPatterns);
    if (song->usedPatternCount > file.storedPatterns) {
        printf(" (the order table names %d more, which play as empty 64-row patterns)",
               song->usedPatternCount - file.storedPatterns);
    }
    printf("\n");
    int32_t samples = 0, empty = 0;
    for (int32_t i = 0; i < song->instrumentCount; ++i) {
        const lumbo::Instrument& instrument = song->instruments[i];
        samples += instrument.sampleCount;
        for (int32_t j = 0; j < instrument.sampleCount; ++j) empty += instrument.samples[j]->length == 0;
    }
    printf("Instruments:  %d\n", song->instrumentCount);
    printf("Samples:      %d", samples);
    if (empty) printf(" (%d of them empty)", empty);
    printf("\n");
    printf("Frequencies:  %s\n", (song->flags & 1) ? "linear" : "Amiga periods");
    printf("Speed/tempo:  %d ticks per row, %d BPM\n", song->defaultSpeed, song->defaultTempo);
    printf("Song length:  %d positions, restart at position %d\n", song->songLength, uint16_t(song->restartPosition));
}

void PrintLoop(const lumbo_info& info, int32_t rate) {
    const unsigned long long end = info.loop_end_frame, start = info.loop_start_frame;
    if (!info.loops) {
        printf("Length:       no position repeats within %lld rows (%s); the song may not loop\n",
               (long long)info.rows, Duration(int64_t(end), rate).c_str());
        printf("Frames:       %llu followed without a repeat (at %d Hz)\n", end, rate);
        return;
    }
    printf("Length:       %s (%lld rows) to the loop point, then again from position %d, row %d (at %s)\n",
           Duration(int64_t(end), rate).c_str(), (long long)info.rows, info.loop_order, info.loop_row,
           Duration(int64_t(start), rate).c_str());
    printf("Frames:       %llu to the loop point, which goes back to frame %llu (at %d Hz)\n", end, start, rate);
}

// Returns kExitOk, or the status of a usage error already reported.
int ParseInfoOptions(int argc, char** argv, SongSource* source, int32_t* rate, bool* help) {
    bool haveFile = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            *help = true;
        } else if (arg == "--song" || arg.compare(0, 7, "--song=") == 0) {
            const char* value = arg == "--song" ? (i + 1 < argc ? argv[++i] : nullptr) : argv[i] + 7;
            if (!value) return UsageError("missing value for", "--song");
            if (strcmp(value, "1") != 0 && strcmp(value, "2") != 0) return UsageError("--song wants 1 or 2, not", value);
            source->embedded = value[0] - '0';
        } else if (arg == "--rate" || arg.compare(0, 7, "--rate=") == 0) {
            const char* value = arg == "--rate" ? (i + 1 < argc ? argv[++i] : nullptr) : argv[i] + 7;
            if (!value) return UsageError("missing value for", "--rate");
            if (!ParseRate(value, rate)) return UsageError("--rate wants a whole 8000 to 192000, not", value);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option", arg.c_str());
        } else {
            if (haveFile) return UsageError("more than one module given:", arg.c_str());
            source->path = arg;
            haveFile = true;
        }
    }
    if (*help) return kExitOk;
    if (haveFile && source->embedded) return UsageError("give either a module or --song, not both", nullptr);
    if (!haveFile && !source->embedded) return UsageError("no module given", nullptr);
    return kExitOk;
}

}  // namespace

int InfoCommand(int argc, char** argv) {
    SongSource source = {"", 0};
    int32_t rate = kDefaultRate;
    bool help = false;
    int status = ParseInfoOptions(argc, argv, &source, &rate, &help);
    if (status != kExitOk) return status;
    if (help) {
        fputs(kInfoHelp, stdout);
        return kExitOk;
    }
    std::vector<uint8_t> bytes;
    if (!ReadSongBytes(source, &bytes)) return kExitFailure;

    if (source.embedded) {
        printf("Song:         built-in song %d (%zu bytes)\n", source.embedded, bytes.size());
    } else {
        printf("File:         %s (%zu bytes)\n", source.path.c_str(), bytes.size());
    }
    XmFile file;
    bool isXm = ReadXmFile(bytes.data(), bytes.size(), &file);
    if (isXm) PrintHeader(bytes, file);

    lumbo::LoadStatus load;
    lumbo::Song* song = lumbo::LoadSongFromMemory(bytes.data(), uint32_t(bytes.size()), &load);
    if (!song) {
        char reason[160];
        lumbo::DescribeLoadStatus(load, reason, sizeof reason);
        if (load.error == lumbo::LoadError::OutOfMemory) {
            fprintf(stderr, "lumbo: out of memory\n");
            return kExitFailure;
        }
        printf("Rejected:     %s\n", reason);
        return kExitRejected;
    }
    PrintSong(song, file);
    Warnings warnings;
    if (load.missingBytes) {
        Warn(&warnings.truncated, "the file is cut short: the %u bytes missing at its end read as zeros (silence)",
             unsigned(load.missingBytes));
    }
    CheckRestart(song, &warnings);
    CheckFlow(song, &warnings);
    CheckNotes(song, &warnings);
    CheckLoops(file, &warnings);

    lumbo::FreeSong(song);
    // The loop's frames at the rate asked, as a player at that rate renders them.
    lumbo_player* player = lumbo_load_at(bytes.data(), bytes.size(), rate, nullptr);
    lumbo_info info;
    const bool known = player && lumbo_player_info(player, &info);
    lumbo_free(player);
    if (!known) {
        fprintf(stderr, "lumbo: out of memory\n");
        return kExitFailure;
    }
    PrintLoop(info, rate);
    PrintWarnings(warnings);
    return kExitOk;
}

}  // namespace lumbo_tool
