#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// An image in memory: straight (not premultiplied) alpha, 8 bits per channel, rows top to
// bottom without padding, bytes red, green, blue, alpha.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;

    Image() = default;
    Image(int32_t width, int32_t height);
    uint8_t* pixel(int32_t x, int32_t y)
    {
        return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    }
    const uint8_t* pixel(int32_t x, int32_t y) const
    {
        return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    }
};

// A failure to read or write an image file; the message names the file and says what went wrong.
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads and writes image files through Windows Imaging Component. Any thread may call it; each
// call initialises COM on its thread for its own duration. Paths are UTF-8 Windows paths.
class ImageIO {
public:
    // Largest width or height accepted on reading; larger images are refused before decoding.
    static constexpr int32_t kMaxSide = 30000;

    // Reads the first frame of a PNG, JPEG, TIFF, BMP (or any format WIC decodes), whatever its
    // bit depth, converted to 8-bit straight alpha (opaque when the file has no alpha).
    static Image read(const std::string& path);

    // Writes a 32-bit PNG with alpha. The file appears only when it was written completely: it
    // is written under a fresh name beside it first ("PATH.lamino-TAG-N.part", TAG being the
    // environment's LAMINO_RUN_ID or the process id) and renamed; a failure leaves the file
    // that was there untouched.
    static void writePng(const Image& image, const std::string& path);
};

}  // namespace Tessarine::Lamino
