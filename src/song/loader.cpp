#include "song/loader.h"

#include <cstddef>

#include "platform/memory.h"
#include "song/image_reader.h"

namespace lumbo {
namespace {

constexpr char kSignature[] = "Extended Module: ";
constexpr int kSignatureLength = 17;
constexpr int kHeaderSizeOffset = 60;
constexpr int kAddedPatternRows = 64;
constexpr int32_t kMaxPosition = 0x7FFFFFFF;

// A module may make the loader allocate this much plus a multiple of its own
// size: enough for any real module (every pattern empty and 256 rows long,
// 8-bit samples widened to 16 bits), far below what a few forged header bytes
// could ask for.
constexpr uint64_t kBaseBudget = 16u << 20;
constexpr uint64_t kBudgetPerImageByte = 8;

struct Parse {
    Song*               song;
    ReaderHandle*       reader;
    LoadStatus*         status;
    uint64_t            budget;    // bytes the parse may still allocate
};

bool Fail(Parse& parse, LoadError error, int32_t index = 0, int64_t value = 0) {
    *parse.status = {error, index, value, 0};
    return false;
}

// Allocates from the module's budget; null (and a status) when refused.
void* Allocate(Parse& parse, uint64_t bytes, int32_t index) {
    if (bytes > parse.budget) {
        Fail(parse, LoadError::TooLarge, index, int64_t(bytes));
        return nullptr;
    }
    void* block = AllocateZeroed(size_t(bytes));
    if (!block) Fail(parse, LoadError::OutOfMemory, index, int64_t(bytes));
    else parse.budget -= bytes;
    return block;
}

uint8_t ReadU8(const Parse& parse) {
    uint8_t b[1] = {0};
    ReadImage(b, 1, parse.reader);
    return b[0];
}

uint16_t ReadU16(const Parse& parse) {
    uint8_t b[2] = {0, 0};
    ReadImage(b, 2, parse.reader);
    return uint16_t(b[0] | b[1] << 8);
}

uint32_t ReadU32(const Parse& parse) {
    uint8_t b[4] = {0, 0, 0, 0};
    ReadImage(b, 4, parse.reader);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// Seeks to base + size; false when that lies beyond what a position can hold
// (a header size of 2^31 or more would make the position negative).
bool SeekPast(Parse& parse, int32_t base, uint32_t size) {
    if (uint64_t(base) + size > uint64_t(kMaxPosition)) {
        return Fail(parse, LoadError::BadHeaderSize, 0, int64_t(size));
    }
    SeekImage(parse.reader, int32_t(base + int64_t(size)), SeekSet);
    return true;
}

bool ReadHeader(Parse& parse, uint16_t* storedPatterns) {
    Song* song = parse.song;
    char signature[kSignatureLength] = {};
    SeekImage(parse.reader, 0, SeekSet);
    ReadImage(signature, kSignatureLength, parse.reader);
    for (int i = 0; i < kSignatureLength; ++i) {
        if (signature[i] != kSignature[i]) return Fail(parse, LoadError::BadSignature);
    }
    song->initialGlobalVolume = 64;

    SeekImage(parse.reader, kHeaderSizeOffset, SeekSet);
    uint32_t headerSize = ReadU32(parse);
    song->songLength = int16_t(ReadU16(parse));
    song->restartPosition = int16_t(ReadU16(parse));
    song->channelCount = int16_t(ReadU16(parse));
    *storedPatterns = ReadU16(parse);
    song->instrumentCount = int16_t(ReadU16(parse));
    song->flags = ReadU16(parse);
    song->defaultSpeed = int16_t(ReadU16(parse));
    song->defaultTempo = int16_t(ReadU16(parse));
    ReadImage(song->orderTable, kOrderTableSize, parse.reader);

    // The channel records and the voice pairing hold 32 channels.
    if (song->channelCount < 0 || song->channelCount > 32) {
        return Fail(parse, LoadError::TooManyChannels, 0, song->channelCount);
    }
    // The order table has 256 entries; a song of no positions has nothing to play.
    if (song->songLength < 1 || song->songLength > kOrderTableSize) {
        return Fail(parse, LoadError::BadSongLength, 0, song->songLength);
    }
    if (!SeekPast(parse, kHeaderSizeOffset, headerSize)) return false;

    int32_t used = 0;
    for (int i = 0; i < song->songLength; ++i) {
        if (song->orderTable[i] >= used) used = song->orderTable[i] + 1;
    }
    song->usedPatternCount = used;
    song->patternSlots = *storedPatterns > used ? *storedPatterns : used;
    return true;
}

bool AllocateCells(Parse& parse, Pattern* pattern, int32_t index) {
    uint64_t cells = uint64_t(parse.song->channelCount) * uint64_t(pattern->rowCount);
    pattern->cells = static_cast<Cell*>(Allocate(parse, cells * sizeof(Cell), index));
    return pattern->cells != nullptr;
}

// The cell's five bytes in the file's order, as one array.
static_assert(sizeof(Cell) == 5 && offsetof(Cell, instrument) == 1 && offsetof(Cell, volumeCommand) == 2 &&
                  offsetof(Cell, effect) == 3 && offsetof(Cell, effectParam) == 4,
              "a cell is its five bytes in file order");

void DecodeCell(const Parse& parse, Cell* cell) {
    uint8_t* const bytes = reinterpret_cast<uint8_t*>(cell);
    const uint8_t b = ReadU8(parse);
    // A packed cell's first byte says which bytes follow; an unpacked one is
    // the note, and the other four follow.
    uint8_t present = b;
    if (!(b & 0x80)) {
        bytes[0] = b;
        present = 0x1E;
    }
    for (int i = 0; i < 5; ++i) {
        if (present & (1 << i)) bytes[i] = ReadU8(parse);
    }
    if (cell->note == 97) cell->note = 255;
    if (cell->instrument > 128) cell->instrument = 0;
}

bool ReadPatterns(Parse& parse, int32_t storedPatterns) {
    Song* song = parse.song;
    song->patterns = static_cast<Pattern*>(
        Allocate(parse, uint64_t(song->patternSlots) * sizeof(Pattern), 0));
    if (!song->patterns) return false;

    for (int32_t p = 0; p < storedPatterns; ++p) {
        Pattern* pattern = &song->patterns[p];
        ReadU32(parse);  // header length: taken to be 9 bytes
        ReadU8(parse);   // packing type
        pattern->rowCount = ReadU16(parse);
        uint16_t packedSize = ReadU16(parse);
        if (!AllocateCells(parse, pattern, p)) return false;
        if (packedSize == 0) continue;
        int32_t cellCount = song->channelCount * pattern->rowCount;
        for (int32_t c = 0; c < cellCount; ++c) DecodeCell(parse, &pattern->cells[c]);
    }
    for (int32_t p = storedPatterns; p < song->usedPatternCount; ++p) {
        song->patterns[p].rowCount = kAddedPatternRows;
        if (!AllocateCells(parse, &song->patterns[p], p)) return false;
    }
    return true;
}

void PointAtPlaceholder(Instrument* instrument, int from) {
    for (int j = from; j < kMaxSamplesPerInstrument; ++j) instrument->samples[j] = &placeholderSample;
}

void ReadEnvelopePoints(const Parse& parse, EnvelopePoint* points) {
    for (int k = 0; k < kEnvelopeFilePoints; ++k) {
        points[k].tick = ReadU16(parse);
        points[k].value = ReadU16(parse);
    }
}

void ReadInstrumentHeader(const Parse& parse, Instrument* instrument) {
    ReadU32(parse);  // sample header size: taken to be 40 bytes
    ReadImage(instrument->noteSampleMap, kNoteSampleMapSize, parse.reader);
    ReadEnvelopePoints(parse, instrument->volumePoints);
    ReadEnvelopePoints(parse, instrument->panningPoints);
    instrument->volumePointCount = ReadU8(parse);
    instrument->panningPointCount = ReadU8(parse);
    instrument->volumeSustain = ReadU8(parse);
    instrument->volumeLoopStart = ReadU8(parse);
    instrument->volumeLoopEnd = ReadU8(parse);
    instrument->panningSustain = ReadU8(parse);
    instrument->panningLoopStart = ReadU8(parse);
    instrument->panningLoopEnd = ReadU8(parse);
    instrument->volumeEnvelopeFlags = ReadU8(parse);
    instrument->panningEnvelopeFlags = ReadU8(parse);
    instrument->vibratoType = ReadU8(parse);
    instrument->vibratoSweep = ReadU8(parse);
    instrument->vibratoDepth = ReadU8(parse);
    instrument->vibratoRate = ReadU8(parse);
    instrument->fadeout = uint16_t(ReadU16(parse) * 2);
    // The file holds 12 points; a larger count would step into points it never gave.
    if (instrument->volumePointCount > kEnvelopeFilePoints) instrument->volumePointCount = kEnvelopeFilePoints;
    if (instrument->panningPointCount > kEnvelopeFilePoints) instrument->panningPointCount = kEnvelopeFilePoints;
    if (instrument->volumePointCount < 2) instrument->volumeEnvelopeFlags = 0;
    if (instrument->panningPointCount < 2) instrument->panningEnvelopeFlags = 0;
}

void ReadSampleHeader(const Parse& parse, Sample* sample) {
    sample->length = ReadU32(parse);
    sample->loopStart = ReadU32(parse);
    sample->loopLength = ReadU32(parse);
    sample->volume = ReadU8(parse);
    sample->finetune = int8_t(ReadU8(parse));
    sample->loopMode = 1;
    sample->bits = 8;
    uint8_t type = ReadU8(parse);
    if (type & 1) sample->loopMode = 2;
    if (type & 2) sample->loopMode = 4;  // so type 3 is ping-pong
    if (type & 0x10) sample->bits = 16;
    if (sample->loopMode == 1) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
    }
    if (sample->bits == 16) {
        sample->length >>= 1;
        sample->loopStart >>= 1;
        sample->loopLength >>= 1;
    }
    if (sample->loopLength == 0) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
        sample->loopMode = 1;
    }
    // A loop that reaches past the data is cut at the sample's end (and one
    // that starts past it is dropped), so the mixer and the guard frame stay
    // inside the buffer. Valid samples are unchanged.
    if (sample->loopStart >= sample->length && sample->loopMode != 1) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
        sample->loopMode = 1;
    } else if (uint64_t(sample->loopStart) + sample->loopLength > sample->length) {
        sample->loopLength = sample->length - sample->loopStart;
    }
    sample->panning = ReadU8(parse);
    sample->relativeNote = int8_t(ReadU8(parse));
    SeekImage(parse.reader, 23, SeekCurrent);
}

// Reads, widens and delta-decodes one sample's data, then writes the guard frame.
void ReadSampleData(const Parse& parse, Sample* sample) {
    uint32_t length = sample->length;
    int16_t* data = sample->data;
    auto* bytes = reinterpret_cast<uint8_t*>(data);
    if (sample->bits == 8) {
        // The bytes go to the buffer's upper half and are widened in place,
        // front to back: frame k is written only after byte k has been read.
        ReadImage(bytes + length, length, parse.reader);
        for (uint32_t k = 0; k < length; ++k) data[k] = int16_t(uint16_t(bytes[length + k]) << 8);
        sample->bits = 16;
    } else {
        ReadImage(bytes, length * 2, parse.reader);
        for (uint32_t k = 0; k < length; ++k) data[k] = int16_t(bytes[2 * k] | bytes[2 * k + 1] << 8);
    }
    uint16_t accumulator = 0;
    for (uint32_t k = 0; k < length; ++k) {
        accumulator = uint16_t(accumulator + uint16_t(data[k]));
        data[k] = int16_t(accumulator);
    }
    uint32_t loopEnd = sample->loopStart + sample->loopLength;
    if (sample->loopMode == 2) data[loopEnd] = data[sample->loopStart];
    if (sample->loopMode == 4) data[loopEnd] = data[loopEnd - 1];
}

bool ReadInstrument(Parse& parse, int32_t index) {
    Instrument* instrument = &parse.song->instruments[index];
    int32_t start = parse.reader->position;
    uint32_t headerSize = ReadU32(parse);
    SeekImage(parse.reader, 23, SeekCurrent);
    uint16_t sampleCount = ReadU16(parse);
    if (sampleCount > kMaxSamplesPerInstrument) {
        return Fail(parse, LoadError::TooManySamples, index, sampleCount);
    }
    instrument->sampleCount = sampleCount;
    if (sampleCount == 0) {
        PointAtPlaceholder(instrument, 0);
        return SeekPast(parse, start, headerSize);
    }
    ReadInstrumentHeader(parse, instrument);
    if (!SeekPast(parse, start, headerSize)) return false;

    for (int j = 0; j < sampleCount; ++j) {
        // Claimed before it is filled, so a failure below frees it with the song.
        auto* sample = static_cast<Sample*>(Allocate(parse, sizeof(Sample), index));
        if (!sample) {
            instrument->sampleCount = j;
            return false;
        }
        instrument->samples[j] = sample;
        ReadSampleHeader(parse, sample);
        if (sample->length == 0) continue;
        uint64_t bytes = (uint64_t(sample->length) + kSampleLeadFrames + kSampleSpareFrames) * 2;
        if (bytes > parse.budget) return Fail(parse, LoadError::TooLarge, index, int64_t(bytes));
        sample->data = AllocateSampleData(sample->length);
        if (!sample->data) return Fail(parse, LoadError::OutOfMemory, index, int64_t(bytes));
        parse.budget -= bytes;
    }
    PointAtPlaceholder(instrument, sampleCount);
    for (int j = 0; j < sampleCount; ++j) {
        if (instrument->samples[j]->length) ReadSampleData(parse, instrument->samples[j]);
    }
    return true;
}

bool ParseModule(Parse& parse) {
    uint16_t storedPatterns = 0;  // known only to the parse
    if (!ReadHeader(parse, &storedPatterns)) return false;
    if (!ReadPatterns(parse, storedPatterns)) return false;

    Song* song = parse.song;
    if (song->instrumentCount > 0) {
        song->instruments = static_cast<Instrument*>(
            Allocate(parse, uint64_t(song->instrumentCount) * sizeof(Instrument), 0));
        if (!song->instruments) return false;
    }
    for (int32_t i = 0; i < song->instrumentCount; ++i) {
        if (!ReadInstrument(parse, i)) return false;
    }
    return true;
}

}  // namespace

Song* LoadSongFromMemory(const uint8_t* file, uint32_t length, LoadStatus* status) {
    LoadStatus ignored;
    if (!status) status = &ignored;
    *status = {LoadError::None, 0, 0, 0};
    if (!file || length == 0) {
        *status = {LoadError::EmptyImage, 0, 0, 0};
        return nullptr;
    }
    // Positions are signed 32-bit.
    if (length > uint32_t(kMaxPosition)) {
        *status = {LoadError::TooLarge, 0, int64_t(length), 0};
        return nullptr;
    }
    auto* song = static_cast<Song*>(AllocateZeroed(sizeof(Song)));
    auto* reader = static_cast<ReaderHandle*>(AllocateZeroed(sizeof(ReaderHandle)));
    if (!song || !reader) {
        Release(song);
        Release(reader);
        *status = {LoadError::OutOfMemory, 0, 0, 0};
        return nullptr;
    }
    *reader = {file, length, 0, 0};
    Parse parse = {song, reader, status, kBaseBudget + kBudgetPerImageByte * uint64_t(length)};
    bool ok = ParseModule(parse);
    status->missingBytes = reader->missingBytes;
    Release(reader);
    if (ok) return song;
    FreeSong(song);
    return nullptr;
}

Song* LoadSong(const ModuleImage* image, LoadStatus* status) {
    if (!image) {
        if (status) *status = {LoadError::EmptyImage, 0, 0, 0};
        return nullptr;
    }
    uint32_t length = uint32_t(image[0]) | uint32_t(image[1]) << 8 | uint32_t(image[2]) << 16 |
                      uint32_t(image[3]) << 24;
    return LoadSongFromMemory(image + 4, length, status);
}

}  // namespace lumbo
