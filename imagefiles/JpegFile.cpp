#include "imagefiles/JpegFile.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/JpegScan.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>

#include <algorithm>

namespace Tessarine::Lamino {

namespace {

constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kEndOfImage = 0xD9;

bool recognises(const SourceFile& file)
{
    return file.startsWith("\xFF\xD8", 2);
}

bool isStartOfFrame(uint8_t kind)
{
    return kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC;
}

// A marker segment: its kind and where its content (after the length) starts.
struct Segment {
    uint8_t kind;
    uint64_t content;
    uint32_t length;  // of the content
};

// The segment at `at` (fill bytes before its marker skipped); damage where there is none.
Segment segmentAt(const SourceFile& file, uint64_t at)
{
    SourceFile::Cursor cursor(file, at);
    uint8_t byte = 0;
    if (!cursor.next(byte) || byte != 0xFF) {
        file.damaged(at >= file.size() ? "it ends before its image data" : "a marker is missing");
    }
    while (cursor.next(byte) && byte == 0xFF) {
    }
    Segment segment{byte, cursor.offset() + 2, 0};
    if (byte == kEndOfImage) {
        segment.content = cursor.offset();
        return segment;
    }
    uint8_t length[2];
    if (!cursor.take(length, 2) || bigEndianAt(length, 2) < 2
        || !file.holds(cursor.offset(), bigEndianAt(length, 2) - 2)) {
        file.damaged("a marker segment reaches past the end of the file");
    }
    segment.length = bigEndianAt(length, 2) - 2;
    return segment;
}

// What the start of frame says: size and the components' sampling, for the data check.
struct JpegFrame {
    uint32_t width = 0, height = 0;
    uint64_t blocks = 0;  // 8 x 8 blocks of all components
    bool sequential = false;  // baseline or extended, not progressive
    std::vector<JpegScan::Component> components;
};

JpegFrame frameOf(const SourceFile& file, const Segment& segment)
{
    if (segment.kind != 0xC0 && segment.kind != 0xC1 && segment.kind != 0xC2) {
        file.fail("a lossless, hierarchical or arithmetic-coded JPEG is not supported "
                  "(baseline and progressive ones are)");
    }
    std::vector<uint8_t> content = file.bytes(segment.content, segment.length);
    if (content.size() < 6 || content.size() < 6 + size_t(content[5]) * 3 || content[5] == 0) {
        file.damaged("its frame header is cut short");
    }
    if (content[0] != 8) {
        file.fail("a JPEG of " + std::to_string(content[0])
                  + "-bit samples is not supported (8-bit ones are)");
    }
    JpegFrame frame;
    frame.height = bigEndianAt(&content[1], 2);
    frame.width = bigEndianAt(&content[3], 2);
    if (frame.height == 0) {
        file.fail("a JPEG whose height comes after its data is not supported");
    }
    int most[2] = {1, 1};
    for (int c = 0; c < content[5]; ++c) {
        most[0] = std::max(most[0], content[7 + c * 3] >> 4);
        most[1] = std::max(most[1], content[7 + c * 3] & 15);
    }
    frame.sequential = segment.kind != 0xC2;
    for (int c = 0; c < content[5]; ++c) {
        int across = std::max(1, content[7 + c * 3] >> 4), down = std::max(1, content[7 + c * 3] & 15);
        frame.components.push_back({content[6 + c * 3], across, down});
        uint64_t columns = (uint64_t(frame.width) * across + most[0] - 1) / most[0];
        uint64_t rows = (uint64_t(frame.height) * down + most[1] - 1) / most[1];
        frame.blocks += ((columns + 7) / 8) * ((rows + 7) / 8);
    }
    return frame;
}

// Walks the markers to the first start of frame, which holds height and width.
ImageLayout readHeader(const SourceFile& file)
{
    for (uint64_t at = 2;;) {
        Segment segment = segmentAt(file, at);
        if (isStartOfFrame(segment.kind)) {
            JpegFrame frame = frameOf(file, segment);
            return {frame.width, frame.height, ImageDepth::Bits8};
        }
        if (segment.kind == kStartOfScan || segment.kind == kEndOfImage) {
            file.damaged("it has no frame header before its data");
        }
        at = segment.content + segment.length;
    }
}

// The end of the entropy-coded data that starts at `at`: the next marker that is neither a
// stuffed 0xFF nor a restart marker. Counts the data's bytes.
uint64_t endOfScan(const SourceFile& file, uint64_t at, uint64_t& dataBytes)
{
    SourceFile::Cursor cursor(file, at);
    uint8_t byte;
    while (cursor.next(byte)) {
        if (byte != 0xFF) {
            ++dataBytes;
            continue;
        }
        uint8_t after;
        if (!cursor.next(after)) {
            break;
        }
        if (after == 0x00 || (after >= 0xD0 && after <= 0xD7)) {
            dataBytes += after == 0x00 ? 1 : 0;
            continue;
        }
        return cursor.offset() - 2;
    }
    file.damaged("its image data ends early");
}

// Every segment and scan up to the end-of-image marker inside the file, and enough coded data
// for the frame's blocks: each block of each component takes at least one bit of its first
// scan, so a header that claims more pixels than the data can hold is found before decoding
// (Wine's decoder would pad the missing rows with grey). The scans of a sequential JPEG are
// walked block by block, which finds any scan that ends early.
void checkScans(const SourceFile& file)
{
    JpegFrame frame;
    JpegScan scans;
    bool framed = false, scanned = false;
    uint64_t dataBytes = 0;
    for (uint64_t at = 2;;) {
        Segment segment = segmentAt(file, at);
        if (segment.kind == kEndOfImage) {
            break;
        }
        if (isStartOfFrame(segment.kind) && !framed) {
            frame = frameOf(file, segment);
            scans.setFrame(frame.width, frame.height, frame.components);
            framed = true;
        } else if (segment.kind == 0xC4) {
            scans.defineTables(file, file.bytes(segment.content, segment.length));
        } else if (segment.kind == 0xDD && segment.length >= 2) {
            scans.setRestartInterval(bigEndianAt(file.bytes(segment.content, 2).data(), 2));
        }
        at = segment.content + segment.length;
        if (segment.kind == kStartOfScan) {
            if (!framed) {
                file.damaged("it has no frame header before its data");
            }
            scanned = true;
            if (frame.sequential) {
                const uint64_t walked = scans.walk(file, file.bytes(segment.content, segment.length), at);
                dataBytes += walked - at;
                at = walked;
            }
            at = endOfScan(file, at, dataBytes);
        }
    }
    if (!scanned) {
        file.damaged("it holds no image data");
    }
    if (dataBytes * 8 < frame.blocks) {
        file.damaged("its image data is too short for " + std::to_string(frame.width) + " x "
                     + std::to_string(frame.height) + " pixels");
    }
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    checkScans(file);
    return WicCodec::decode(file, GUID_ContainerFormatJpeg, layout.width, layout.height);
}

}  // namespace

const ImageFormat& JpegFile::format()
{
    static const ImageFormat entry = {
        "JPEG", {}, {ImageDepth::Bits8}, recognises, readHeader, decode, nullptr,
    };
    return entry;
}

}  // namespace Tessarine::Lamino
