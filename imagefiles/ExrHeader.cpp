#include "imagefiles/ExrHeader.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/SourceFile.h"

#include <algorithm>
#include <set>

namespace Tessarine::Lamino {

namespace {

constexpr uint32_t kTiledFlag = 0x200, kLongNamesFlag = 0x400, kDeepFlag = 0x800,
                   kMultipartFlag = 0x1000;

// Scan lines per chunk of each compression the library knows (NONE to DWAB).
constexpr int kLinesPerChunk[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};

// A zero-terminated name at the cursor, of at most `longest` characters.
std::string nameAt(const SourceFile& file, SourceFile::Cursor& cursor, size_t longest)
{
    std::string name;
    uint8_t byte;
    while (cursor.next(byte)) {
        if (byte == 0) {
            return name;
        }
        if (name.size() == longest) {
            file.damaged("an attribute's name is too long");
        }
        name += char(byte);
    }
    file.damaged("its header ends early");
}

int32_t intAt(const std::vector<uint8_t>& bytes, size_t at)
{
    return int32_t(littleEndianAt(&bytes[at], 4));
}

}  // namespace

ExrHeader::ExrHeader(const SourceFile& file)
{
    std::vector<uint8_t> start = file.bytes(0, 8);
    const uint32_t version = littleEndianAt(&start[4], 4);
    const uint32_t flags = version & ~0xFFu;
    if ((version & 0xFF) != 2 || (flags & ~(kTiledFlag | kLongNamesFlag | kDeepFlag | kMultipartFlag))) {
        file.fail("this version of OpenEXR is not supported");
    }
    if (flags & kDeepFlag) {
        file.fail("a deep OpenEXR file (several samples per pixel) is not supported");
    }
    tiled = flags & kTiledFlag;
    multipart = flags & kMultipartFlag;
    const size_t longest = flags & kLongNamesFlag ? 255 : 31;
    SourceFile::Cursor cursor(file, 8);
    // Every header of a multi-part file is walked for its sizes; the first one is the image.
    for (int part = 0;; ++part) {
        std::string name = nameAt(file, cursor, longest);
        if (name.empty()) {
            if (!multipart || part > 0) {
                break;  // the end of the single header, or of the list of headers
            }
            file.damaged("its first part has no header");
        }
        for (; !name.empty(); name = nameAt(file, cursor, longest)) {
            std::string type = nameAt(file, cursor, longest);
            uint8_t sizeBytes[4];
            if (!cursor.take(sizeBytes, 4)) {
                file.damaged("its header ends early");
            }
            const int32_t size = int32_t(littleEndianAt(sizeBytes, 4));
            if (size < 0 || !file.holds(cursor.offset(), uint64_t(size))) {
                file.damaged("an attribute's value reaches past the end of the file");
            }
            if (part == 0) {
                readAttribute(file, name, type, cursor.offset(), uint32_t(size));
            }
            cursor.skip(uint64_t(size));
        }
        if (!multipart) {
            break;
        }
    }
    tableAt = cursor.offset();
    if (channelList.empty() || compression < 0 || window[2] < window[0] - 1) {
        file.damaged("its header lacks channels, a compression or a data window");
    }
}

void ExrHeader::readAttribute(const SourceFile& file, const std::string& name,
                              const std::string& type, uint64_t at, uint32_t size)
{
    if (name == "type") {
        std::vector<uint8_t> value = file.bytes(at, size);
        std::string part(value.begin(), value.end());
        if (part.compare(0, 4, "deep") == 0) {
            file.fail("a deep OpenEXR file (several samples per pixel) is not supported");
        }
        if (part != "scanlineimage" && part != "tiledimage") {
            file.fail("an OpenEXR part of type '" + part + "' is not supported");
        }
        tiled = part == "tiledimage";
    } else if (name == "compression" && type == "compression" && size == 1) {
        compression = file.bytes(at, 1)[0];
        if (compression >= int(std::size(kLinesPerChunk))) {
            file.fail("OpenEXR compression " + std::to_string(compression) + " is not supported");
        }
    } else if (name == "dataWindow" && type == "box2i" && size == 16) {
        std::vector<uint8_t> value = file.bytes(at, 16);
        for (int i = 0; i < 4; ++i) {
            window[i] = intAt(value, size_t(i) * 4);
        }
    } else if (name == "tiles" && type == "tiledesc" && size == 9) {
        std::vector<uint8_t> value = file.bytes(at, 9);
        tileWidth = littleEndianAt(&value[0], 4);
        tileHeight = littleEndianAt(&value[4], 4);
        levelMode = value[8] & 15;
    } else if (name == "channels" && type == "chlist") {
        std::vector<uint8_t> value = file.bytes(at, size);
        std::set<std::string> seen;
        for (size_t i = 0; i < value.size() && value[i] != 0;) {
            size_t end = i;
            while (end < value.size() && value[end] != 0) {
                ++end;
            }
            if (end + 17 > value.size()) {
                file.damaged("its channel list is cut short");
            }
            Channel channel{std::string(value.begin() + ptrdiff_t(i), value.begin() + ptrdiff_t(end)),
                            intAt(value, end + 9), intAt(value, end + 13)};
            if (!seen.insert(channel.name).second) {
                file.damaged("its channel list names '" + channel.name + "' twice");
            }
            if (channel.xSampling < 1 || channel.ySampling < 1) {
                file.damaged("its channel list gives '" + channel.name + "' no sampling");
            }
            channelList.push_back(channel);
            i = end + 17;
        }
    }
}

ImageLayout ExrHeader::layout() const
{
    ImageLayout layout;
    layout.width = std::max<int64_t>(0, int64_t(window[2]) - window[0] + 1);
    layout.height = std::max<int64_t>(0, int64_t(window[3]) - window[1] + 1);
    layout.depth = ImageDepth::Float32;
    return layout;
}

const ExrHeader::Channel* ExrHeader::channel(const std::string& name) const
{
    for (const Channel& channel : channelList) {
        if (channel.name == name) {
            return &channel;
        }
    }
    return nullptr;
}

void ExrHeader::checkChunks(const SourceFile& file) const
{
    const ImageLayout size = layout();
    if (tiled && (tileWidth == 0 || tileHeight == 0 || tileWidth > size.width
                  || tileHeight > size.height)) {
        file.damaged("its tiles are larger than its image");
    }
    if (multipart || (tiled && levelMode != 0)) {
        return;  // the library finds those tables itself; their sizes are checked above
    }
    const uint64_t chunks = tiled
        ? ((uint64_t(size.width) + tileWidth - 1) / tileWidth)
            * ((uint64_t(size.height) + tileHeight - 1) / tileHeight)
        : (uint64_t(size.height) + kLinesPerChunk[compression] - 1) / kLinesPerChunk[compression];
    if (!file.holds(tableAt, chunks * 8)) {
        file.damaged("its table of pixel chunks is cut short");
    }
    const uint64_t dataAt = tableAt + chunks * 8;
    const uint64_t chunkHeader = tiled ? 20 : 8;  // tile coordinates and levels, or the line
    std::vector<uint8_t> table = file.bytes(tableAt, size_t(chunks * 8));
    std::vector<std::pair<uint64_t, uint64_t>> spans;
    for (uint64_t i = 0; i < chunks; ++i) {
        uint64_t offset = uint64_t(littleEndianAt(&table[i * 8], 4))
            | uint64_t(littleEndianAt(&table[i * 8 + 4], 4)) << 32;
        if (offset < dataAt || !file.holds(offset, chunkHeader)) {
            file.damaged("its pixel data lies outside the file");
        }
        std::vector<uint8_t> head = file.bytes(offset + chunkHeader - 4, 4);
        uint64_t packed = littleEndianAt(head.data(), 4);
        if (!file.holds(offset + chunkHeader, packed)) {
            file.damaged("its pixel data lies outside the file");
        }
        spans.emplace_back(offset, offset + chunkHeader + packed);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].first < spans[i - 1].second) {
            file.damaged("its pixel chunks overlap");
        }
    }
}

}  // namespace Tessarine::Lamino
