#pragma once

#include <cstdint>
#include <vector>

#include <glbinding/gl/types.h>

namespace Tessarine::Lamino {

struct BandTable;

// Where one band table lies in the texture: its lookup records from row lookupRow, and, when
// soft edges were asked for, from row softRow the first band of each record (texel k, in .x)
// followed by the bands themselves (texel records + i: start, end, shift, choice).
struct BandTableRows {
    int32_t lookupRow = 0;
    int32_t softRow = 0;
    int32_t lastRecord = 0;
    int32_t lastBand = 0;
};

// The band tables of one render (one per sample time across the shutter) as the slice program
// reads them: an RGBA32F texture kRowTexels wide. Lookup records (BandLookup, two texels each)
// are kRecordsPerRow to a row: record k of a table is at texels (2 (k mod kRecordsPerRow),
// lookupRow + k / kRecordsPerRow) and the one after. Each table starts on a row of its own.
// (A 2D texture rather than a buffer texture: llvmpipe fetches from those several times
// slower.) Its storage grows when larger tables come and is otherwise rewritten in place, so that
// a render at steady controls makes no GL object and the number of GL calls does not depend on
// the number of bands or tables.
//
// Owns its texture (0 = not made). Plain data otherwise: kept per context by the slice pass,
// which calls release with that context current.
class BandTableTexture {
public:
    static constexpr int32_t kRecordsPerRow = 1024;
    static constexpr int32_t kRowTexels = 2 * kRecordsPerRow;

    // Raises GpuFailure (OutOfMemory) when the storage cannot be had; leaves no texture bound.
    std::vector<BandTableRows> upload(const std::vector<BandTable>& tables, bool soft);
    void release();

    gl::GLuint texture() const { return lookupTexture; }

private:
    BandTableRows stage(const BandTable& table, bool soft);
    void store(int32_t needed);

    gl::GLuint lookupTexture = 0;
    int32_t rows = 0; // rows of the texture's storage
    std::vector<float> staging; // whole rows: for each table its records, the last one repeated
                                // to fill a row, then its soft-edge texels
};

} // namespace Tessarine::Lamino
