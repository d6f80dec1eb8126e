#pragma once

#include <cstdint>
#include <vector>

#include <glbinding/gl/types.h>

namespace Tessarine::Lamino {

struct BandTable;

// The band table of one render as the slice program reads it: an RGBA32F texture holding the
// lookup records (BandLookup, two texels each), kRecordsPerRow to a row: record k is at texels
// (2 (k mod kRecordsPerRow), k / kRecordsPerRow) and the one after. (A 2D texture rather than a
// buffer texture: llvmpipe fetches from those several times slower.) Its storage grows when a
// larger table comes and is otherwise rewritten in place, so that a render at steady controls
// makes no GL object and the number of GL calls does not depend on the number of bands.
//
// Owns its texture (0 = not made). Plain data otherwise: kept per context by the slice pass,
// which calls release with that context current.
class BandTableTexture {
public:
    static constexpr int32_t kRecordsPerRow = 1024;

    // Raises GpuFailure (OutOfMemory) when the storage cannot be had; leaves no texture bound.
    void upload(const BandTable& table);
    void release();

    gl::GLuint texture() const { return lookupTexture; }

private:
    gl::GLuint lookupTexture = 0;
    int32_t rows = 0; // rows of the texture's storage
    std::vector<float> staging; // whole rows: the records, the last one repeated to fill
};

} // namespace Tessarine::Lamino
