#include "imagefiles/JpegScan.h"

#include "imagefiles/SourceFile.h"

#include <algorithm>
#include <string>

namespace Tessarine::Lamino {

namespace {

// The scan's bits, with stuffed zero bytes dropped; a marker inside a block is the end of the
// data (the decoder would make up the rest).
class BitReader {
public:
    BitReader(const SourceFile& file, uint64_t at) : file(file), cursor(file, at) { }

    int bit()
    {
        if (left == 0) {
            uint8_t next;
            if (!cursor.next(next)) {
                file.damaged("its image data ends early");
            }
            if (next == 0xFF) {
                uint8_t after;
                if (!cursor.next(after) || after != 0x00) {
                    file.damaged("its image data ends early");
                }
            }
            byte = next;
            left = 8;
        }
        --left;
        return (byte >> left) & 1;
    }

    void skip(int bits)
    {
        for (int i = 0; i < bits; ++i) {
            bit();
        }
    }

    // Drops the rest of the byte and reads the restart marker that must follow.
    void restart(int expected)
    {
        left = 0;
        uint8_t marker[2];
        if (!cursor.take(marker, 2) || marker[0] != 0xFF || marker[1] != 0xD0 + expected) {
            file.damaged("a restart marker is missing");
        }
    }

    uint64_t offset() const { return cursor.offset(); }

private:
    const SourceFile& file;
    SourceFile::Cursor cursor;
    uint8_t byte = 0;
    int left = 0;
};

uint64_t divideUp(uint64_t value, uint64_t by)
{
    return (value + by - 1) / by;
}

}  // namespace

void JpegScan::setFrame(uint32_t frameWidth, uint32_t frameHeight, std::vector<Component> frame)
{
    width = frameWidth;
    height = frameHeight;
    components = std::move(frame);
    for (const Component& component : components) {
        mostAcross = std::max(mostAcross, component.across);
        mostDown = std::max(mostDown, component.down);
    }
}

void JpegScan::defineTables(const SourceFile& file, const std::vector<uint8_t>& segment)
{
    for (size_t at = 0; at < segment.size();) {
        if (at + 17 > segment.size() || (segment[at] >> 4) > 1 || (segment[at] & 15) > 3) {
            file.damaged("a Huffman table is cut short");
        }
        Table& table = tables[segment[at] >> 4][segment[at] & 15];
        size_t count = 0;
        int32_t code = 0;
        for (int length = 1; length <= 16; ++length) {
            const uint8_t codes = segment[at + size_t(length)];
            table.offset[length] = int32_t(count) - code;
            code += codes;
            count += codes;
            table.maxCode[length] = codes ? code - 1 : -1;
            code <<= 1;
        }
        if (at + 17 + count > segment.size()) {
            file.damaged("a Huffman table is cut short");
        }
        table.values.assign(segment.begin() + ptrdiff_t(at + 17),
                            segment.begin() + ptrdiff_t(at + 17 + count));
        table.defined = true;
        at += 17 + count;
    }
}

uint64_t JpegScan::walk(const SourceFile& file, const std::vector<uint8_t>& header, uint64_t at)
{
    const size_t count = header.empty() ? 0 : header[0];
    if (count == 0 || header.size() < 1 + count * 2 + 3) {
        file.damaged("a scan header is cut short");
    }
    // Each scan component's sampling and its two tables.
    struct Coded {
        const Component* component;
        const Table* dc;
        const Table* ac;
    };
    std::vector<Coded> coded;
    for (size_t i = 0; i < count; ++i) {
        auto found = std::find_if(components.begin(), components.end(), [&](const Component& c) {
            return c.id == header[1 + i * 2];
        });
        const Table& dc = tables[0][(header[2 + i * 2] >> 4) & 3];
        const Table& ac = tables[1][header[2 + i * 2] & 3];
        if (found == components.end() || !dc.defined || !ac.defined) {
            file.damaged("a scan names a component or table that is not there");
        }
        coded.push_back({&*found, &dc, &ac});
    }
    auto decode = [&](BitReader& bits, const Table& table) {
        int32_t code = 0;
        for (int length = 1; length <= 16; ++length) {
            code = code << 1 | bits.bit();
            if (code <= table.maxCode[length]) {
                return int(table.values[size_t(code + table.offset[length])]);
            }
        }
        file.damaged("its coded data is corrupt");
    };
    auto block = [&](BitReader& bits, const Coded& c) {
        bits.skip(decode(bits, *c.dc) & 31);
        for (int k = 1; k < 64;) {
            const int run = decode(bits, *c.ac);
            if ((run & 15) == 0 && run != 0xF0) {
                break;  // the end of the block
            }
            k += (run >> 4) + 1;
            bits.skip(run & 15);
            if (k > 64) {
                file.damaged("its coded data is corrupt");
            }
        }
    };
    // One component alone is coded block by block over its own size; several in MCUs.
    const Component& only = *coded[0].component;
    const uint64_t across = count == 1
        ? divideUp(divideUp(uint64_t(width) * only.across, mostAcross), 8)
        : divideUp(width, 8u * mostAcross);
    const uint64_t down = count == 1 ? divideUp(divideUp(uint64_t(height) * only.down, mostDown), 8)
                                     : divideUp(height, 8u * mostDown);
    BitReader bits(file, at);
    for (uint64_t mcu = 0, total = across * down; mcu < total; ++mcu) {
        if (restartInterval != 0 && mcu != 0 && mcu % restartInterval == 0) {
            bits.restart(int((mcu / restartInterval - 1) % 8));
        }
        for (const Coded& c : coded) {
            const int blocks = count == 1 ? 1 : c.component->across * c.component->down;
            for (int b = 0; b < blocks; ++b) {
                block(bits, c);
            }
        }
    }
    return bits.offset();
}

}  // namespace Tessarine::Lamino
