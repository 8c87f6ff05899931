// The stand-in host's model file, written by the host command "ExportModel"
// (the ".emdl" files of a bake). A small binary file, every value
// little-endian, no padding:
//
//   offset  size      contents
//   0       4         magic, the bytes 'E' 'M' 'D' 'L'
//   4       4         uint32 version, 1
//   8       4         uint32 point count P
//   12      4         uint32 polygon count N
//   16      12 P      the points: x, y, z as IEEE 754 single-precision
//                     floats, in the mesh's point order (the order of the
//                     position array and of the MDD cache), in the object's
//                     local space at the frame written, every deformation
//                     applied
//   16+12P  ...       the polygons, one after another: uint32 point count n,
//                     then n uint32 point indices
//
// A file of a mesh without polygons ends after the points.
#pragma once

#include <string>
#include <vector>

namespace host {

class Item;

constexpr unsigned kModelFileVersion = 1;

// The bytes of the model file of a mesh item at a frame (empty for an item
// that is not a mesh). withoutPoints: the file of the mesh shown without
// points or polygons (P = 0, N = 0), nothing evaluated.
std::vector<unsigned char> EncodeModelFile(const Item& mesh, double frame,
                                           bool withoutPoints = false);

// Writes the model file of a mesh item at a frame. On failure returns false,
// sets *error to a sentence naming the cause, and leaves no partial file.
bool WriteModelFile(const Item& mesh, double frame, const std::string& path, std::string* error,
                    bool withoutPoints = false);

} // namespace host
