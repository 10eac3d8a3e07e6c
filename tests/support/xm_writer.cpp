#include "support/xm_writer.h"

#include <algorithm>

namespace xm {
namespace {

// Declared header sizes up to this are padded out; larger (forged) ones are
// written as given without the padding, as a malformed file would be.
constexpr uint64_t kMaxPaddedHeader = 1 << 20;

struct Out {
    std::vector<uint8_t> bytes;
    void U8(uint32_t v) { bytes.push_back(uint8_t(v)); }
    void U16(uint32_t v) { U8(v); U8(v >> 8); }
    void U32(uint64_t v) { U16(uint32_t(v)); U16(uint32_t(v >> 16)); }
    void Text(const std::string& s, size_t size, char pad = 0) {
        for (size_t i = 0; i < size; ++i) U8(i < s.size() ? uint8_t(s[i]) : uint8_t(pad));
    }
    void Append(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
};

void EncodeCell(const Cell& c, CellEncoding encoding, Out& out) {
    uint8_t mask = 0x80;
    if (c.note) mask |= 0x01;
    if (c.instrument) mask |= 0x02;
    if (c.volume) mask |= 0x04;
    if (c.effect) mask |= 0x08;
    if (c.param) mask |= 0x10;
    bool unpacked = encoding == CellEncoding::Unpacked ||
                    (encoding == CellEncoding::Compact && mask == 0x9F);
    if (unpacked && c.note < 0x80) {
        out.U8(c.note); out.U8(c.instrument); out.U8(c.volume); out.U8(c.effect); out.U8(c.param);
        return;
    }
    out.U8(mask);
    if (mask & 0x01) out.U8(c.note);
    if (mask & 0x02) out.U8(c.instrument);
    if (mask & 0x04) out.U8(c.volume);
    if (mask & 0x08) out.U8(c.effect);
    if (mask & 0x10) out.U8(c.param);
}

uint8_t EnvelopeType(const Envelope& e) {
    if (e.typeOverride >= 0) return uint8_t(e.typeOverride);
    return uint8_t((e.on ? 1 : 0) | (e.sustain ? 2 : 0) | (e.loop ? 4 : 0));
}

void WriteEnvelopePoints(const Envelope& e, Out& out) {
    for (size_t i = 0; i < 12; ++i) {
        if (i < e.points.size()) { out.U16(e.points[i].first); out.U16(e.points[i].second); }
        else { out.U16(0); out.U16(0); }
    }
}

std::vector<uint8_t> SampleData(const Sample& s) {
    if (s.useRawData) return s.rawData;
    Out out;
    int16_t previous = 0;
    for (int16_t v : s.frames) {
        int16_t delta = int16_t(uint16_t(v) - uint16_t(previous));
        previous = v;
        if (s.sixteenBit) out.U16(uint16_t(delta));
        else out.U8(uint8_t(delta));
    }
    return out.bytes;
}

}  // namespace

Sample Sample::Pcm8(std::vector<int16_t> frames) {
    Sample s;
    s.frames = std::move(frames);
    return s;
}

Sample Sample::Pcm16(std::vector<int16_t> frames) {
    Sample s;
    s.frames = std::move(frames);
    s.sixteenBit = true;
    return s;
}

Sample& Sample::Loop(uint32_t start, uint32_t length, uint8_t type) {
    loopStart = start;
    loopLength = length;
    loopType = type;
    return *this;
}

Pattern& Module::AddPattern(int rows) {
    Pattern p;
    p.rows = rows;
    p.channels = channels;
    p.cells.assign(size_t(rows) * channels, Cell{});
    patterns.push_back(std::move(p));
    return patterns.back();
}

Instrument& Module::AddInstrument(std::string name) {
    Instrument i;
    i.name = std::move(name);
    instruments.push_back(std::move(i));
    return instruments.back();
}

std::vector<uint8_t> EncodeCells(const Pattern& pattern) {
    Out out;
    size_t count = std::min(pattern.cells.size(), size_t(pattern.rows) * size_t(pattern.channels));
    for (size_t i = 0; i < count; ++i) EncodeCell(pattern.cells[i], pattern.encoding, out);
    return out.bytes;
}

std::vector<uint8_t> Write(const Module& m) {
    Out out;
    out.Text("Extended Module: ", 17);
    out.Text(m.name, 20);
    out.U8(0x1A);
    out.Text(m.tracker, 20);
    out.U16(m.version);
    size_t headerStart = out.bytes.size();  // offset 60
    out.U32(m.headerSize);
    out.U16(m.songLengthOverride >= 0 ? uint32_t(m.songLengthOverride) : uint32_t(m.orders.size()));
    out.U16(m.restartPosition);
    out.U16(m.channelCountOverride >= 0 ? uint32_t(m.channelCountOverride) : m.channels);
    out.U16(m.patternCountOverride >= 0 ? uint32_t(m.patternCountOverride) : uint32_t(m.patterns.size()));
    out.U16(m.instrumentCountOverride >= 0 ? uint32_t(m.instrumentCountOverride)
                                           : uint32_t(m.instruments.size()));
    out.U16(m.flags);
    out.U16(m.speed);
    out.U16(m.tempo);
    for (size_t i = 0; i < 256; ++i) out.U8(i < m.orders.size() ? m.orders[i] : 0);
    // The header may be declared longer than what we wrote (or shorter: then
    // the loader seeks back into the order table, which is what such a file does).
    if (m.headerSize <= kMaxPaddedHeader) out.bytes.resize(headerStart + m.headerSize, 0);

    for (const Pattern& p : m.patterns) {
        std::vector<uint8_t> data = p.storeNoData ? std::vector<uint8_t>{} : EncodeCells(p);
        out.U32(9);
        out.U8(0);
        out.U16(uint32_t(p.rows));
        out.U16(p.packedSizeOverride >= 0 ? uint32_t(p.packedSizeOverride) : uint32_t(data.size()));
        out.Append(data);
    }

    for (const Instrument& ins : m.instruments) {
        size_t start = out.bytes.size();
        size_t count = ins.samples.size();
        uint64_t headerSize = ins.headerSizeOverride >= 0 ? uint64_t(ins.headerSizeOverride)
                              : (count ? 263 : 29);
        out.U32(headerSize);
        out.Text(ins.name, 22);
        out.U8(0);
        out.U16(ins.sampleCountOverride >= 0 ? uint32_t(ins.sampleCountOverride) : uint32_t(count));
        if (count) {
            out.U32(40);
            for (uint8_t n : ins.noteSampleMap) out.U8(n);
            WriteEnvelopePoints(ins.volume, out);
            WriteEnvelopePoints(ins.panning, out);
            out.U8(ins.volume.pointCountOverride >= 0 ? uint32_t(ins.volume.pointCountOverride)
                                                      : uint32_t(ins.volume.points.size()));
            out.U8(ins.panning.pointCountOverride >= 0 ? uint32_t(ins.panning.pointCountOverride)
                                                       : uint32_t(ins.panning.points.size()));
            out.U8(ins.volume.sustainPoint);
            out.U8(ins.volume.loopStart);
            out.U8(ins.volume.loopEnd);
            out.U8(ins.panning.sustainPoint);
            out.U8(ins.panning.loopStart);
            out.U8(ins.panning.loopEnd);
            out.U8(EnvelopeType(ins.volume));
            out.U8(EnvelopeType(ins.panning));
            out.U8(ins.vibratoType);
            out.U8(ins.vibratoSweep);
            out.U8(ins.vibratoDepth);
            out.U8(ins.vibratoRate);
            out.U16(ins.fadeout);
        }
        // Pad (or cut) the header to its declared size: the loader seeks there.
        if (headerSize <= kMaxPaddedHeader) out.bytes.resize(start + headerSize, 0);
        for (const Sample& s : ins.samples) {
            uint32_t unit = s.sixteenBit ? 2 : 1;
            auto bytesOr = [](int64_t override, uint64_t value) {
                return override >= 0 ? uint64_t(override) : value;
            };
            out.U32(bytesOr(s.lengthBytesOverride, uint64_t(s.frames.size()) * unit));
            out.U32(bytesOr(s.loopStartBytesOverride, uint64_t(s.loopStart) * unit));
            out.U32(bytesOr(s.loopLengthBytesOverride, uint64_t(s.loopLength) * unit));
            out.U8(s.volume);
            out.U8(uint8_t(s.finetune));
            uint8_t type = uint8_t((s.loopType & 3) | (s.sixteenBit ? 0x10 : 0));
            out.U8(s.typeByteOverride >= 0 ? uint32_t(s.typeByteOverride) : type);
            out.U8(s.panning);
            out.U8(uint8_t(s.relativeNote));
            out.U8(0);
            out.Text(s.name, 22);
        }
        for (const Sample& s : ins.samples) out.Append(SampleData(s));
    }
    out.Append(m.trailer);
    return out.bytes;
}

std::vector<uint8_t> Image(const std::vector<uint8_t>& file) {
    Out out;
    out.U32(file.size());
    out.Append(file);
    return out.bytes;
}

}  // namespace xm
