#include "effect/BandTableTexture.h"

#include <cstring>

#include <glbinding/gl/gl.h>

#include "effect/BandTable.h"
#include "gl/GlErrors.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

constexpr int32_t kRowTexels = BandTableTexture::kRowTexels;
constexpr size_t kRowFloats = size_t(kRowTexels) * 4;
constexpr size_t kRecordFloats = sizeof(BandLookup) / sizeof(float);

void allocate(int32_t rows)
{
    clearGlErrors();
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), kRowTexels, rows, 0, GL_RGBA,
                 GL_FLOAT, nullptr);
    requireAllocated();
}

int32_t rowsFor(size_t texels)
{
    return static_cast<int32_t>((texels + kRowTexels - 1) / kRowTexels);
}

} // namespace

// Appends one table's rows to the staging area.
BandTableRows BandTableTexture::stage(const BandTable& table, bool soft)
{
    BandTableRows at;
    const size_t records = table.lookup.size();
    at.lastRecord = static_cast<int32_t>(records) - 1;
    at.lastBand = static_cast<int32_t>(table.bands.size()) - 1;
    at.lookupRow = static_cast<int32_t>(staging.size() / kRowFloats);
    const size_t begin = staging.size();
    staging.resize(begin + size_t(rowsFor(records * 2)) * kRowFloats);
    std::memcpy(&staging[begin], table.lookup.data(), records * sizeof(BandLookup));
    for (size_t k = begin + records * kRecordFloats; k < staging.size(); k += kRecordFloats) {
        std::memcpy(&staging[k], &table.lookup.back(), sizeof(BandLookup));
    }
    if (!soft) {
        return at;
    }
    at.softRow = static_cast<int32_t>(staging.size() / kRowFloats);
    const size_t soft0 = staging.size();
    staging.resize(soft0 + size_t(rowsFor(records + table.bands.size())) * kRowFloats, 0.0f);
    for (size_t k = 0; k < records; ++k) {
        staging[soft0 + 4 * k] = static_cast<float>(table.firstBands[k]);
    }
    std::memcpy(&staging[soft0 + 4 * records], table.bands.data(),
                table.bands.size() * sizeof(Band));
    return at;
}

std::vector<BandTableRows> BandTableTexture::upload(const std::vector<BandTable>& tables,
                                                    bool soft)
{
    staging.clear();
    std::vector<BandTableRows> placed;
    for (const BandTable& table : tables) {
        placed.push_back(stage(table, soft));
    }
    store(static_cast<int32_t>(staging.size() / kRowFloats));
    return placed;
}

void BandTableTexture::store(int32_t needed)
{
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
