#include "hosting/World.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace Tessarine::Lamino {

namespace {

size_t bytesPerPixel(WorldFormat format)
{
    switch (format) {
    case WorldFormat::Argb8: return sizeof(PF_Pixel);
    case WorldFormat::Argb16: return sizeof(PF_Pixel16);
    case WorldFormat::ArgbFloat: return sizeof(PF_PixelFloat);
    }
    return sizeof(PF_Pixel);
}

}  // namespace

World::World(WorldFormat format, int32_t width, int32_t height, int32_t paddingPixels)
    : pixelFormat(format)
{
    if (width < 0 || height < 0 || paddingPixels < 0) {
        throw std::invalid_argument("world size " + std::to_string(width) + " x " +
                                    std::to_string(height) + " (padding " +
                                    std::to_string(paddingPixels) + ") is negative");
    }
    size_t rowbytes = (size_t(width) + size_t(paddingPixels)) * bytesPerPixel(format);
    if (rowbytes > size_t(std::numeric_limits<A_long>::max())) {
        throw std::invalid_argument("world row of " + std::to_string(rowbytes) + " bytes is too long");
    }
    memory.assign(rowbytes * size_t(height) + kGuardZoneBytes, kGuardByte);
    world.world_flags = PF_WorldFlag_WRITEABLE | (format == WorldFormat::Argb16 ? PF_WorldFlag_DEEP : 0);
    world.data = reinterpret_cast<PF_PixelPtr>(memory.data());
    world.rowbytes = A_long(rowbytes);
    world.width = width;
    world.height = height;
    world.extent_hint = PF_Rect{0, 0, width, height};
    world.pix_aspect_ratio = PF_RationalScale{1, 1};
    world.reserved_long3 = A_long(format);
    fillBytes(0);
}

size_t World::pixelSizeOf(WorldFormat format)
{
    return bytesPerPixel(format);
}

size_t World::pixelSize() const
{
    return bytesPerPixel(pixelFormat);
}

uint8_t* World::rowData(int32_t y)
{
    checkInside(0, y, pixelFormat);
    return rowStart(y);
}

const uint8_t* World::rowData(int32_t y) const
{
    checkInside(0, y, pixelFormat);
    return rowStart(y);
}

uint8_t* World::rowStart(int32_t y)
{
    return memory.data() + size_t(y) * size_t(world.rowbytes);
}

const uint8_t* World::rowStart(int32_t y) const
{
    return memory.data() + size_t(y) * size_t(world.rowbytes);
}

void World::checkInside(int32_t x, int32_t y, WorldFormat wanted) const
{
    if (wanted != pixelFormat) {
        throw std::logic_error("pixel of the wrong depth asked of a world");
    }
    if (x < 0 || y < 0 || x >= world.width || y >= world.height) {
        throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                                ") outside a " + std::to_string(world.width) + " x " +
                                std::to_string(world.height) + " world");
    }
}

PF_Pixel* World::pixel8(int32_t x, int32_t y)
{
    checkInside(x, y, WorldFormat::Argb8);
    return reinterpret_cast<PF_Pixel*>(rowStart(y)) + x;
}

PF_Pixel16* World::pixel16(int32_t x, int32_t y)
{
    checkInside(x, y, WorldFormat::Argb16);
    return reinterpret_cast<PF_Pixel16*>(rowStart(y)) + x;
}

PF_PixelFloat* World::pixelFloat(int32_t x, int32_t y)
{
    checkInside(x, y, WorldFormat::ArgbFloat);
    return reinterpret_cast<PF_PixelFloat*>(rowStart(y)) + x;
}

const PF_Pixel* World::pixel8(int32_t x, int32_t y) const
{
    return const_cast<World*>(this)->pixel8(x, y);
}

const PF_Pixel16* World::pixel16(int32_t x, int32_t y) const
{
    return const_cast<World*>(this)->pixel16(x, y);
}

const PF_PixelFloat* World::pixelFloat(int32_t x, int32_t y) const
{
    return const_cast<World*>(this)->pixelFloat(x, y);
}

void World::fillBytes(uint8_t value)
{
    size_t rowLength = size_t(world.width) * pixelSize();
    for (int32_t y = 0; y < world.height; ++y) {
        std::memset(rowStart(y), value, rowLength);
    }
}

std::vector<uint8_t> World::packedPixels() const
{
    size_t rowLength = size_t(world.width) * pixelSize();
    std::vector<uint8_t> packed(rowLength * size_t(world.height));
    for (int32_t y = 0; y < world.height; ++y) {
        std::memcpy(packed.data() + rowLength * size_t(y), rowStart(y), rowLength);
    }
    return packed;
}

bool World::guardIntact() const
{
    size_t rowLength = size_t(world.width) * pixelSize();
    for (int32_t y = 0; y < world.height; ++y) {
        const uint8_t* row = rowStart(y);
        for (size_t i = rowLength; i < size_t(world.rowbytes); ++i) {
            if (row[i] != kGuardByte) {
                return false;
            }
        }
    }
    for (size_t i = memory.size() - kGuardZoneBytes; i < memory.size(); ++i) {
        if (memory[i] != kGuardByte) {
            return false;
        }
    }
    return true;
}

WorldFormat World::formatOf(const PF_EffectWorld& world)
{
    switch (uint32_t(world.reserved_long3)) {
    case uint32_t(WorldFormat::Argb8): return WorldFormat::Argb8;
    case uint32_t(WorldFormat::Argb16): return WorldFormat::Argb16;
    case uint32_t(WorldFormat::ArgbFloat): return WorldFormat::ArgbFloat;
    default: return PF_WORLD_IS_DEEP(&world) ? WorldFormat::Argb16 : WorldFormat::Argb8;
    }
}

}  // namespace Tessarine::Lamino
