#include "effect/BandTableTexture.h"

#include <cstring>

#include <glbinding/gl/gl.h>

#include "effect/BandTable.h"
#include "gl/GlErrors.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

constexpr int32_t kTexelsPerRecord = sizeof(BandLookup) / (4 * sizeof(float));
constexpr int32_t kRowTexels = BandTableTexture::kRecordsPerRow * kTexelsPerRecord;
constexpr size_t kRecordFloats = sizeof(BandLookup) / sizeof(float);

void allocate(int32_t rows)
{
    clearGlErrors();
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), kRowTexels, rows, 0, GL_RGBA,
                 GL_FLOAT, nullptr);
    requireAllocated();
}

} // namespace

void BandTableTexture::upload(const BandTable& table)
{
    const size_t records = table.lookup.size();
    const int32_t needed = static_cast<int32_t>((records + kRecordsPerRow - 1) / kRecordsPerRow);
    staging.resize(static_cast<size_t>(needed) * kRecordsPerRow * kRecordFloats);
    std::memcpy(staging.data(), table.lookup.data(), records * sizeof(BandLookup));
    for (size_t k = records; k < staging.size() / kRecordFloats; ++k) {
        std::memcpy(&staging[k * kRecordFloats], &table.lookup.back(), sizeof(BandLookup));
    }

    if (lookupTexture == 0) {
        glGenTextures(1, &lookupTexture);
        glBindTexture(GL_TEXTURE_2D, lookupTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_NEAREST));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_NEAREST));
    } else {
        glBindTexture(GL_TEXTURE_2D, lookupTexture);
    }
    if (needed > rows) {
        try {
            allocate(needed);
        } catch (...) {
            glBindTexture(GL_TEXTURE_2D, 0);
            rows = 0;
            throw;
        }
        rows = needed;
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kRowTexels, needed, GL_RGBA, GL_FLOAT,
                    staging.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

void BandTableTexture::release()
{
    if (lookupTexture != 0) {
        glDeleteTextures(1, &lookupTexture);
    }
    *this = BandTableTexture{};
}

} // namespace Tessarine::Lamino
