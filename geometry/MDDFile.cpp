// MDD point caches. Every value is 4 bytes, most significant byte first:
// the frame count F, the point count P, F times in seconds, then F + 1
// blocks of P points (x, y, -z), the first block being a lead copy of the
// first frame.
#include "geometry/MDDFile.h"

#include "command/ZK_Paths.h"

#include <xsi_application.h>
#include <xsi_geometry.h>
#include <xsi_kinematics.h>
#include <xsi_kinematicstate.h>
#include <xsi_math.h>
#include <xsi_pointrefarray.h>
#include <xsi_primitive.h>
#include <xsi_progressbar.h>
#include <xsi_string.h>
#include <xsi_transformation.h>
#include <xsi_uitoolkit.h>
#include <xsi_value.h>
#include <xsi_vector3array.h>
#include <xsi_x3dobject.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Points mapped and byte-reversed together in one piece of the frame block:
// 48 KB, small enough to stay in the cache between the two steps.
constexpr size_t kPiecePoints = 4096;

// The byte-reversed points of one object at one frame, ready to be written
// in one piece. It only grows, to the largest object's block, so a walk of
// many frames allocates it once; ZK_CloseMDDFiles releases it at the end of
// the run.
std::vector<float>& FrameBlock() {
    static std::vector<float> block;
    return block;
}

// Objects whose geometry had fewer points than their cache at some frame;
// each is reported once per run.
std::vector<const ObjectData*>& ShortObjects() {
    static std::vector<const ObjectData*> objects;
    return objects;
}

void ForgetRunState() {
    std::vector<float>().swap(FrameBlock());
    std::vector<const ObjectData*>().swap(ShortObjects());
}

void LogError(const std::string& text) {
    XSI::CString message;
    message.PutAsciiString(text.c_str());
    XSI::Application().LogMessage(message, XSI::siErrorMsg);
}

std::string FieldText(const char* field) {
    return std::string(field, strnlen(field, ZK_TEXT_SIZE));
}

void ReportShortGeometry(const ObjectData& object, int frame) {
    std::vector<const ObjectData*>& reported = ShortObjects();
    if (std::find(reported.begin(), reported.end(), &object) != reported.end())
        return;
    reported.push_back(&object);
    LogError("ZK_XSI_Baker - The object " + FieldText(object.name) + " has fewer points at frame " +
             std::to_string(frame) +
             " than its MDD file holds; the missing points are written at the object's "
             "origin: " +
             FieldText(object.mddPath));
}

// One point as written: x and y rounded to single precision, z rounded and
// then negated as zs + zs * -2, so that a zero z is written as +0.
inline void StorePoint(const XSI::MATH::CVector3& p, float* out) {
    const float zs = static_cast<float>(p.GetZ());
    out[0] = static_cast<float>(p.GetX());
    out[1] = static_cast<float>(p.GetY());
    out[2] = zs + zs * -2.0f;
}

} // namespace

void revbytes(void* buffer, int size, int count) {
    if (size <= 1 || count <= 0)
        return;
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    if (size == 4) {
        // The common case: four elements at a time in one vector register,
        // then the rest one by one.
        typedef uint32_t Lanes __attribute__((vector_size(16)));
        const size_t n = static_cast<size_t>(count);
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            Lanes v;
            std::memcpy(&v, bytes + 4 * i, sizeof v);
            v = (v << 24) | ((v << 8) & 0x00FF0000u) | ((v >> 8) & 0x0000FF00u) | (v >> 24);
            std::memcpy(bytes + 4 * i, &v, sizeof v);
        }
        for (; i < n; ++i) {
            uint32_t v;
            std::memcpy(&v, bytes + 4 * i, 4);
            v = __builtin_bswap32(v);
            std::memcpy(bytes + 4 * i, &v, 4);
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        unsigned char* first = bytes + static_cast<size_t>(i) * static_cast<size_t>(size);
        std::reverse(first, first + size);
    }
}

void putInt(FILE* file, int value) {
    unsigned char buffer[4];
    std::memcpy(buffer, &value, 4);
    revbytes(buffer, 4, 1);
    std::fwrite(buffer, 1, 4, file);
}

void putFloat(FILE* file, float value) {
    unsigned char buffer[4];
    std::memcpy(buffer, &value, 4);
    revbytes(buffer, 4, 1);
    std::fwrite(buffer, 1, 4, file);
}

int WriteHeader(int objectCount, ObjectData* objects, int firstFrame, int lastFrame, char* folder,
                char* prefix, float frameRate) {
    ForgetRunState();
    const long long frameCount = static_cast<long long>(lastFrame) - firstFrame + 1;
    const std::string folderText = folder ? folder : "";
    const std::string prefixText = prefix ? prefix : "";

    for (int o = 0; o < objectCount; ++o) {
        ObjectData& object = objects[o];
        const std::string stem = prefixText + FieldText(object.name);
        const std::string path = folderText + "/" + stem + ".mdd";

        // The joined prefix and name, and the whole path, must each fit a
        // 255-byte field; a path that does not is refused, never cut.
        if (stem.size() >= static_cast<size_t>(ZK_TEXT_SIZE) ||
            path.size() >= static_cast<size_t>(ZK_TEXT_SIZE)) {
            object.mddPath[0] = '\0';
            std::string shown = path.substr(0, ZK_TEXT_SIZE - 1);
            linuxSafePath(&shown[0]);
            LogError("ZK_XSI_Baker - The MDD file cannot be created. Make sure the file name and "
                     "prefix are valid: " +
                     shown);
            return 0;
        }

        std::memcpy(object.mddPath, path.c_str(), path.size() + 1);
        linuxSafePath(object.mddPath);
        object.mddFile = std::fopen(object.mddPath, "wb");
        if (!object.mddFile) {
            LogError("ZK_XSI_Baker - The MDD file cannot be created. Make sure the file name and "
                     "prefix are valid: " +
                     std::string(object.mddPath));
            return 0;
        }

        putInt(object.mddFile, static_cast<int>(static_cast<uint32_t>(frameCount)));
        putInt(object.mddFile, object.pointCount);
        for (long long f = firstFrame; f <= lastFrame; ++f)
            putFloat(object.mddFile, static_cast<float>(f) / frameRate);
    }
    return 1;
}

void ZK_MESH_Process(int objectCount, ObjectData* objects, int firstFrame, int lastFrame,
                     int localSpace) {
    const long long frameCount = static_cast<long long>(lastFrame) - firstFrame + 1;

    XSI::ProgressBar bar = XSI::Application().GetUIToolkit().GetProgressBar();
    bar.PutMaximum(static_cast<XSI::LONG>(frameCount));
    bar.PutStep(1);
    bar.PutVisible(true);
    bar.PutCaption(L"Zelkin Mesh Processing....");

    int frame = firstFrame;
    XSI::CValue status(static_cast<short>(firstFrame));

    // The lead block: the first frame once more, before the walk and not
    // counted on the bar.
    RecordData(objectCount, objects, firstFrame, localSpace);

    for (;;) {
        if (bar.IsCancelPressed())
            break;
        if (bar.GetValue() >= bar.GetMaximum())
            break;
        RecordData(objectCount, objects, frame, localSpace);
        bar.PutStatusText(XSI::CString(L"Frame ") + status.GetAsText());
        ++frame;
        status = XSI::CValue(static_cast<short>(bar.Increment(1)));
    }
}

int RecordData(int objectCount, ObjectData* objects, int frame, int localSpace) {
    const double time = frame;
    std::vector<float>& block = FrameBlock();

    for (int o = 0; o < objectCount; ++o) {
        ObjectData& object = objects[o];
        if (!object.mddFile)
            continue;
        const size_t pointCount =
            object.pointCount > 0 ? static_cast<size_t>(object.pointCount) : 0;

        XSI::X3DObject item(object.ref);
        const XSI::MATH::CTransformation global =
            item.GetKinematics().GetGlobal().GetTransform(time);
        const XSI::MATH::CVector3Array positions =
            item.GetActivePrimitive().GetGeometry(time).GetPoints().GetPositionArray();

        // The cache holds pointCount points at every frame. Geometry that
        // has fewer at this frame is never read past its end: the missing
        // points are written at the object's origin, and reported once.
        const size_t available =
            std::min(pointCount, static_cast<size_t>(std::max(positions.GetCount(), 0)));
        if (available < pointCount)
            ReportShortGeometry(object, frame);

        if (block.size() < 3 * pointCount)
            block.resize(3 * pointCount);
        const XSI::MATH::CVector3* in = positions.GetArray();
        const XSI::MATH::CVector3 origin(0.0, 0.0, 0.0);
        const bool world = localSpace != 1;

        // The block is filled and byte-reversed piece by piece, each piece
        // reversed while it is still in the cache, and then written whole.
        for (size_t start = 0; start < pointCount; start += kPiecePoints) {
            const size_t end = std::min(pointCount, start + kPiecePoints);
            float* const piece = block.data() + 3 * start;
            float* out = piece;
            const size_t inEnd = std::min(end, available);
            if (world) {
                for (size_t i = start; i < inEnd; ++i, out += 3)
                    StorePoint(XSI::MATH::MapObjectPositionToWorldSpace(global, in[i]), out);
            } else {
                for (size_t i = start; i < inEnd; ++i, out += 3)
                    StorePoint(in[i], out);
            }
            for (size_t i = std::max(start, inEnd); i < end; ++i, out += 3)
                StorePoint(
                    world ? XSI::MATH::MapObjectPositionToWorldSpace(global, origin) : origin, out);
            revbytes(piece, 4, static_cast<int>(3 * (end - start)));
        }
        if (pointCount > 0)
            std::fwrite(block.data(), sizeof(float), 3 * pointCount, object.mddFile);
    }
    return 1;
}

int ZK_CloseMDDFiles(int objectCount, ObjectData* objects) {
    int result = 1;
    for (int o = 0; o < objectCount; ++o) {
        ObjectData& object = objects[o];
        if (!object.mddFile)
            continue;
        const bool writeFailed = std::ferror(object.mddFile) != 0;
        const bool closeFailed = std::fclose(object.mddFile) != 0;
        object.mddFile = nullptr;
        if (writeFailed || closeFailed) {
            LogError("ZK_XSI_Baker - The MDD file could not be completely written: " +
                     FieldText(object.mddPath));
            result = 0;
        }
    }
    ForgetRunState();
    return result;
}
