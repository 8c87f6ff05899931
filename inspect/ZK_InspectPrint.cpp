// Summary and JSON printers of the MDD and ZSC readers. Numbers are formatted
// with std::to_chars (shortest text that reads back to the same float), which
// does not depend on any locale, C or C++.
#include "inspect/ZK_Inspect.h"

#include <algorithm>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>

namespace {

std::string Float(float value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <typename T> std::string Int(T value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Hex(unsigned char c) {
    static const char digits[] = "0123456789abcdef";
    return std::string{digits[c >> 4], digits[c & 15]};
}

// Text in double quotes with quotes and backslashes escaped, and control
// characters and bytes above 127 written as byteEscape followed by two hex
// digits, so that any name prints on one line.
std::string EscapedText(const std::string& text, const char* byteEscape) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            out += byteEscape + Hex(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Text for the summary.
std::string Quoted(const std::string& text) {
    return EscapedText(text, "\\x");
}

// A JSON string. The files hold 8-bit text (the low byte of each host
// character), so every byte above 127 is the character of that code.
std::string JsonString(const std::string& text) {
    return EscapedText(text, "\\u00");
}

// A JSON number; a value that JSON has no number for becomes a string.
std::string JsonFloat(float value) {
    const std::string text = Float(value);
    return std::isfinite(value) ? text : "\"" + text + "\"";
}

// Bounding box of one frame block.
std::string BlockBounds(const ZK_MddFile& mdd, int64_t block) {
    const size_t points = static_cast<size_t>(mdd.pointCount);
    const float* p = mdd.points.data() + static_cast<size_t>(block) * points * 3;
    float lo[3] = {p[0], p[1], p[2]};
    float hi[3] = {p[0], p[1], p[2]};
    for (size_t i = 1; i < points; ++i)
        for (int a = 0; a < 3; ++a) {
            const float v = p[i * 3 + a];
            if (v < lo[a] || std::isnan(lo[a]))
                lo[a] = v;
            if (v > hi[a] || std::isnan(hi[a]))
                hi[a] = v;
        }
    return "(" + Float(lo[0]) + ", " + Float(lo[1]) + ", " + Float(lo[2]) + ") .. (" +
           Float(hi[0]) + ", " + Float(hi[1]) + ", " + Float(hi[2]) + ")";
}

} // namespace

void ZK_PrintMddSummary(std::ostream& out, const ZK_MddFile& mdd) {
    const int64_t wanted = int64_t{mdd.frameCount} + 1;
    out << mdd.path << ": MDD point cache, " << Int(mdd.fileSize) << " bytes\n";
    out << "  frames " << Int(mdd.frameCount) << ", points " << Int(mdd.pointCount)
        << ", frame blocks " << Int(mdd.blockCount) << " of " << Int(wanted);
    if (!mdd.complete)
        out << " (partial: the frame walk stopped early)";
    out << "\n";
    if (mdd.times.empty())
        out << "  time: none\n";
    else
        out << "  time " << Float(mdd.times.front()) << " .. " << Float(mdd.times.back()) << " s\n";
    if (mdd.blockCount == 0) {
        out << "  no frame blocks\n";
    } else if (mdd.pointCount == 0) {
        out << "  no points\n";
    } else {
        out << "  first block bounds " << BlockBounds(mdd, 0) << "\n";
        out << "  last block bounds " << BlockBounds(mdd, mdd.blockCount - 1) << "\n";
    }
}

void ZK_PrintZscSummary(std::ostream& out, const ZK_ZscFile& zsc) {
    out << zsc.path << ": ZSC scene file, " << Int(zsc.fileSize) << " bytes\n";
    out << "  version " << Float(zsc.version) << ", frames " << Int(zsc.frameCount) << " ("
        << Int(zsc.startFrame) << " .. " << Int(zsc.endFrame) << ") at " << Float(zsc.frameRate)
        << " fps, items " << Int(zsc.itemCount) << ", constants " << Float(zsc.constOne) << " and "
        << Int(zsc.constZero) << "\n";
    for (const ZK_ZscRecord& r : zsc.records) {
        out << "  " << ZK_ZscKindName(r.kind) << " " << Quoted(r.name);
        switch (r.kind) {
        case ZK_ZscRecordKind::Camera:
            out << ": fov type " << Int(r.fovType);
            break;
        case ZK_ZscRecordKind::Light:
            out << ": type " << Int(r.lightType);
            break;
        case ZK_ZscRecordKind::Null:
            out << ":";
            break;
        case ZK_ZscRecordKind::MddObject:
        case ZK_ZscRecordKind::KeyedObject:
            out << ": mesh " << (r.hasMeshPath ? Quoted(r.meshPath) : std::string("none"))
                << " (format " << Int(r.meshFormat) << ")";
            if (r.kind == ZK_ZscRecordKind::MddObject)
                out << ", mdd " << Quoted(r.mddPath);
            break;
        }
        if (r.kind != ZK_ZscRecordKind::MddObject)
            out << (r.kind == ZK_ZscRecordKind::Null ? " " : ", ") << Int(r.samples.size())
                << " samples of " << Int(r.sampleSize) << " bytes";
        out << "\n";
    }
}

void ZK_PrintMddJson(std::ostream& out, const ZK_MddFile& mdd) {
    out << "{\"file\": " << JsonString(mdd.path)
        << ", \"format\": \"mdd\", \"fileSize\": " << Int(mdd.fileSize)
        << ", \"frameCount\": " << Int(mdd.frameCount)
        << ", \"pointCount\": " << Int(mdd.pointCount)
        << ", \"blockCount\": " << Int(mdd.blockCount)
        << ", \"complete\": " << (mdd.complete ? "true" : "false") << ",\n \"times\": [";
    for (size_t i = 0; i < mdd.times.size(); ++i)
        out << (i ? ", " : "") << JsonFloat(mdd.times[i]);
    out << "],\n \"blocks\": [";
    const size_t points = static_cast<size_t>(mdd.pointCount);
    for (int64_t b = 0; b < mdd.blockCount; ++b) {
        out << (b ? ",\n  [" : "\n  [");
        const float* p = mdd.points.data() + static_cast<size_t>(b) * points * 3;
        for (size_t i = 0; i < points; ++i)
            out << (i ? ", [" : "[") << JsonFloat(p[3 * i]) << ", " << JsonFloat(p[3 * i + 1])
                << ", " << JsonFloat(p[3 * i + 2]) << "]";
        out << "]";
    }
    out << "]}";
}

void ZK_PrintZscJson(std::ostream& out, const ZK_ZscFile& zsc) {
    out << "{\"file\": " << JsonString(zsc.path)
        << ", \"format\": \"zsc\", \"fileSize\": " << Int(zsc.fileSize)
        << ", \"version\": " << JsonFloat(zsc.version)
        << ", \"frameCount\": " << Int(zsc.frameCount)
        << ", \"startFrame\": " << Int(zsc.startFrame) << ", \"endFrame\": " << Int(zsc.endFrame)
        << ", \"frameRate\": " << JsonFloat(zsc.frameRate)
        << ", \"itemCount\": " << Int(zsc.itemCount)
        << ", \"constOne\": " << JsonFloat(zsc.constOne)
        << ", \"constZero\": " << Int(zsc.constZero) << ",\n \"records\": [";
    for (size_t i = 0; i < zsc.records.size(); ++i) {
        const ZK_ZscRecord& r = zsc.records[i];
        out << (i ? ",\n  {" : "\n  {") << "\"offset\": " << Int(r.offset)
            << ", \"size\": " << Int(r.size) << ", \"kindCode\": " << Int(r.kindCode)
            << ", \"kind\": " << JsonString(ZK_ZscKindName(r.kind))
            << ", \"name\": " << JsonString(r.name);
        switch (r.kind) {
        case ZK_ZscRecordKind::Camera:
            out << ", \"imageHeight\": " << Int(r.imageHeight)
                << ", \"imageWidth\": " << Int(r.imageWidth)
                << ", \"pixelRatio\": " << JsonFloat(r.pixelRatio)
                << ", \"aspect\": " << JsonFloat(r.aspect)
                << ", \"filmHeight\": " << JsonFloat(r.filmHeight)
                << ", \"fovType\": " << Int(r.fovType);
            break;
        case ZK_ZscRecordKind::Light:
            out << ", \"lightType\": " << Int(r.lightType);
            break;
        case ZK_ZscRecordKind::Null:
            break;
        case ZK_ZscRecordKind::MddObject:
        case ZK_ZscRecordKind::KeyedObject:
            out << ", \"meshPath\": " << (r.hasMeshPath ? JsonString(r.meshPath) : "null")
                << ", \"meshFormat\": " << Int(r.meshFormat);
            if (r.kind == ZK_ZscRecordKind::MddObject)
                out << ", \"mddPath\": " << JsonString(r.mddPath);
            break;
        }
        if (r.kind != ZK_ZscRecordKind::MddObject) {
            out << ", \"sampleSize\": " << Int(r.sampleSize) << ", \"samples\": [";
            for (size_t k = 0; k < r.samples.size(); ++k) {
                const ZK_ZscSample& s = r.samples[k];
                out << (k ? ",\n    {" : "\n    {") << "\"time\": " << JsonFloat(s.time)
                    << ", \"frame\": " << Int(s.frame);
                for (size_t v = 0; v < s.values.size() && v < r.valueNames.size(); ++v)
                    out << ", \"" << r.valueNames[v] << "\": " << JsonFloat(s.values[v]);
                out << "}";
            }
            out << "]";
        }
        out << "}";
    }
    out << "]}";
}

int ZK_InspectFiles(const std::vector<std::string>& paths, bool json, std::ostream& out,
                    std::ostream& err) {
    int status = ZK_INSPECT_COMPLETE;
    bool first = true;
    if (json)
        out << "[";
    for (const std::string& path : paths) {
        std::string error;
        std::vector<unsigned char> bytes;
        bool ok = ZK_ReadFileBytes(path, &bytes, &error);
        if (json)
            out << (first ? "\n" : ",\n");
        first = false;
        if (ok && bytes.size() >= 4 && std::memcmp(bytes.data(), "ZKSC", 4) == 0) {
            ZK_ZscFile zsc;
            ok = ZK_ParseZsc(bytes.data(), bytes.size(), &zsc, &error);
            zsc.path = path;
            if (ok)
                json ? ZK_PrintZscJson(out, zsc) : ZK_PrintZscSummary(out, zsc);
        } else if (ok) {
            ZK_MddFile mdd;
            ok = ZK_ParseMdd(bytes.data(), bytes.size(), &mdd, &error);
            mdd.path = path;
            if (ok) {
                json ? ZK_PrintMddJson(out, mdd) : ZK_PrintMddSummary(out, mdd);
                if (!mdd.complete) {
                    status = std::max(status, ZK_INSPECT_PARTIAL);
                    err << path << ": partial: " << Int(mdd.blockCount) << " of "
                        << Int(int64_t{mdd.frameCount} + 1) << " frame blocks\n";
                }
            }
        }
        if (!ok) {
            status = ZK_INSPECT_FAILED;
            err << path << ": " << error << "\n";
            if (json)
                out << "{\"file\": " << JsonString(path) << ", \"error\": " << JsonString(error)
                    << "}";
        }
    }
    if (json)
        out << (first ? "]\n" : "\n]\n");
    return status;
}
