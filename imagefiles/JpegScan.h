#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace Tessarine::Lamino {

class SourceFile;

// Walks the Huffman-coded data of one scan of a sequential JPEG block by block, decoding only
// the codes (no coefficient is kept, nothing is transformed), so that a scan whose data ends
// before its last block, or does not decode, is found before Wine's decoder pads it with grey.
// Holds what the segments before a scan set: the Huffman tables and the restart interval. No
// thread affinity.
class JpegScan {
public:
    struct Component {
        uint8_t id = 0;
        int across = 1, down = 1;  // sampling factors
    };

    // The size and components of the frame, from its header (tables may come before it).
    void setFrame(uint32_t frameWidth, uint32_t frameHeight, std::vector<Component> frame);

    // A DHT segment's tables; a DRI segment's interval.
    void defineTables(const SourceFile& file, const std::vector<uint8_t>& segment);
    void setRestartInterval(uint32_t mcus) { restartInterval = mcus; }

    // Walks the scan whose header (the SOS segment's content) is given and whose data starts at
    // `at`; returns where the marker after its data starts.
    uint64_t walk(const SourceFile& file, const std::vector<uint8_t>& header, uint64_t at);

private:
    struct Table {
        std::array<int32_t, 17> maxCode{};
        std::array<int32_t, 17> offset{};
        std::vector<uint8_t> values;
        bool defined = false;
    };

    uint32_t width = 0, height = 0;
    std::vector<Component> components;
    int mostAcross = 1, mostDown = 1;
    Table tables[2][4];  // DC, AC by id
    uint32_t restartInterval = 0;
};

}  // namespace Tessarine::Lamino
