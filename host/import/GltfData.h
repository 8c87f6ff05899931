// The data of a glTF asset that the importer takes from the file rather
// than from Assimp: animation keys (with their interpolation and every
// morph weight as the file has it, negative ones too) and skins' inverse
// bind matrices, read through the asset's layout (GltfLayout.h) by index.
//
// Buffers: the binary chunk of a .glb file, "data:" uris in base64 (decoded
// when first read), and files beside the asset, read whole when first read
// and only when they are regular files. Only the buffers an accessor read
// needs are touched. Accessors: float components only (what the checks of
// GltfSteps.h let through for samplers and matrices), packed or strided,
// with sparse substitution; an accessor without a buffer view is zeros.
// Every fault (an index that names nothing, data past its view or buffer, a
// buffer that cannot be read) is a SceneLoadError of one line that names
// the accessor.
#pragma once

#include "host/import/GltfLayout.h"
#include "host/scene/Math.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// One sampler's keys as Assimp would make them: ticks in milliseconds
// (the file's float seconds times 1000 in float arithmetic, as Assimp
// computes them), and `width` values per key (the value of a cubic-spline
// key, without its tangents).
struct GltfKeys {
    std::vector<double> ticks;
    std::vector<float> values;
    size_t width = 0;
    GltfInterp interp = GltfInterp::Linear;
    // Cubic-spline keys: the file's key times (seconds) and each key's in
    // and out tangents, `width` per key; empty for other interpolations.
    std::vector<double> seconds;
    std::vector<float> inTangents, outTangents;
};

// The value of cubic-spline keys at a time of the file (seconds), into
// out[0 .. keys.width - 1], as glTF defines it: between keys k and k + 1,
// td = t(k+1) - t(k) and s = (t - t(k)) / td,
//   v = (2s^3 - 3s^2 + 1) v(k) + td (s^3 - 2s^2 + s) out(k)
//     + (-2s^3 + 3s^2) v(k+1) + td (s^3 - s^2) in(k+1);
// before the first key and after the last, the end key's value.
void CubicSplineAt(const GltfKeys& keys, double seconds, double* out);

class GltfData {
  public:
    // file: the bytes of the asset (JSON text, or binary glTF); json: where
    // its JSON text starts in file; folder: where its buffer files lie (with
    // a trailing '/', "" for the current folder), or nullptr when files are
    // not to be read. layout and file must outlive this object.
    GltfData(const GltfLayout& layout, std::string_view file, size_t json,
             const std::string* folder);
    ~GltfData();

    const GltfLayout& Layout() const { return m_layout; }

    // The accessor's elements, `components` floats each (what the accessor
    // holds must have that many).
    std::vector<float> Floats(int64_t accessor, int components, const std::string& what) const;

    // The keys of sampler s of animation a. width: values per key, or 0 for
    // morph weights (as many as the outputs hold per key).
    GltfKeys Keys(size_t animation, int64_t sampler, size_t width) const;

    // A skin's inverse bind matrices, one per joint (the file's
    // column-major numbers as rows): identities for a skin without any.
    std::vector<Mat34> InverseBindMatrices(int64_t skin) const;

  private:
    std::string_view Buffer(int64_t index, const std::string& what) const;
    std::string_view ViewBytes(int64_t view, const std::string& what) const;

    const GltfLayout& m_layout;
    std::string_view m_file;
    size_t m_json;
    const std::string* m_folder;
    std::string_view m_binary; // the binary chunk of a .glb file
    // Buffers decoded or read, by index.
    mutable std::map<int64_t, std::string> m_read;
};

} // namespace host
