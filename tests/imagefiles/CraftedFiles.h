#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// Small image files made byte by byte, so that tests can break them exactly where a reader must
// notice: independent of the readers and writers under test.
using Bytes = std::vector<uint8_t>;

inline void putBig(Bytes& out, uint32_t value, int size)
{
    for (int i = size - 1; i >= 0; --i) {
        out.push_back(uint8_t(value >> (8 * i)));
    }
}

inline void putLittle(Bytes& out, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) {
        out.push_back(uint8_t(value >> (8 * i)));
    }
}

// PNG: chunks with their CRCs; `crcDelta` spoils a chunk's CRC.
inline void pngChunk(Bytes& file, const char* type, const Bytes& data, uint32_t crcDelta = 0)
{
    putBig(file, uint32_t(data.size()), 4);
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), body.data(), uInt(body.size())));
    file.insert(file.end(), body.begin(), body.end());
    putBig(file, crc + crcDelta, 4);
}

inline Bytes pngSignatureAndHeader(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour)
{
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putBig(header, width, 4);
    putBig(header, height, 4);
    header.insert(header.end(), {depth, colour, 0, 0, 0});
    pngChunk(file, "IHDR", header);
    return file;
}

inline Bytes zlibPacked(const Bytes& raw)
{
    Bytes packed(compressBound(uLong(raw.size())));
    uLongf size = uLongf(packed.size());
    compress(packed.data(), &size, raw.data(), uLong(raw.size()));
    packed.resize(size);
    return packed;
}

// An 8-bit RGBA PNG of `width` x `height` whose rows (filter byte 0) hold `rows` rows of
// samples (`value`, rising), from the IDAT data given, or packed from the rows when none.
inline Bytes rgbaPng(uint32_t width, uint32_t height, uint32_t rows, const Bytes* idat = nullptr)
{
    Bytes raw;
    for (uint32_t y = 0; y < rows; ++y) {
        raw.push_back(0);
        for (uint32_t i = 0; i < width * 4; ++i) {
            raw.push_back(uint8_t(y * 40 + i * 3));
        }
    }
    Bytes file = pngSignatureAndHeader(width, height, 8, 6);
    pngChunk(file, "IDAT", idat ? *idat : zlibPacked(raw));
    pngChunk(file, "IEND", {});
    return file;
}

// BMP: an 8-bit palette image of `colours` grey entries (`claimed` in the header), its pixels
// as given (run-length coded with `compression` 1, else rows bottom-up padded to 4 bytes).
inline Bytes paletteBmp(int32_t width, int32_t height, uint32_t compression, const Bytes& pixels,
                        uint32_t colours = 4, uint32_t claimed = 4)
{
    const uint32_t pixelsAt = 14 + 40 + colours * 4;
    Bytes file = {'B', 'M'};
    putLittle(file, pixelsAt + uint32_t(pixels.size()), 4);
    putLittle(file, 0, 4);
    putLittle(file, pixelsAt, 4);
    putLittle(file, 40, 4);
    putLittle(file, uint32_t(width), 4);
    putLittle(file, uint32_t(height), 4);
    putLittle(file, 1, 2);
    putLittle(file, 8, 2);
    putLittle(file, compression, 4);
    putLittle(file, uint32_t(pixels.size()), 4);
    putLittle(file, 2835, 4);
    putLittle(file, 2835, 4);
    putLittle(file, claimed, 4);
    putLittle(file, 0, 4);
    for (uint32_t c = 0; c < colours; ++c) {
        uint8_t grey = uint8_t(c * 255 / (colours > 1 ? colours - 1 : 1));
        file.insert(file.end(), {grey, grey, grey, 0});
    }
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

// TIFF (little-endian): the entries given, in tag order, then `data` as the one strip unless
// the entries name their own offsets. Values longer than four bytes follow the directory.
class CraftedTiff {
public:
    struct Entry {
        uint16_t tag;
        uint16_t type;  // 3 short, 4 long
        std::vector<uint32_t> values;
    };

    // An uncompressed, chunky image of one strip: `samples` of `bits` each, photometric as given.
    CraftedTiff(uint32_t width, uint32_t height, uint16_t samples, uint16_t bits,
                uint16_t photometric)
    {
        std::vector<uint32_t> depth(samples, bits);
        entries = {{256, 4, {width}},        {257, 4, {height}}, {258, 3, depth},
                   {259, 3, {1}},            {262, 3, {photometric}}, {273, 4, {0}},
                   {277, 3, {samples}},      {278, 4, {height}},
                   {279, 4, {(width * samples * bits + 7) / 8 * height}}};
    }

    void set(uint16_t tag, uint16_t type, std::vector<uint32_t> values)
    {
        for (Entry& entry : entries) {
            if (entry.tag == tag) {
                entry = {tag, type, std::move(values)};
                return;
            }
        }
        entries.push_back({tag, type, std::move(values)});
    }
    void remove(uint16_t tag)
    {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].tag == tag) {
                entries.erase(entries.begin() + ptrdiff_t(i));
                return;
            }
        }
    }
    // StripOffsets keeps its value instead of pointing at the data (to break it).
    void keepStripOffsets() { placeStrip = false; }

    Bytes bytes(const Bytes& data)
    {
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        uint32_t tailAt = 8 + 2 + uint32_t(entries.size()) * 12 + 4;
        Bytes tail;
        for (const Entry& entry : entries) {
            tail.resize(tail.size() + (valueBytes(entry) > 4 ? valueBytes(entry) : 0));
        }
        const uint32_t dataAt = tailAt + uint32_t(tail.size());
        tail.clear();
        Bytes out = {'I', 'I', 42, 0};
        putLittle(out, 8, 4);
        putLittle(out, uint32_t(entries.size()), 2);
        for (Entry entry : entries) {
            if (entry.tag == 273 && placeStrip) {
                entry.values = {dataAt};
            }
            putLittle(out, entry.tag, 2);
            putLittle(out, entry.type, 2);
            putLittle(out, uint32_t(entry.values.size()), 4);
            Bytes packed;
            for (uint32_t v : entry.values) {
                putLittle(packed, v, entry.type == 3 ? 2 : 4);
            }
            if (packed.size() <= 4) {
                packed.resize(4, 0);
                out.insert(out.end(), packed.begin(), packed.end());
            } else {
                putLittle(out, tailAt + uint32_t(tail.size()), 4);
                tail.insert(tail.end(), packed.begin(), packed.end());
            }
        }
        putLittle(out, 0, 4);
        out.insert(out.end(), tail.begin(), tail.end());
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }

private:
    static uint32_t valueBytes(const Entry& entry)
    {
        return uint32_t(entry.values.size()) * (entry.type == 3 ? 2 : 4);
    }

    std::vector<Entry> entries;
    bool placeStrip = true;
};

}  // namespace Tessarine::Lamino
