// MDD point caches. Every value is 4 bytes, most significant byte first:
// the frame count F, the point count P, F times in seconds, then F + 1
// blocks of P points (x, y, -z), the first block being a lead copy of the
// first frame.
#include "geometry/MDDFile.h"

#include "text/ZK_Text.h"

#include <xsi_application.h>
#include <xsi_geometry.h>
#include <xsi_kinematics.h>
#include <xsi_kinematicstate.h>
#include <xsi_matrix4.h>
#include <xsi_pointrefarray.h>
#include <xsi_primitive.h>
#include <xsi_progressbar.h>
#include <xsi_string.h>
#include <xsi_transformation.h>
#include <xsi_uitoolkit.h>
#include <xsi_value.h>
#include <xsi_vector3array.h>
#include <xsi_x3dobject.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Points mapped, rounded and byte-reversed together and written in one
// piece: 32,768 points read from 768 KB of positions give 384 KB of block,
// which is still in the core's cache when the write copies it out, and a
// frame of a million points takes only about 30 piece writes.
constexpr size_t kPiecePoints = 32768;

void LogError(const std::string& text) {
    XSI::CString message;
    message.PutAsciiString(text.c_str());
    XSI::Application().LogMessage(message, XSI::siErrorMsg);
}

std::string FieldText(const char* field) {
    return std::string(field, strnlen(field, ZK_TEXT_SIZE));
}

void ReportShortGeometry(const ObjectData& object, int frame) {
    LogError("ZK_XSI_Baker - The object " + FieldText(object.name) + " has fewer points at frame " +
             std::to_string(frame) +
             " than its MDD file holds; the missing points are written at the object's "
             "origin: " +
             FieldText(object.mddPath));
}

// The bits of a single-precision value, most significant byte first.
inline uint32_t BigEndianBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return __builtin_bswap32(bits);
}

// One point as written: x and y rounded to single precision, z rounded and
// then negated as zs + zs * -2, so that a zero z is written as +0.
inline void StorePoint(double x, double y, double z, uint32_t* out) {
    const float zs = static_cast<float>(z);
    out[0] = BigEndianBits(static_cast<float>(x));
    out[1] = BigEndianBits(static_cast<float>(y));
    out[2] = BigEndianBits(zs + zs * -2.0f);
}

// The mappings below read a CVector3 array as consecutive x, y, z doubles,
// as plain memory: they run on the cache writer's second thread, which calls
// no SDK function.
static_assert(sizeof(XSI::MATH::CVector3) == 3 * sizeof(double),
              "a CVector3 is its three coordinates");

// A transform's matrix, held by value so that the point loop reads it from
// registers: row r gives world coordinate r as mr0 * x + mr1 * y + mr2 * z +
// mr3, summed in that order, the way the transform maps a point.
struct Matrix34 {
    double m00, m01, m02, m03;
    double m10, m11, m12, m13;
    double m20, m21, m22, m23;

    // The SDK's matrix is for row vectors: column c holds coordinate c.
    explicit Matrix34(const XSI::MATH::CMatrix4& t)
        : m00(t.GetValue(0, 0)), m01(t.GetValue(1, 0)), m02(t.GetValue(2, 0)),
          m03(t.GetValue(3, 0)), m10(t.GetValue(0, 1)), m11(t.GetValue(1, 1)),
          m12(t.GetValue(2, 1)), m13(t.GetValue(3, 1)), m20(t.GetValue(0, 2)),
          m21(t.GetValue(1, 2)), m22(t.GetValue(2, 2)), m23(t.GetValue(3, 2)) {}
};

// count points of `in` mapped to world space by `m`, written to out[0 ..
// 3 * count - 1]: the same products and sums, in the same order, as
// MapObjectPositionToWorldSpace, so the same values as mapping each point
// alone.
void StoreWorldPointsScalar(const Matrix34& m, const XSI::MATH::CVector3* in, size_t count,
                            uint32_t* out) {
    const double* p = reinterpret_cast<const double*>(in);
    for (size_t i = 0; i < count; ++i, p += 3) {
        const double x = p[0], y = p[1], z = p[2];
        StorePoint(m.m00 * x + m.m01 * y + m.m02 * z + m.m03,
                   m.m10 * x + m.m11 * y + m.m12 * z + m.m13,
                   m.m20 * x + m.m21 * y + m.m22 * z + m.m23, out + 3 * i);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define ZK_MDD_AVX2 1

// The same as StoreWorldPointsScalar, four points at a time in AVX2
// registers: the same products and sums in the same order (no fused
// multiply-add), the same roundings, so the same bits.
__attribute__((target("avx2"))) void StoreWorldPointsAvx2(const Matrix34& m,
                                                          const XSI::MATH::CVector3* in,
                                                          size_t count, uint32_t* out) {
    const __m256d m00 = _mm256_set1_pd(m.m00), m01 = _mm256_set1_pd(m.m01),
                  m02 = _mm256_set1_pd(m.m02), m03 = _mm256_set1_pd(m.m03);
    const __m256d m10 = _mm256_set1_pd(m.m10), m11 = _mm256_set1_pd(m.m11),
                  m12 = _mm256_set1_pd(m.m12), m13 = _mm256_set1_pd(m.m13);
    const __m256d m20 = _mm256_set1_pd(m.m20), m21 = _mm256_set1_pd(m.m21),
                  m22 = _mm256_set1_pd(m.m22), m23 = _mm256_set1_pd(m.m23);
    const __m128 minusTwo = _mm_set1_ps(-2.0f);
    const __m128i reverse = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    // A CVector3 array is consecutive x, y, z doubles.
    const double* p = reinterpret_cast<const double*>(in);
    size_t i = 0;
    for (; i + 4 <= count; i += 4, p += 12, out += 12) {
        // x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3 to x0..x3, y0..y3, z0..z3.
        const __m256d a = _mm256_loadu_pd(p), b = _mm256_loadu_pd(p + 4),
                      c = _mm256_loadu_pd(p + 8);
        const __m256d xy = _mm256_blend_pd(a, b, 0xC);         // x0 y0 x2 y2
        const __m256d zx = _mm256_permute2f128_pd(a, c, 0x21); // z0 x1 z2 x3
        const __m256d yz = _mm256_blend_pd(b, c, 0xC);         // y1 z1 y3 z3
        const __m256d x = _mm256_shuffle_pd(xy, zx, 0xA);
        const __m256d y = _mm256_shuffle_pd(xy, yz, 0x5);
        const __m256d z = _mm256_shuffle_pd(zx, yz, 0xA);
        const __m256d wx =
            _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(m00, x), _mm256_mul_pd(m01, y)),
                                        _mm256_mul_pd(m02, z)),
                          m03);
        const __m256d wy =
            _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(m10, x), _mm256_mul_pd(m11, y)),
                                        _mm256_mul_pd(m12, z)),
                          m13);
        const __m256d wz =
            _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(m20, x), _mm256_mul_pd(m21, y)),
                                        _mm256_mul_pd(m22, z)),
                          m23);
        const __m128 fx = _mm256_cvtpd_ps(wx), fy = _mm256_cvtpd_ps(wy);
        const __m128 zs = _mm256_cvtpd_ps(wz);
        const __m128 fz = _mm_add_ps(zs, _mm_mul_ps(zs, minusTwo));
        // Back to x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3.
        const __m128 xy01 = _mm_unpacklo_ps(fx, fy);                           // x0 y0 x1 y1
        const __m128 xy23 = _mm_unpackhi_ps(fx, fy);                           // x2 y2 x3 y3
        const __m128 zx01 = _mm_shuffle_ps(fz, xy01, _MM_SHUFFLE(2, 2, 0, 0)); // z0 z0 x1 x1
        const __m128 yz11 = _mm_shuffle_ps(xy01, fz, _MM_SHUFFLE(1, 1, 3, 3)); // y1 y1 z1 z1
        const __m128 zzxy = _mm_shuffle_ps(fz, xy23, _MM_SHUFFLE(3, 2, 3, 2)); // z2 z3 x3 y3
        const __m128 o0 = _mm_shuffle_ps(xy01, zx01, _MM_SHUFFLE(2, 0, 1, 0));
        const __m128 o1 = _mm_shuffle_ps(yz11, xy23, _MM_SHUFFLE(1, 0, 2, 0));
        const __m128 o2 = _mm_shuffle_ps(zzxy, zzxy, _MM_SHUFFLE(1, 3, 2, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_castps_si128(o0), reverse));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4),
                         _mm_shuffle_epi8(_mm_castps_si128(o1), reverse));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8),
                         _mm_shuffle_epi8(_mm_castps_si128(o2), reverse));
    }
    StoreWorldPointsScalar(m, in + i, count - i, out);
}

// g++ 12 warns wrongly about the unset register that its own AVX-512
// intrinsics start from.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// The same with AVX-512, eight points at a time: the same products and sums
// in the same order, the same roundings, so the same bits. The arithmetic
// uses the forms with an explicit rounding mode (the current one), which the
// compiler never fuses into multiply-adds.
__attribute__((target("avx512f,avx512vl,avx512bw"))) void
StoreWorldPointsAvx512(const Matrix34& m, const XSI::MATH::CVector3* in, size_t count,
                       uint32_t* out) {
    constexpr int kRound = _MM_FROUND_CUR_DIRECTION;
    const __m512d m00 = _mm512_set1_pd(m.m00), m01 = _mm512_set1_pd(m.m01),
                  m02 = _mm512_set1_pd(m.m02), m03 = _mm512_set1_pd(m.m03);
    const __m512d m10 = _mm512_set1_pd(m.m10), m11 = _mm512_set1_pd(m.m11),
                  m12 = _mm512_set1_pd(m.m12), m13 = _mm512_set1_pd(m.m13);
    const __m512d m20 = _mm512_set1_pd(m.m20), m21 = _mm512_set1_pd(m.m21),
                  m22 = _mm512_set1_pd(m.m22), m23 = _mm512_set1_pd(m.m23);
    const __m512 minusTwo = _mm512_set1_ps(-2.0f);
    // Eight points, x y z x y z ..., in three registers a (0-7), b (8-15),
    // c (16-23): the x values first gathered from a and b, then completed
    // from c; the same for y and z.
    const __m512i xFromAB = _mm512_setr_epi64(0, 3, 6, 9, 12, 15, 0, 0);
    const __m512i xFromC = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 10, 13);
    const __m512i yFromAB = _mm512_setr_epi64(1, 4, 7, 10, 13, 0, 0, 0);
    const __m512i yFromC = _mm512_setr_epi64(0, 1, 2, 3, 4, 8, 11, 14);
    const __m512i zFromAB = _mm512_setr_epi64(2, 5, 8, 11, 14, 0, 0, 0);
    const __m512i zFromC = _mm512_setr_epi64(0, 1, 2, 3, 4, 9, 12, 15);
    // Back to x y z order: the first 16 values from x0..7 y0..7 (0-15) and
    // z0..7 (16-23), the last 8 likewise.
    const __m512i first16 =
        _mm512_setr_epi32(0, 8, 16, 1, 9, 17, 2, 10, 18, 3, 11, 19, 4, 12, 20, 5);
    const __m512i last8 = _mm512_setr_epi32(13, 21, 6, 14, 22, 7, 15, 23, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m512i reverse = _mm512_set4_epi32(0x0C0D0E0F, 0x08090A0B, 0x04050607, 0x00010203);
    const double* p = reinterpret_cast<const double*>(in);
    size_t i = 0;
    for (; i + 8 <= count; i += 8, p += 24, out += 24) {
        const __m512d a = _mm512_loadu_pd(p), b = _mm512_loadu_pd(p + 8),
                      c = _mm512_loadu_pd(p + 16);
        const __m512d x = _mm512_permutex2var_pd(_mm512_permutex2var_pd(a, xFromAB, b), xFromC, c);
        const __m512d y = _mm512_permutex2var_pd(_mm512_permutex2var_pd(a, yFromAB, b), yFromC, c);
        const __m512d z = _mm512_permutex2var_pd(_mm512_permutex2var_pd(a, zFromAB, b), zFromC, c);
        const __m512d wx = _mm512_add_round_pd(
            _mm512_add_round_pd(_mm512_add_round_pd(_mm512_mul_round_pd(m00, x, kRound),
                                                    _mm512_mul_round_pd(m01, y, kRound), kRound),
                                _mm512_mul_round_pd(m02, z, kRound), kRound),
            m03, kRound);
        const __m512d wy = _mm512_add_round_pd(
            _mm512_add_round_pd(_mm512_add_round_pd(_mm512_mul_round_pd(m10, x, kRound),
                                                    _mm512_mul_round_pd(m11, y, kRound), kRound),
                                _mm512_mul_round_pd(m12, z, kRound), kRound),
            m13, kRound);
        const __m512d wz = _mm512_add_round_pd(
            _mm512_add_round_pd(_mm512_add_round_pd(_mm512_mul_round_pd(m20, x, kRound),
                                                    _mm512_mul_round_pd(m21, y, kRound), kRound),
                                _mm512_mul_round_pd(m22, z, kRound), kRound),
            m23, kRound);
        const __m512 zs = _mm512_castps256_ps512(_mm512_cvtpd_ps(wz));
        const __m512 fz =
            _mm512_add_round_ps(zs, _mm512_mul_round_ps(zs, minusTwo, kRound), kRound);
        const __m512 fxy = _mm512_castpd_ps(
            _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_castps_pd(_mm512_cvtpd_ps(wx))),
                               _mm256_castps_pd(_mm512_cvtpd_ps(wy)), 1));
        const __m512i o0 = _mm512_castps_si512(_mm512_permutex2var_ps(fxy, first16, fz));
        const __m512i o1 = _mm512_castps_si512(_mm512_permutex2var_ps(fxy, last8, fz));
        _mm512_storeu_si512(out, _mm512_shuffle_epi8(o0, reverse));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16),
                            _mm512_castsi512_si256(_mm512_shuffle_epi8(o1, reverse)));
    }
    StoreWorldPointsAvx2(m, in + i, count - i, out);
}
#pragma GCC diagnostic pop

bool HasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512bw");
    }();
    return has;
}

bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

void StoreWorldPoints(const Matrix34& m, const XSI::MATH::CVector3* in, size_t count,
                      uint32_t* out) {
#ifdef ZK_MDD_AVX2
    if (HasAvx512()) {
        StoreWorldPointsAvx512(m, in, count, out);
        return;
    }
    if (HasAvx2()) {
        StoreWorldPointsAvx2(m, in, count, out);
        return;
    }
#endif
    StoreWorldPointsScalar(m, in, count, out);
}

const XSI::MATH::CVector3 kOrigin(0.0, 0.0, 0.0);

void StoreLocalPoints(const XSI::MATH::CVector3* in, size_t count, uint32_t* out) {
    const double* p = reinterpret_cast<const double*>(in);
    for (size_t i = 0; i < count; ++i, p += 3)
        StorePoint(p[0], p[1], p[2], out + 3 * i);
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

int ZK_MESH_Process(int objectCount, ObjectData* objects, int firstFrame, int lastFrame,
                    int localSpace) {
    const long long frameCount = static_cast<long long>(lastFrame) - firstFrame + 1;

    XSI::ProgressBar bar = XSI::Application().GetUIToolkit().GetProgressBar();
    bar.PutMaximum(static_cast<XSI::LONG>(frameCount));
    bar.PutStep(1);
    bar.PutVisible(true);
    bar.PutCaption(L"Zelkin Mesh Processing....");

    int frame = firstFrame;
    // Held as a 32-bit value, so frame numbers past 32,767 show as they are.
    XSI::CValue status(static_cast<XSI::LONG>(firstFrame));
    // Everything it holds is written when the walk returns, before the
    // driver closes the files.
    MDDCacheWriter writer(MDDCacheWriter::DefaultPipelined(), true);

    // The lead block: the first frame once more, before the walk and not
    // counted on the bar.
    RecordData(objectCount, objects, firstFrame, localSpace, &writer);

    for (;;) {
        if (bar.IsCancelPressed())
            break;
        if (bar.GetValue() >= bar.GetMaximum())
            break;
        RecordData(objectCount, objects, frame, localSpace, &writer);
        bar.PutStatusText(XSI::CString(L"Frame ") + status.GetAsText());
        ++frame;
        status = XSI::CValue(static_cast<XSI::LONG>(bar.Increment(1)));
    }
    return frame - firstFrame;
}

int RecordData(int objectCount, ObjectData* objects, int frame, int localSpace) {
    MDDCacheWriter writer;
    return RecordData(objectCount, objects, frame, localSpace, &writer);
}

int RecordData(int objectCount, ObjectData* objects, int frame, int localSpace,
               MDDCacheWriter* writer) {
    const double time = frame;
    // The geometry of two frames back is let go before the host is asked
    // for this frame's, so that the host can build it in that storage.
    writer->NextFrame();

    for (int o = 0; o < objectCount; ++o) {
        ObjectData& object = objects[o];
        if (!object.mddFile)
            continue;
        const size_t pointCount =
            object.pointCount > 0 ? static_cast<size_t>(object.pointCount) : 0;

        XSI::X3DObject item(object.ref);
        const XSI::MATH::CTransformation global =
            item.GetKinematics().GetGlobal().GetTransform(time);
        // Const: only the const accessors, which never copy shared points.
        const XSI::MATH::CVector3Array positions =
            item.GetActivePrimitive().GetGeometry(time).GetPoints().GetPositionArray();

        // The cache holds pointCount points at every frame. Geometry that
        // has fewer at this frame is never read past its end: the missing
        // points are written at the object's origin, and reported once.
        const size_t available =
            std::min(pointCount, static_cast<size_t>(std::max(positions.GetCount(), 0)));
        if (available < pointCount && writer->FirstReport(&object))
            ReportShortGeometry(object, frame);

        const bool world = localSpace != 1;
        const Matrix34 matrix(global.GetMatrix4());
        const XSI::MATH::CVector3* in = positions.GetArray();
        std::array<uint32_t, 3> origin;
        if (world)
            StoreWorldPoints(matrix, &kOrigin, 1, origin.data());
        else
            StoreLocalPoints(&kOrigin, 1, origin.data());

        // The block goes out piece by piece, each piece mapped (on the
        // writer's second thread when it has one) just before its write,
        // while it is still in the cache; the positions stay kept until then.
        bool handedOver = false;
        for (size_t start = 0; start < pointCount; start += kPiecePoints) {
            const size_t end = std::min(pointCount, start + kPiecePoints);
            const size_t inEnd = std::max(start, std::min(end, available));
            handedOver |= writer->AddPiece(
                object.mddFile, 3 * (end - start), 3 * pointCount, [=](uint32_t* out) {
                    if (inEnd > start && world)
                        StoreWorldPoints(matrix, in + start, inEnd - start, out);
                    else if (inEnd > start)
                        StoreLocalPoints(in + start, inEnd - start, out);
                    for (size_t i = inEnd; i < end; ++i)
                        std::memcpy(out + 3 * (i - start), origin.data(), sizeof(uint32_t) * 3);
                });
        }
        if (handedOver)
            writer->Keep(std::make_shared<const XSI::MATH::CVector3Array>(std::move(positions)));
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
    return result;
}
