// The LWO2 mesh file that the "ZK_XSI_ExportLWO" command writes: one layer,
// one surface, every polygon a FACE.
//
// The host's mesh becomes LightWave's left-handed space by negating z (the
// same negation as the MDD point cache, so the cache plays back on this mesh
// point for point) and reversing each polygon's point order, so that faces
// still face out after the mirror.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A mesh as it goes into the file: points in file order and, for each
// polygon, its point count followed by its point indices.
struct LWOMesh {
    std::vector<float> points; // x, y, z per point, LightWave space
    std::vector<std::uint32_t> polygonData;
};

// The largest point index that an LWO variable-length index can hold, and
// the most points a FACE polygon can have.
constexpr std::uint32_t kLWOMaxPointIndex = 0x00FFFFFFu;
constexpr std::uint32_t kLWOMaxPolygonSize = 1023u;

// Turns the host's mesh (positions as x, y, z doubles in local space, and
// polygon data as count followed by indices) into the file's mesh: x and y
// rounded to single precision, z rounded and then negated as zs + zs * -2,
// so a zero z stays +0; each polygon's indices reversed. Returns false and
// sets 'error' when the data cannot make an LWO file (an index out of range,
// a polygon of 0 or more than 1023 points, truncated polygon data, more
// points than an index can address).
bool LWOConvertMesh(const double* positions, std::size_t pointCount,
                    const std::int32_t* polygonData, std::size_t polygonDataCount, LWOMesh* out,
                    std::string* error);

// The whole file as bytes: FORM "LWO2" holding TAGS, LAYR, PNTS, POLS
// (FACE), PTAG (SURF) and SURF, big-endian, every chunk padded to an even
// length. The mesh must be one that LWOConvertMesh made. Returns false and
// sets 'error' when the file would be too large for the format's sizes.
bool LWOBuildFile(const LWOMesh& mesh, const char* surfaceName, std::vector<unsigned char>* out,
                  std::string* error);

// Writes the bytes to a new file at 'path' (an existing file is replaced).
// True only when the file was opened, every byte was written and the close
// succeeded; on a failure after opening, a partial plain file is removed.
bool LWOWriteBytes(const char* path, const std::vector<unsigned char>& bytes);
