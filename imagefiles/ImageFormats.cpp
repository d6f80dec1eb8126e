#include "imagefiles/ImageFormat.h"

#include "imagefiles/ExrFile.h"
#include "imagefiles/FloatTiff.h"
#include "imagefiles/ImageError.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/BmpFile.h"
#include "imagefiles/JpegFile.h"
#include "imagefiles/PngFile.h"
#include "imagefiles/TiffFile.h"

#include <algorithm>
#include <cctype>

namespace Tessarine::Lamino {

bool ImageFormat::holds(ImageDepth depth) const
{
    return std::find(depths.begin(), depths.end(), depth) != depths.end();
}

ImageDepth ImageFormat::storedDepth(ImageDepth depth) const
{
    return holds(depth) ? depth : depths.back();
}

const std::vector<const ImageFormat*>& ImageFormats::all()
{
    // Adding a format is one line here (and its entry). TIFF and float TIFF share a signature;
    // each recognises its own files by their sample format.
    static const std::vector<const ImageFormat*> table = {
        &PngFile::format(),   &JpegFile::format(), &BmpFile::format(),
        &TiffFile::format(),  &FloatTiff::format(), &ExrFile::format(),
    };
    return table;
}

const ImageFormat& ImageFormats::recognise(const SourceFile& file)
{
    for (const ImageFormat* format : all()) {
        if (format->recognises(file)) {
            return *format;
        }
    }
    file.fail("not an image format that can be read (" + readNames() + " are)");
}

const ImageFormat* ImageFormats::forOutput(const std::string& path, ImageDepth depth)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) {
        return nullptr;
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    const ImageFormat* named = nullptr;
    for (const ImageFormat* format : all()) {
        const std::vector<std::string>& own = format->extensions;
        if (std::find(own.begin(), own.end(), extension) == own.end()) {
            continue;
        }
        if (format->holds(depth)) {
            return format;
        }
        named = named ? named : format;
    }
    return named;
}

std::string ImageFormats::readNames()
{
    const std::vector<const ImageFormat*>& formats = all();
    std::string text;
    for (size_t i = 0; i < formats.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == formats.size() ? " or " : ", ") + std::string(formats[i]->name);
    }
    return text;
}

}  // namespace Tessarine::Lamino
