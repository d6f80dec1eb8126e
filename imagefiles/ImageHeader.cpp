#include "imagefiles/ImageHeader.h"

#include "imagefiles/ImageIO.h"
#include "unicode/Utf8.h"

#include <cstring>
#include <fstream>
#include <vector>

namespace Tessarine::Lamino {

namespace {

uint32_t bigEndian(const uint8_t* at, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = value << 8 | at[i];
    }
    return value;
}

uint32_t littleEndian(const uint8_t* at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

int32_t side(uint32_t value)
{
    return int32_t(std::min<uint32_t>(value, INT32_MAX));
}

[[noreturn]] void damaged(const std::string& shownPath)
{
    throw ImageError("cannot read '" + shownPath + "': the file is damaged or truncated");
}

// PNG: the IHDR chunk comes first, with width, height and bits per sample.
ImageHeader::Layout pngLayout(const std::vector<uint8_t>& head, const std::string& shownPath)
{
    if (head.size() < 25 || std::memcmp(&head[12], "IHDR", 4) != 0) {
        damaged(shownPath);
    }
    return {side(bigEndian(&head[16], 4)), side(bigEndian(&head[20], 4)),
            head[24] == 16 ? ImageDepth::Bits16 : ImageDepth::Bits8};
}

// BMP: the info header after the 14-byte file header; a negative height means top-down rows.
ImageHeader::Layout bmpLayout(const std::vector<uint8_t>& head, const std::string& shownPath)
{
    if (head.size() < 26) {
        damaged(shownPath);
    }
    if (littleEndian(&head[14], 4) == 12) {  // the old core header: 16-bit sides
        return {side(littleEndian(&head[18], 2)), side(littleEndian(&head[20], 2))};
    }
    int32_t height = int32_t(littleEndian(&head[22], 4));
    uint32_t rows = uint32_t(height < 0 ? -int64_t(height) : height);
    return {side(littleEndian(&head[18], 4)), side(rows)};
}

// JPEG: walks the markers to the first start of frame, which holds height and width.
ImageHeader::Layout jpegLayout(std::ifstream& in, const std::string& shownPath)
{
    in.clear();
    in.seekg(2);
    uint8_t marker[4];
    while (in.read(reinterpret_cast<char*>(marker), 4)) {
        if (marker[0] != 0xFF) {
            damaged(shownPath);
        }
        uint8_t kind = marker[1];
        uint32_t length = bigEndian(&marker[2], 2);
        bool startOfFrame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8
            && kind != 0xCC;
        if (startOfFrame) {
            uint8_t frame[5];
            if (!in.read(reinterpret_cast<char*>(frame), 5)) {
                break;
            }
            return {side(bigEndian(&frame[3], 2)), side(bigEndian(&frame[1], 2))};
        }
        if (length < 2) {
            damaged(shownPath);
        }
        in.seekg(std::streamoff(length - 2), std::ios::cur);
    }
    damaged(shownPath);
}

}  // namespace

std::optional<ImageHeader::Layout> ImageHeader::read(const std::string& path,
                                                     const std::string& shownPath)
{
    std::ifstream in(utf8ToWide(path).c_str(), std::ios::binary);
    std::vector<uint8_t> head(32);
    in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    head.resize(size_t(in.gcount()));
    auto starts = [&](const char* signature, size_t length) {
        return head.size() >= length && std::memcmp(head.data(), signature, length) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n", 8)) {
        return pngLayout(head, shownPath);
    }
    if (starts("BM", 2)) {
        return bmpLayout(head, shownPath);
    }
    if (starts("\xFF\xD8", 2)) {
        return jpegLayout(in, shownPath);
    }
    return std::nullopt;
}

}  // namespace Tessarine::Lamino
