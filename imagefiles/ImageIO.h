#pragma once

#include <cstdint>
#include <string>

#include "imagefiles/ExrFile.h"
#include "imagefiles/Image.h"
#include "imagefiles/ImageError.h"
#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

// What a read accepts; a larger image is refused from its header, before any decoding.
struct ImageReadLimits {
    int32_t maxSide = 30000;      // at most ImageIO::kMaxSide
    bool sideIsTheGpus = false;   // maxSide is what the GPU renders (and the message says so)
    // Width x height at most: 128 megapixels by default, about 0.5 GB an 8-bit frame, 2 GB a
    // float one, so that a run's few frames fit an ordinary machine's memory.
    int64_t maxPixels = int64_t(1) << 27;
    const char* maxPixelsSetBy = nullptr;  // the setting that raises it, for the message
};

// Reads and writes image files through the table of formats (ImageFormats): a file read is
// opened once, its format picked once from its first bytes, its header read and its size
// accepted before any pixel is decoded. A file written appears only when it was written
// completely and its header reads back. Any thread may call it. Paths are UTF-8 Windows paths.
class ImageIO {
public:
    // Largest width or height accepted on reading; larger images are refused before decoding.
    static constexpr int32_t kMaxSide = 30000;

    using FileLayout = ImageLayout;
    using WriteOptions = ImageWriteOptions;

    // A file written completely under a temporary name beside its target, not yet under its
    // own name: commit() renames it over the target, and a PendingWrite dropped uncommitted
    // deletes its temporary file. Move-only.
    class PendingWrite {
    public:
        PendingWrite(PendingWrite&& other) noexcept;
        PendingWrite& operator=(PendingWrite&& other) noexcept;
        ~PendingWrite();
        void commit();

    private:
        friend class ImageIO;
        PendingWrite(std::wstring temporary, std::wstring target, std::string shownPath);
        void discard();

        std::wstring temporary;
        std::wstring target;
        std::string shownPath;
    };

    // The size and depth of a file's first image; throws ImageError for a file it cannot read.
    static FileLayout probe(const std::string& path);

    // Reads the first image converted to 8-bit straight alpha (opaque when the file has none).
    static Image read(const std::string& path);

    using ReadLimits = ImageReadLimits;
    static constexpr int64_t kDefaultMaxPixels = int64_t(1) << 27;

    // Reads the first image at the depth probe() gives.
    static Image readAtFileDepth(const std::string& path, const ReadLimits& limits = {});

    // The format an output name asks for by its extension (.png, .tif, .tiff, .exr, any case),
    // for an image of `depth`; null for a name no format writes.
    static const ImageFormat* formatOf(const std::string& path,
                                       ImageDepth depth = ImageDepth::Bits8);

    // The depth an image of `depth` is stored at under an output name: PNG 8 or 16 bits
    // (Float32 clipped to 16), TIFF any, EXR Float32 (half or float channels).
    static ImageDepth storedDepth(const std::string& path, ImageDepth depth);

    // Writes the image in the format its name's extension says, at storedDepth, with alpha. The
    // file appears only when it was written completely: it is written under a fresh name beside
    // it first ("NAME.lamino-TAG-N.part", TAG being the environment's LAMINO_RUN_ID or the
    // process id, NAME cut where the whole would pass 255 characters), checked and renamed; a
    // failure leaves the file that was there untouched.
    static void write(const Image& image, const std::string& path, const WriteOptions& options = {});

    // The same write up to its last step: the file complete under its temporary name.
    static PendingWrite prepare(const Image& image, const std::string& path,
                                const WriteOptions& options = {});

    // Writes a PNG whatever the name, as write() does.
    static void writePng(const Image& image, const std::string& path);

private:
    static PendingWrite prepareAs(const ImageFormat& format, const Image& image,
                                  const std::string& path, const WriteOptions& options);
};

}  // namespace Tessarine::Lamino
