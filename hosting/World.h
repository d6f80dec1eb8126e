#pragma once

#include "AE_Effect.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tessarine::Lamino {

// The pixel layouts a host world can have; the values are the host's pixel-format codes.
enum class WorldFormat : uint32_t {
    Argb8 = 0x62677261,     // "argb": PF_Pixel, 0..255
    Argb16 = 0x36316561,    // "ae16": PF_Pixel16, 0..32768, a deep world
    ArgbFloat = 0x32336561  // "ae32": PF_PixelFloat
};

// An image buffer in the host's layout (PF_EffectWorld) that owns its memory, as the host hands
// to an effect: top row first, rows `rowbytes` apart. Rows are padded by default, as the host's
// often are, so that code which assumes rowbytes == width * pixel size fails. The padding and a
// guard zone after the last row hold a known pattern, so a test can tell whether anything wrote
// outside the pixels (guardIntact).
//
// The format is recorded in the world itself (PF_WorldFlag_DEEP for 16-bit, and the host-private
// field reserved_long3 for every format), so that the headless host's callbacks can tell an 8-bit
// world from a deep or a float one even from a copy of the structure. Movable, not copyable (the
// structure points into the owned memory). No thread affinity.
class World {
public:
    static constexpr uint8_t kGuardByte = 0xA5;
    static constexpr size_t kGuardZoneBytes = 64;

    // width, height >= 0; paddingPixels >= 0 extra pixels of padding at the end of every row.
    World(WorldFormat format, int32_t width, int32_t height, int32_t paddingPixels = 3);

    World(World&&) noexcept = default;
    World& operator=(World&&) noexcept = default;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    PF_EffectWorld* get() { return &world; }
    const PF_EffectWorld* get() const { return &world; }
    WorldFormat format() const { return pixelFormat; }
    int32_t width() const { return world.width; }
    int32_t height() const { return world.height; }
    int32_t rowbytes() const { return world.rowbytes; }
    size_t pixelSize() const;

    PF_Pixel* pixel8(int32_t x, int32_t y);
    PF_Pixel16* pixel16(int32_t x, int32_t y);
    PF_PixelFloat* pixelFloat(int32_t x, int32_t y);
    const PF_Pixel* pixel8(int32_t x, int32_t y) const;
    const PF_Pixel16* pixel16(int32_t x, int32_t y) const;
    const PF_PixelFloat* pixelFloat(int32_t x, int32_t y) const;

    // The first byte of row y (0 <= y < height), for copying whole rows of any format.
    uint8_t* rowData(int32_t y);
    const uint8_t* rowData(int32_t y) const;

    // Sets every pixel's bytes to `value` (padding and guard zone keep their pattern).
    void fillBytes(uint8_t value);

    // The pixels row after row without padding: what two worlds of different rowbytes share.
    std::vector<uint8_t> packedPixels() const;

    // True when nothing wrote into the row padding or the guard zone after the last row.
    bool guardIntact() const;

    // The format a world was made with, read from the world structure: for worlds made by this
    // class exactly, otherwise (reserved_long3 unset) Argb16 for a deep world, else Argb8.
    static WorldFormat formatOf(const PF_EffectWorld& world);
    // Bytes per pixel of a format.
    static size_t pixelSizeOf(WorldFormat format);

private:
    uint8_t* rowStart(int32_t y);
    const uint8_t* rowStart(int32_t y) const;
    void checkInside(int32_t x, int32_t y, WorldFormat wanted) const;

    WorldFormat pixelFormat;
    std::vector<uint8_t> memory;  // height rows of rowbytes, then the guard zone
    PF_EffectWorld world{};
};

}  // namespace Tessarine::Lamino
