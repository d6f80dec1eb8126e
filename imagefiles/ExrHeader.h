#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

class SourceFile;

// The first header of an OpenEXR file, read here before the OpenEXR library sees the file, so
// that what the library would allocate for is checked against the file first: every
// attribute's value inside the file, a channel list without repeats, a known compression, no
// deep data (refused, as are part types other than scan lines and tiles), tiles no larger than
// the image, and a table of pixel chunks that all lie inside the file without overlapping. No
// thread affinity.
class ExrHeader {
public:
    struct Channel {
        std::string name;
        int32_t xSampling = 1;
        int32_t ySampling = 1;
    };

    // Reads and checks the header; throws ImageError saying what is damaged or not supported.
    explicit ExrHeader(const SourceFile& file);

    // The data window's size; depth Float32.
    ImageLayout layout() const;
    const std::vector<Channel>& channels() const { return channelList; }
    const Channel* channel(const std::string& name) const;

    // The table of pixel chunks (of a single-part file of scan lines or one level of tiles):
    // every chunk past the table and inside the file, and no two overlapping.
    void checkChunks(const SourceFile& file) const;

private:
    void readAttribute(const SourceFile& file, const std::string& name, const std::string& type,
                       uint64_t at, uint32_t size);

    std::vector<Channel> channelList;
    int32_t window[4] = {0, 0, -1, -1};  // x min, y min, x max, y max
    int compression = -1;
    bool tiled = false, multipart = false;
    uint32_t tileWidth = 0, tileHeight = 0;
    int levelMode = 0;
    uint64_t tableAt = 0;  // where the table of chunk offsets starts
};

}  // namespace Tessarine::Lamino
