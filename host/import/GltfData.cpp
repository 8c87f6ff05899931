#include "host/import/GltfData.h"

#include "host/import/AssimpScene.h"
#include "host/import/GltfSteps.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>

namespace host {
namespace {

constexpr int64_t kFloat = 5126;
// The most elements an accessor without a buffer view (zeros) may hold.
constexpr int64_t kMaxZeroElements = int64_t{1} << 24;

uint32_t ReadLE32(const char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    }
    return v;
}

float ReadFloatLE(const char* p) {
    const uint32_t bits = ReadLE32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

template <class T> const T* At(const std::vector<T>& v, int64_t i) {
    return i >= 0 && static_cast<uint64_t>(i) < v.size() ? &v[static_cast<size_t>(i)] : nullptr;
}

// Whether [offset, offset + stride * (count - 1) + size) lies in [0, length).
bool Fits(int64_t offset, int64_t stride, int64_t count, int64_t size, size_t length) {
    if (offset < 0 || count < 0 || static_cast<uint64_t>(offset) > length) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    const uint64_t room = length - static_cast<uint64_t>(offset);
    if (static_cast<uint64_t>(size) > room) {
        return false;
    }
    return static_cast<uint64_t>(count - 1) <= (room - size) / static_cast<uint64_t>(stride);
}

// The bytes of a "data:" uri's text after its comma, read as Assimp's glTF
// reader reads them (so that both read the same bytes): base64 when the
// media type says ";base64", a character outside the alphabet counting as
// 'A', '=' ending the last group; false for base64 text whose length is no
// multiple of 4, which Assimp would read past.
bool DecodeDataUri(std::string_view uri, std::string* out) {
    const size_t comma = uri.find(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    const std::string_view text = uri.substr(comma + 1);
    if (comma < 7 || uri.compare(comma - 7, 7, ";base64") != 0) {
        out->assign(text);
        return true;
    }
    const size_t n = text.size();
    if (n % 4 != 0) {
        return false;
    }
    out->clear();
    if (n < 4) {
        return true;
    }
    auto value = [](char c) -> uint8_t {
        if (c >= 'A' && c <= 'Z') {
            return static_cast<uint8_t>(c - 'A');
        }
        if (c >= 'a' && c <= 'z') {
            return static_cast<uint8_t>(c - 'a' + 26);
        }
        if (c >= '0' && c <= '9') {
            return static_cast<uint8_t>(c - '0' + 52);
        }
        return c == '+' ? 62 : c == '/' ? 63 : c == '=' ? 64 : 0;
    };
    const size_t equals = (text[n - 1] == '=') + (text[n - 2] == '=');
    out->reserve(n / 4 * 3);
    for (size_t i = 0; i < n; i += 4) {
        const uint8_t b0 = value(text[i]);
        const uint8_t b1 = value(text[i + 1]);
        const uint8_t b2 = value(text[i + 2]);
        const uint8_t b3 = value(text[i + 3]);
        const bool last = i + 4 == n;
        out->push_back(static_cast<char>(static_cast<uint8_t>((b0 << 2) | (b1 >> 4))));
        if (!last || b2 < 64) {
            out->push_back(static_cast<char>(static_cast<uint8_t>((b1 << 4) | (b2 >> 2))));
        }
        if (!last || b3 < 64) {
            out->push_back(static_cast<char>(static_cast<uint8_t>((b2 << 6) | b3)));
        }
    }
    out->resize(std::min(out->size(), n * 3 / 4 - equals));
    return true;
}

// The binary chunk of a binary glTF file, or an empty view.
std::string_view BinaryChunk(std::string_view file) {
    const char* json = nullptr;
    size_t size = 0;
    if (!GltfJsonChunk(file, &json, &size)) {
        return {};
    }
    const size_t at = static_cast<size_t>(json - file.data()) + size;
    if (at + 8 > file.size() || file.compare(at + 4, 4, std::string_view("BIN\0", 4)) != 0) {
        return {};
    }
    const size_t length = ReadLE32(file.data() + at);
    return length <= file.size() - at - 8 ? file.substr(at + 8, length) : std::string_view();
}

} // namespace

GltfData::GltfData(const GltfLayout& layout, std::string_view file, size_t json,
                   const std::string* folder)
    : m_layout(layout), m_file(file), m_json(json), m_folder(folder), m_binary(BinaryChunk(file)) {}

GltfData::~GltfData() = default;

std::string_view GltfData::Buffer(int64_t index, const std::string& what) const {
    const GltfBufferInfo* b = At(m_layout.buffers, index);
    const std::string name = "buffers[" + std::to_string(index) + "]";
    if (!b) {
        throw SceneLoadError("glTF: " + what + " names no buffer");
    }
    const auto read = m_read.find(index);
    if (read != m_read.end()) {
        return read->second;
    }
    std::string_view uri = b->uri;
    if (b->cut) {
        if (b->uriEnd > m_file.size() - m_json || b->uriBegin > b->uriEnd) {
            throw SceneLoadError("glTF: " + name + " cannot be read");
        }
        uri = m_file.substr(m_json + b->uriBegin, b->uriEnd - b->uriBegin);
    }
    std::string bytes;
    if (uri.empty() && !b->cut) {
        if (index != 0 || m_binary.data() == nullptr) {
            throw SceneLoadError("glTF: " + name + " has no uri and is no binary chunk");
        }
        return m_binary;
    }
    if (uri.compare(0, 5, "data:") == 0) {
        if (!DecodeDataUri(uri, &bytes)) {
            throw SceneLoadError("glTF: " + name + " holds data the importer cannot read");
        }
    } else {
        if (!m_folder) {
            throw SceneLoadError("glTF: " + name + " is a file, which is not read here");
        }
        const std::string path = *m_folder + std::string(uri);
        struct stat st;
        std::ifstream in;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            in.open(path, std::ios::binary);
        }
        if (!in.is_open()) {
            throw SceneLoadError("glTF: the buffer file \"" + std::string(uri) +
                                 "\" cannot be read");
        }
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            throw SceneLoadError("glTF: the buffer file \"" + std::string(uri) +
                                 "\" cannot be read");
        }
    }
    return m_read.emplace(index, std::move(bytes)).first->second;
}

std::string_view GltfData::ViewBytes(int64_t view, const std::string& what) const {
    const GltfViewInfo* v = At(m_layout.views, view);
    if (!v) {
        throw SceneLoadError("glTF: " + what + " names no buffer view");
    }
    const std::string_view buffer = Buffer(v->buffer, what);
    if (!Fits(v->offset, 1, v->length, 1, buffer.size()) || v->length < 0) {
        throw SceneLoadError("glTF: bufferViews[" + std::to_string(view) +
                             "] lies past the end of its buffer");
    }
    return buffer.substr(static_cast<size_t>(v->offset), static_cast<size_t>(v->length));
}

std::vector<float> GltfData::Floats(int64_t accessor, int components,
                                    const std::string& what) const {
    const GltfAccessorInfo* a = At(m_layout.accessors, accessor);
    const std::string name = "accessors[" + std::to_string(accessor) + "]";
    if (!a) {
        throw SceneLoadError("glTF: " + what + " names no accessor");
    }
    if (a->componentType != kFloat || a->components != components || a->count < 0) {
        throw SceneLoadError("glTF: " + what + " (" + name + ") holds no elements of " +
                             std::to_string(components) + " floats");
    }
    const int64_t size = 4 * components;
    if (a->view < 0 && a->count > kMaxZeroElements) {
        throw SceneLoadError("glTF: " + name + " has no data for its " + std::to_string(a->count) +
                             " elements");
    }
    std::vector<float> out;
    if (a->view >= 0) {
        const std::string_view bytes = ViewBytes(a->view, name);
        const int64_t given = m_layout.views[static_cast<size_t>(a->view)].stride;
        const int64_t stride = given > 0 ? given : size;
        if (stride < size || !Fits(a->offset, stride, a->count, size, bytes.size())) {
            throw SceneLoadError("glTF: " + name + " reads past the end of its buffer view");
        }
        out.resize(static_cast<size_t>(a->count) * components);
        for (int64_t e = 0; e < a->count; ++e) {
            const char* p = bytes.data() + a->offset + e * stride;
            for (int c = 0; c < components; ++c) {
                out[static_cast<size_t>(e * components + c)] = ReadFloatLE(p + 4 * c);
            }
        }
    } else {
        out.assign(static_cast<size_t>(a->count) * components, 0.0f);
    }
    if (a->sparse) {
        const int64_t n = a->sparseCount;
        const int indexSize = a->sparseIndexType == 5121   ? 1
                              : a->sparseIndexType == 5123 ? 2
                              : a->sparseIndexType == 5125 ? 4
                                                           : 0;
        if (n < 0 || n > a->count || indexSize == 0) {
            throw SceneLoadError("glTF: " + name + " has sparse values that cannot be read");
        }
        const std::string_view indices = ViewBytes(a->sparseIndexView, name);
        const std::string_view values = ViewBytes(a->sparseValueView, name);
        if (!Fits(a->sparseIndexOffset, indexSize, n, indexSize, indices.size()) ||
            !Fits(a->sparseValueOffset, size, n, size, values.size())) {
            throw SceneLoadError("glTF: " + name + " reads past the end of its sparse values");
        }
        for (int64_t i = 0; i < n; ++i) {
            const unsigned char* ip = reinterpret_cast<const unsigned char*>(
                indices.data() + a->sparseIndexOffset + i * indexSize);
            uint64_t index = 0;
            for (int k = indexSize - 1; k >= 0; --k) {
                index = (index << 8) | ip[k];
            }
            if (index >= static_cast<uint64_t>(a->count)) {
                throw SceneLoadError("glTF: " + name + " has a sparse index past its elements");
            }
            const char* vp = values.data() + a->sparseValueOffset + i * size;
            for (int c = 0; c < components; ++c) {
                out[static_cast<size_t>(index) * components + c] = ReadFloatLE(vp + 4 * c);
            }
        }
    }
    return out;
}

GltfKeys GltfData::Keys(size_t animation, int64_t sampler, size_t width) const {
    const std::string what =
        "animations[" + std::to_string(animation) + "] sampler " + std::to_string(sampler);
    const GltfAnimationInfo* anim = At(m_layout.animations, static_cast<int64_t>(animation));
    const GltfSamplerInfo* s = anim ? At(anim->samplers, sampler) : nullptr;
    if (!s) {
        throw SceneLoadError("glTF: " + what + " does not exist");
    }
    const std::vector<float> times = Floats(s->input, 1, what + " keys");
    const std::vector<float> values =
        Floats(s->output, width == 0 ? 1 : static_cast<int>(width), what + " values");
    GltfKeys keys;
    keys.interp = s->interp;
    const size_t n = times.size();
    const size_t perKey = s->interp == GltfInterp::CubicSpline ? 3 : 1;
    if (width == 0) {
        // Morph weights: as many per key as the values hold.
        width = n == 0 ? 0 : values.size() / n / perKey;
    }
    keys.width = width;
    if (n == 0 || width == 0) {
        return keys;
    }
    if (values.size() < n * perKey * width) {
        throw SceneLoadError("glTF: " + what + " has fewer values than keys");
    }
    keys.ticks.reserve(n);
    keys.values.reserve(n * width);
    for (size_t k = 0; k < n; ++k) {
        // As Assimp counts time: milliseconds, in float arithmetic.
        keys.ticks.push_back(static_cast<double>(times[k] * 1000.0f));
        const size_t first = (k * perKey + (perKey == 3 ? 1 : 0)) * width;
        keys.values.insert(keys.values.end(), values.begin() + first,
                           values.begin() + first + width);
        if (perKey == 3) {
            // In tangent, value, out tangent.
            const auto in = values.begin() + static_cast<std::ptrdiff_t>(3 * k * width);
            keys.seconds.push_back(times[k]);
            keys.inTangents.insert(keys.inTangents.end(), in, in + width);
            keys.outTangents.insert(keys.outTangents.end(), in + 2 * width, in + 3 * width);
        }
    }
    for (size_t k = 1; k < keys.seconds.size(); ++k) {
        if (!(keys.seconds[k] > keys.seconds[k - 1])) {
            throw SceneLoadError("glTF: " + what + " has cubic-spline key times that do not grow");
        }
    }
    return keys;
}

void CubicSplineAt(const GltfKeys& keys, double seconds, double* out) {
    const size_t n = keys.seconds.size();
    const size_t w = keys.width;
    if (n == 0) {
        return;
    }
    const auto value = [&](size_t k, size_t c) {
        return static_cast<double>(keys.values[k * w + c]);
    };
    if (!(seconds > keys.seconds.front()) || n == 1) { // also a time that is no number
        for (size_t c = 0; c < w; ++c) {
            out[c] = value(0, c);
        }
        return;
    }
    if (seconds >= keys.seconds.back()) {
        for (size_t c = 0; c < w; ++c) {
            out[c] = value(n - 1, c);
        }
        return;
    }
    const size_t k =
        static_cast<size_t>(std::upper_bound(keys.seconds.begin(), keys.seconds.end(), seconds) -
                            keys.seconds.begin() - 1);
    const double td = keys.seconds[k + 1] - keys.seconds[k];
    const double s = (seconds - keys.seconds[k]) / td;
    const double s2 = s * s;
    const double s3 = s2 * s;
    const double h00 = 2 * s3 - 3 * s2 + 1;
    const double h10 = s3 - 2 * s2 + s;
    const double h01 = -2 * s3 + 3 * s2;
    const double h11 = s3 - s2;
    for (size_t c = 0; c < w; ++c) {
        out[c] = h00 * value(k, c) + td * h10 * keys.outTangents[k * w + c] +
                 h01 * value(k + 1, c) + td * h11 * keys.inTangents[(k + 1) * w + c];
    }
}

std::vector<Mat34> GltfData::InverseBindMatrices(int64_t skin) const {
    const GltfSkinInfo* s = At(m_layout.skins, skin);
    if (!s) {
        throw SceneLoadError("glTF: a node names skin " + std::to_string(skin) +
                             ", which does not exist");
    }
    std::vector<Mat34> out(s->joints.size());
    if (s->inverseBindMatrices < 0) {
        return out;
    }
    const std::vector<float> m = Floats(s->inverseBindMatrices, 16,
                                        "skins[" + std::to_string(skin) + "] inverseBindMatrices");
    if (m.size() < 16 * out.size()) {
        throw SceneLoadError("glTF: skins[" + std::to_string(skin) +
                             "] has fewer inverse bind matrices than joints");
    }
    for (size_t j = 0; j < out.size(); ++j) {
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                out[j].m[r][c] = m[16 * j + 4 * c + r];
            }
        }
    }
    return out;
}

} // namespace host
