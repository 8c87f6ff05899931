#include "host/import/NodeMetadata.h"

#include "host/import/ImportNames.h"
#include "host/scene/Item.h"

#include <assimp/scene.h>

#include <charconv>
#include <cmath>

namespace host {

namespace {} // namespace

bool ParseNumber(const std::string& text, double* out) {
    const char* b = text.data();
    const char* e = b + text.size();
    while (b < e && (*b == ' ' || *b == '\t')) {
        ++b;
    }
    while (e > b && (e[-1] == ' ' || e[-1] == '\t')) {
        --e;
    }
    if (b < e && *b == '+') {
        ++b;
    }
    if (b == e) {
        return false;
    }
    if (std::string(b, e) == "true") {
        *out = 1.0;
        return true;
    }
    if (std::string(b, e) == "false") {
        *out = 0.0;
        return true;
    }
    double v = 0.0;
    const auto res = std::from_chars(b, e, v);
    if (res.ec != std::errc() || res.ptr != e || !std::isfinite(v)) {
        return false;
    }
    *out = v;
    return true;
}

namespace {

bool MetadataNumber(const aiMetadataEntry& e, double* out) {
    if (!e.mData) {
        return false;
    }
    switch (e.mType) {
    case AI_BOOL:
        *out = *static_cast<const bool*>(e.mData) ? 1.0 : 0.0;
        return true;
    case AI_INT32:
        *out = *static_cast<const int32_t*>(e.mData);
        return true;
    case AI_UINT64:
        *out = static_cast<double>(*static_cast<const uint64_t*>(e.mData));
        return true;
    case AI_FLOAT:
        *out = *static_cast<const float*>(e.mData);
        return std::isfinite(*out);
    case AI_DOUBLE:
        *out = *static_cast<const double*>(e.mData);
        return std::isfinite(*out);
    case AI_AISTRING:
        return ParseNumber(static_cast<const aiString*>(e.mData)->C_Str(), out);
    default:
        return false;
    }
}

// A colour from a vector (alpha 1) or a text of three or four numbers.
bool MetadataColor(const aiMetadataEntry& e, Color* out) {
    if (!e.mData) {
        return false;
    }
    if (e.mType == AI_AIVECTOR3D) {
        const aiVector3D& v = *static_cast<const aiVector3D*>(e.mData);
        *out = {v.x, v.y, v.z, 1.0};
        return std::isfinite(out->r) && std::isfinite(out->g) && std::isfinite(out->b);
    }
    if (e.mType != AI_AISTRING) {
        return false;
    }
    const std::string text = static_cast<const aiString*>(e.mData)->C_Str();
    double v[4] = {0, 0, 0, 1};
    size_t count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of(" ,\t", pos);
        const std::string part = text.substr(pos, end == std::string::npos ? end : end - pos);
        if (!part.empty()) {
            if (count >= 4 || !ParseNumber(part, &v[count])) {
                return false;
            }
            ++count;
        }
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    if (count < 3) {
        return false;
    }
    *out = {v[0], v[1], v[2], v[3]};
    return true;
}

// Sets a parameter from a metadata value; false when it does not fit.
bool SetParamFromMetadata(Param* p, const aiMetadataEntry& e) {
    if (p->GetType() == Param::Type::Color) {
        Color c;
        if (!MetadataColor(e, &c)) {
            return false;
        }
        p->ColorValue().Set(c);
        return true;
    }
    double v = 0.0;
    if (!MetadataNumber(e, &v)) {
        return false;
    }
    p->Value().Set(v);
    return true;
}

} // namespace

void ApplyNodeMetadata(const aiMetadata* md, Item* item) {
    if (!md || !md->mKeys || !md->mValues) {
        return;
    }
    for (unsigned i = 0; i < md->mNumProperties; ++i) {
        const std::wstring key = Widen(md->mKeys[i].C_Str());
        Param* p = item->GetParam(key);
        if (!p && !item->GetShaders().empty() && item->GetKind() == ItemKind::Light) {
            p = item->GetShaders().front()->GetParam(key);
        }
        if (p) {
            SetParamFromMetadata(p, md->mValues[i]);
        }
    }
}

} // namespace host
