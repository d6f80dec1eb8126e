#include "imagefiles/TiffFile.h"

#include "imagefiles/ImageError.h"
#include "imagefiles/OutputSink.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/TiffDirectory.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>

#include <algorithm>
#include <string>

namespace Tessarine::Lamino {

namespace {

bool recognises(const SourceFile& file)
{
    if (!TiffDirectory::hasSignature(file)) {
        return false;
    }
    try {
        return !TiffDirectory(file).floatSamples();
    } catch (const ImageError&) {
        return true;  // its header reading says what is damaged
    }
}

using Tags = TiffDirectory;

// Refuses integer TIFF files that Windows Imaging Component would misread or pad, before it
// sees them: kinds of samples it does not decode, a palette image without its colour map, and
// strips or tiles the file does not hold.
void checkReadable(const SourceFile& file, const TiffDirectory& directory)
{
    const uint32_t samples = directory.first(Tags::kSamplesPerPixel, 1);
    const uint32_t bits = directory.first(Tags::kBitsPerSample, 1);
    if (samples == 0 || samples > 4) {
        file.fail("a TIFF of " + std::to_string(samples)
                  + " samples per pixel is not supported (1 to 4 are)");
    }
    if (!directory.allEqual(Tags::kBitsPerSample, bits, 1)
        || (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)) {
        file.fail("a TIFF of " + std::to_string(bits)
                  + "-bit integer samples is not supported (1, 2, 4, 8 and 16 bits are)");
    }
    if (!directory.allEqual(Tags::kSampleFormat, 1, 1)) {
        file.fail("a TIFF of signed or other non-float samples is not supported");
    }
    if (samples > 1 && directory.first(Tags::kPlanarConfiguration, 1) != 1) {
        file.fail("a TIFF with separate sample planes is not supported (interleaved samples are)");
    }
    const uint32_t photometric = directory.first(Tags::kPhotometric, 1);
    if (photometric == 3 && directory.values(Tags::kColorMap).size() != 3u * (1u << bits)) {
        file.damaged("its palette image has no colour map");
    }
    static const uint32_t kCompressions[] = {1, 2, 3, 4, 5, 7, 8, 32773, 32946};
    const uint32_t compression = directory.first(Tags::kCompression, 1);
    if (std::find(std::begin(kCompressions), std::end(kCompressions), compression)
        == std::end(kCompressions)) {
        file.fail("a TIFF of compression " + std::to_string(compression) + " is not supported");
    }
    directory.checkData(file, uint64_t(samples) * bits);
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    checkReadable(file, TiffDirectory(file));
    return WicCodec::decode(file, GUID_ContainerFormatTiff, layout.width, layout.height);
}

void encode(const Image& image, const ImageWriteOptions&, OutputSink& sink)
{
    WicCodec::encode(GUID_ContainerFormatTiff, image, sink, sink.path());
}

}  // namespace

const ImageFormat& TiffFile::format()
{
    static const ImageFormat entry = {
        "TIFF", {"tif", "tiff"}, {ImageDepth::Bits8, ImageDepth::Bits16}, recognises,
        TiffDirectory::readHeader, decode, encode,
    };
    return entry;
}

}  // namespace Tessarine::Lamino
