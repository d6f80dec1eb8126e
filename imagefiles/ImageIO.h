#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "imagefiles/ExrFile.h"
#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

// A failure to read or write an image file; the message names the file and says what went wrong.
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads and writes image files: PNG, TIFF (and JPEG, BMP or any other format it decodes, for
// reading) through Windows Imaging Component, float TIFF through FloatTiff (which WIC cannot
// write), OpenEXR through ExrFile. Any thread may call it; each WIC call initialises COM on its
// thread for its own duration. Paths are UTF-8 Windows paths.
class ImageIO {
public:
    // Largest width or height accepted on reading; larger images are refused before decoding.
    static constexpr int32_t kMaxSide = 30000;

    enum class Format { Png, Tiff, Exr };

    // What a file holds, read from its header without decoding pixels.
    struct FileLayout {
        int32_t width = 0;
        int32_t height = 0;
        ImageDepth depth = ImageDepth::Bits8;  // 16 bits for anything deeper than 8 bits an
                                               // integer channel, Float32 for float TIFF and EXR
    };

    struct WriteOptions {
        // EXR only: the channel type; without it half for 8 and 16 bits, float for Float32.
        std::optional<ExrFile::Channels> exrChannels;
    };

    // The size and depth of a file's first image; throws ImageError for a file it cannot read.
    static FileLayout probe(const std::string& path);

    // Reads the first image converted to 8-bit straight alpha (opaque when the file has none).
    static Image read(const std::string& path);

    // Reads the first image at the depth probe() gives.
    static Image readAtFileDepth(const std::string& path);

    // The format an output name asks for by its extension (.png, .tif, .tiff, .exr, any case).
    static std::optional<Format> formatOf(const std::string& path);

    // The depth a format stores an image of `depth` at: PNG 8 or 16 bits (Float32 clipped to
    // 16), TIFF any, EXR Float32 (half or float channels).
    static ImageDepth storedDepth(Format format, ImageDepth depth);

    // Writes the image in the format its name's extension says, at storedDepth, with alpha. The
    // file appears only when it was written completely: it is written under a fresh name beside
    // it first ("PATH.lamino-TAG-N.part", TAG being the environment's LAMINO_RUN_ID or the process
    // id) and renamed; a failure leaves the file that was there untouched.
    static void write(const Image& image, const std::string& path, const WriteOptions& options = {});

    // Writes a PNG whatever the name, as write() does.
    static void writePng(const Image& image, const std::string& path);

private:
    static void writeAs(Format format, const Image& image, const std::string& path,
                        const WriteOptions& options);
};

}  // namespace Tessarine::Lamino
