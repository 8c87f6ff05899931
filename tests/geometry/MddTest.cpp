// MDD point caches: whole files compared byte for byte with bytes written out
// by hand (each 32-bit word most significant byte first), the progress bar's
// walk, cancel, and the refusals and failures that must be reported.
#include "geometry/MDDFile.h"
#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/scene/Scene.h"

#include <xsi_kinematics.h>
#include <xsi_kinematicstate.h>
#include <xsi_math.h>
#include <xsi_x3dobject.h>

#include "HostLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// Big-endian bytes of hand-written 32-bit words.
Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(w >> shift));
    return out;
}
Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class MddTest : public ::testing::Test {
  protected:
    void SetUp() override { Fresh(); }
    void TearDown() override {
        ZK_CloseMDDFiles(static_cast<int>(objects.size()), objects.data());
        EXPECT_TRUE(cwd.empty() || chdir(cwd.c_str()) == 0);
        host::HostApp::Get().Reset();
    }

    // An empty scene, log and record list.
    void Fresh() {
        host::HostApp::Get().Reset();
        host::HostApp::Get().SetEchoLog(false);
        auto owned = std::make_unique<host::Scene>();
        scene = owned.get();
        host::HostApp::Get().SetScene(std::move(owned));
        objects.clear();
    }
    // A mesh item and its record.
    host::Item* AddMesh(const char* name, std::vector<host::Vec3> points,
                        host::Item* parent = nullptr) {
        host::Item* item = scene->AddMesh(std::wstring(name, name + std::strlen(name)), parent);
        item->GetMesh()->SetPoints(std::move(points));
        ObjectData record;
        std::strcpy(record.name, name);
        record.pointCount = item->GetPointCount();
        record.ref = host::RefOf(item);
        objects.push_back(record);
        return item;
    }

    int Header(int first, int last, float fps, std::string folder = "", const char* prefix = "") {
        if (folder.empty())
            folder = root;
        return WriteHeader(static_cast<int>(objects.size()), objects.data(), first, last,
                           &folder[0], const_cast<char*>(prefix), fps);
    }
    void Walk(int first, int last, int localSpace) {
        ZK_MESH_Process(static_cast<int>(objects.size()), objects.data(), first, last, localSpace);
    }
    // Closes every stream and reads the file of record i.
    Bytes Baked(size_t i) {
        EXPECT_EQ(ZK_CloseMDDFiles(static_cast<int>(objects.size()), objects.data()), 1);
        return ReadFile(objects[i].mddPath);
    }
    // Header, walk and the bytes of the first record's file.
    Bytes Bake(int first, int last, float fps, int localSpace) {
        EXPECT_EQ(Header(first, last, fps), 1);
        Walk(first, last, localSpace);
        return Baked(0);
    }
    // The log, which holds errors only.
    Lines Errors() const {
        EXPECT_EQ(zkt::LogTexts(true), zkt::LogTexts());
        return zkt::LogTexts();
    }
    const host::ProgressState& Bar() { return *host::HostApp::Get().GetProgressBar(0); }

    // Two points, at (1, 2, 3) and (-0.5, 0, 1.5), moved by 10 along x from
    // frame 1 to frame 2.
    void AddMovingPair() {
        host::Item* item = AddMesh("sphere", {{1.0, 2.0, 3.0}, {-0.5, 0.0, 1.5}});
        item->Translation().SetKey(1, {0.0, 0.0, 0.0});
        item->Translation().SetKey(2, {10.0, 0.0, 0.0});
    }

    host::Scene* scene = nullptr;
    std::vector<ObjectData> objects;
    zkt::ScratchDir scratch;
    const std::string root = scratch.Dir();
    std::string cwd;
};

const Bytes kPairAtFrame1 =
    Words({0x3F800000, 0x40000000, 0xC0400000, 0xBF000000, 0x00000000, 0xBFC00000});
const Bytes kPairAtFrame2 =
    Words({0x41300000, 0x40000000, 0xC0400000, 0x41180000, 0x00000000, 0xBFC00000});
// F = 2, P = 2, times 1/30 and 2/30.
const Bytes kTwoFrameHeader = Words({2, 2, 0x3D088889, 0x3D888889});
// F = 1, P = 1, time 12/24.
const Bytes kOneFrameOnePoint = Words({1, 1, 0x3F000000});

TEST_F(MddTest, TwoFramesAt30FpsWorldSpaceUnlessTheSwitchIsOne) {
    AddMovingPair();
    const Bytes world = Join({kTwoFrameHeader, kPairAtFrame1, kPairAtFrame1, kPairAtFrame2});
    ASSERT_EQ(world.size(), 88u);
    EXPECT_EQ(Bake(1, 2, 30.0f, 0), world);
    EXPECT_EQ(Bake(1, 2, 30.0f, 1),
              Join({kTwoFrameHeader, kPairAtFrame1, kPairAtFrame1, kPairAtFrame1}));
    EXPECT_EQ(Bake(1, 2, 30.0f, 2), world); // any value but 1 means world space
    EXPECT_EQ(Errors(), Lines{});
}

TEST_F(MddTest, OneFrameThroughTheParentChain) {
    // (1, 2, 3) of a mesh scaled by 2 under a null moved up by 5: (2, 9, 6).
    host::Item* rig = scene->AddNull(L"Rig");
    rig->Translation().Set({0.0, 5.0, 0.0});
    AddMesh("ball", {{1.0, 2.0, 3.0}}, rig)->Scaling().Set({2.0, 2.0, 2.0});
    const Bytes block = Words({0x40000000, 0x41100000, 0xC0C00000});
    const Bytes expected = Join({kOneFrameOnePoint, block, block});
    ASSERT_EQ(expected.size(), 12u + 24u);
    EXPECT_EQ(Bake(12, 12, 24.0f, 0), expected);
}

TEST_F(MddTest, ZeroDepthIsNeverWrittenNegative) {
    AddMesh("flat", {{0.0, 0.0, 0.0}, {0.0, 0.0, -0.0}, {0.0, 0.0, 1.5}});
    const Bytes block = Words({0, 0, 0, 0, 0, 0, 0, 0, 0xBFC00000});
    EXPECT_EQ(Bake(12, 12, 24.0f, 1), Join({Words({1, 3, 0x3F000000}), block, block}));
}

TEST_F(MddTest, NoPointsAndLastFrameBeforeFirst) {
    AddMesh("empty", {});
    EXPECT_EQ(Bake(1, 3, 30.0f, 0), Words({3, 0, 0x3D088889, 0x3D888889, 0x3DCCCCCD}));
    Fresh();
    AddMesh("cube", {{1.0, 2.0, 3.0}});
    // F = -1, no times, only the lead block; the bar never steps.
    EXPECT_EQ(Bake(5, 3, 30.0f, 0), Words({0xFFFFFFFF, 1, 0x3F800000, 0x40000000, 0xC0400000}));
    EXPECT_EQ(Bar().value, 0);
}

TEST_F(MddTest, CancelKeepsHeaderAndFramesWritten) {
    AddMovingPair();
    host::HostApp::Get().SetCancelAfterIncrements(2);
    const Bytes header = Words({5, 2, 0x3D088889, 0x3D888889, 0x3DCCCCCD, 0x3E088889, 0x3E2AAAAB});
    EXPECT_EQ(Bake(1, 5, 30.0f, 0), Join({header, kPairAtFrame1, kPairAtFrame1, kPairAtFrame2}));
    // Cancel before the first frame leaves the lead block.
    host::HostApp::Get().SetCancelAfterIncrements(0);
    EXPECT_EQ(Bake(1, 2, 30.0f, 0), Join({kTwoFrameHeader, kPairAtFrame1}));
}

TEST_F(MddTest, ProgressBarWalk) {
    AddMesh("cube", {{1.0, 2.0, 3.0}});
    EXPECT_EQ(Bake(5, 7, 30.0f, 0).size(), 8u + 4 * 3 + 12 * 4);
    EXPECT_EQ(Bar().caption, L"Zelkin Mesh Processing....");
    EXPECT_TRUE(Bar().visible);
    EXPECT_EQ(Bar().maximum, 3);
    EXPECT_EQ(Bar().step, 1);
    EXPECT_EQ(Bar().value, 3);
    EXPECT_EQ(Bar().statusText, L"Frame 2"); // the first frame, then the bar's value

    // No objects: still steps through the range.
    Fresh();
    EXPECT_EQ(Header(1, 4, 30.0f), 1);
    Walk(1, 4, 0);
    EXPECT_EQ(Bar().value, 4);
    EXPECT_EQ(Bar().maximum, 4);
    Fresh();
    Walk(9, 9, 0);
    EXPECT_EQ(Bar().statusText, L"Frame 9");
    EXPECT_EQ(Errors(), Lines{});
}

TEST_F(MddTest, FilePaths) {
    AddMesh("sphere", {{1.0, 2.0, 3.0}});
    const std::string cache = root + "/cache";
    ASSERT_EQ(mkdir(cache.c_str(), 0755), 0);
    auto bake = [&](std::string folder, const char* prefix) {
        EXPECT_EQ(Header(1, 1, 30.0f, folder, prefix), 1);
        EXPECT_EQ(Baked(0).size(), 12u);
        return std::string(objects[0].mddPath);
    };
    EXPECT_EQ(bake(cache, "take2_"), cache + "/take2_sphere.mdd");
    EXPECT_EQ(bake(cache, ""), cache + "/sphere.mdd");
    EXPECT_EQ(bake(cache + "/", ""), cache + "//sphere.mdd");
    // A folder given with backslashes (here relative to the current folder).
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    cwd = here;
    ASSERT_EQ(chdir(root.c_str()), 0);
    ASSERT_EQ(std::system("mkdir -p C:/bake/mdd"), 0);
    EXPECT_EQ(bake("C:\\bake\\mdd", ""), "C:/bake/mdd/sphere.mdd");
    EXPECT_TRUE(Exists(root + "/C:/bake/mdd/sphere.mdd"));
    EXPECT_EQ(Errors(), Lines{});
}

TEST_F(MddTest, PathsThatCannotBeCreatedOrDoNotFitAreRefused) {
    const std::string lead = "ZK_XSI_Baker - The MDD file cannot be created. Make sure the file "
                             "name and prefix are valid: ";
    AddMesh("a", {{1.0, 2.0, 3.0}});
    AddMesh("gone/b", {{1.0, 2.0, 3.0}});
    AddMesh("c", {{1.0, 2.0, 3.0}});
    EXPECT_EQ(Header(1, 2, 30.0f), 0);
    // Records before the failure keep their streams for the clean-up; the
    // ones after it are untouched.
    EXPECT_NE(objects[0].mddFile, nullptr);
    EXPECT_EQ(objects[1].mddFile, nullptr);
    EXPECT_EQ(objects[2].mddFile, nullptr);
    EXPECT_EQ(objects[2].mddPath[0], '\0');
    EXPECT_EQ(Errors(), Lines{lead + root + "/gone/b.mdd"});
    EXPECT_EQ(Baked(0).size(), 16u);

    // root + "/" + name + ".mdd" is exactly 254 characters: accepted.
    Fresh();
    const std::string fits(254 - root.size() - 1 - 4, 'n');
    AddMesh(fits.c_str(), {{1.0, 2.0, 3.0}});
    ASSERT_EQ(Header(1, 1, 30.0f), 1);
    EXPECT_EQ(std::string(objects[0].mddPath), root + "/" + fits + ".mdd");
    EXPECT_TRUE(Exists(objects[0].mddPath));
    ZK_CloseMDDFiles(1, objects.data());
    // One character more: refused with the path as far as it fits.
    EXPECT_EQ(Header(1, 1, 30.0f, root + "\\x"), 0);
    EXPECT_EQ(objects[0].mddFile, nullptr);
    EXPECT_EQ(objects[0].mddPath[0], '\0');
    // A prefix and name that together exceed the work buffer.
    const std::string longPrefix(250, 'p');
    EXPECT_EQ(Header(1, 1, 30.0f, "/tmp", longPrefix.c_str()), 0);
    EXPECT_EQ(Errors(), (Lines{lead + (root + "/x/" + fits + ".mdd").substr(0, 254),
                               lead + ("/tmp/" + longPrefix + fits).substr(0, 254)}));
}

TEST_F(MddTest, GeometryShorterThanItsCacheIsPaddedAndLongerIsCut) {
    AddMesh("grown", {{1.0, 2.0, 3.0}, {4.0, 5.0, 6.0}});
    objects[0].pointCount = 1;
    const Bytes one = Words({0x3F800000, 0x40000000, 0xC0400000});
    EXPECT_EQ(Bake(12, 12, 24.0f, 1), Join({kOneFrameOnePoint, one, one}));
    EXPECT_EQ(Errors(), Lines{});

    objects.clear();
    AddMesh("shrunk", {{1.0, 2.0, 3.0}})->Translation().Set({10.0, 0.0, 0.0});
    objects[0].pointCount = 2;
    const Bytes block = Words({0x41300000, 0x40000000, 0xC0400000, 0x41200000, 0, 0});
    EXPECT_EQ(Bake(1, 2, 30.0f, 0), Join({kTwoFrameHeader, block, block, block}));
    EXPECT_EQ(Errors(), Lines{"ZK_XSI_Baker - The object shrunk has fewer points at frame 1 than "
                              "its MDD file holds; the missing points are written at the "
                              "object's origin: " +
                              root + "/shrunk.mdd"});
}

TEST_F(MddTest, StreamThatCannotBeWrittenIsReported) {
    AddMesh("full", {{1.0, 2.0, 3.0}});
    AddMesh("fine", {{1.0, 2.0, 3.0}});
    ASSERT_EQ(Header(1, 1, 30.0f), 1);
    std::fclose(objects[0].mddFile);
    objects[0].mddFile = std::fopen("/dev/full", "wb");
    ASSERT_NE(objects[0].mddFile, nullptr);
    std::strcpy(objects[0].mddPath, "/dev/full");
    Walk(1, 1, 0);
    EXPECT_EQ(ZK_CloseMDDFiles(2, objects.data()), 0);
    EXPECT_EQ(objects[0].mddFile, nullptr);
    EXPECT_EQ(objects[1].mddFile, nullptr);
    EXPECT_EQ(ReadFile(root + "/fine.mdd").size(), 12u + 24u);
    EXPECT_EQ(Errors(),
              Lines{"ZK_XSI_Baker - The MDD file could not be completely written: /dev/full"});
    // Nothing is left open to close twice, and records without a stream are skipped.
    EXPECT_EQ(ZK_CloseMDDFiles(2, objects.data()), 1);
    EXPECT_EQ(RecordData(1, objects.data(), 1, 0), 1);
}

// Big-endian bytes of one point as an MDD block holds it: x, y and -z in
// single precision, a zero depth written as +0, worked out point by point
// from the SDK's own mapping.
void AppendPoint(const XSI::MATH::CVector3& p, Bytes& out) {
    const float z = static_cast<float>(p.GetZ());
    for (float v : {static_cast<float>(p.GetX()), static_cast<float>(p.GetY()), z + z * -2.0f}) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        const Bytes word = Words({bits});
        out.insert(out.end(), word.begin(), word.end());
    }
}

// Meshes of tens of thousands of points are written in several pieces, the
// bulk of each piece several points at a time: every point must still come
// out exactly as mapping it alone gives, whatever its place in the block,
// including depths that round to zero or overflow when negated.
TEST_F(MddTest, LargeMeshesMatchPointByPointMapping) {
    const int count = 70003; // more than two pieces, not a multiple of four
    std::vector<host::Vec3> points;
    uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(static_cast<int64_t>(state >> 11) % 2000001 - 1000000) / 997.0;
    };
    for (int i = 0; i < count; ++i)
        points.push_back({next(), next(), next()});
    points[5] = {0.0, -0.0, -0.0};
    points[6] = {1e-50, -1e-50, 1e-50}; // rounds to signed zeros
    points[7] = {3.0e38, -3.0e38, 2.0e38};
    points[8] = {-1e39, 1e39, -1e39}; // beyond single precision
    points[count - 1] = {4.0, -0.0, 0.0};
    host::Item* turned = AddMesh("turned", points);
    turned->Scaling().Set({1.5, 0.5, 2.0});
    turned->Rotation().Set(host::QuatFromXYZAngles(0.3, -1.1, 2.0));
    turned->Translation().Set({10.0, -20.0, 0.25});
    host::Item* still = AddMesh("still", points);
    // Geometry that ends inside the second piece of a longer cache.
    host::Item* shrunk = AddMesh("shrunk", {points.begin(), points.begin() + 33001});
    shrunk->Translation().Set({1.0, 2.0, 3.0});
    objects[2].pointCount = 40001;
    ASSERT_EQ(Header(1, 1, 25.0f), 1);
    RecordData(1, &objects[0], 1, 0);
    RecordData(1, &objects[1], 1, 1); // local space
    RecordData(1, &objects[2], 1, 0);

    auto expected = [&](host::Item* item, int cached, bool world) {
        const XSI::MATH::CTransformation global =
            XSI::X3DObject(host::RefOf(item)).GetKinematics().GetGlobal().GetTransform(1);
        const std::vector<host::Vec3> rest = item->GetMesh()->GetPoints();
        Bytes out = Words({1, static_cast<uint32_t>(cached), 0x3D23D70A});
        for (int i = 0; i < cached; ++i) {
            const host::Vec3 r = i < static_cast<int>(rest.size()) ? rest[i] : host::Vec3{};
            const XSI::MATH::CVector3 p(r.x, r.y, r.z);
            AppendPoint(world ? XSI::MATH::MapObjectPositionToWorldSpace(global, p) : p, out);
        }
        return out;
    };
    const Bytes turnedBytes = Baked(0);
    ASSERT_EQ(turnedBytes.size(), 12u + 12u * count);
    EXPECT_TRUE(turnedBytes == expected(turned, count, true));
    EXPECT_TRUE(ReadFile(objects[1].mddPath) == expected(still, count, false));
    EXPECT_TRUE(ReadFile(objects[2].mddPath) == expected(shrunk, 40001, true));
}

// The cache writer's second thread writes a piece while the next is mapped,
// and a writer that holds small blocks writes them several frames at a
// time: whichever way the pieces go, every file gets the same bytes in the
// same order. Big meshes whose last piece is small, small meshes between
// them, over several frames of deforming and moving geometry.
TEST_F(MddTest, PipelinedAndHeldWritesGiveTheSameBytesAsInlineWrites) {
    const int sizes[] = {2 * 32768 + 5, 7, 32768 * 3, 4096, 40000, 2047, 1};
    const size_t meshes = sizeof sizes / sizeof sizes[0];
    for (size_t o = 0; o < meshes; ++o) {
        std::vector<host::Vec3> points;
        for (int i = 0; i < sizes[o]; ++i)
            points.push_back({i * 0.001, o + 0.5, -i * 0.002});
        const std::string name = "mesh" + std::to_string(o);
        host::Item* item = AddMesh(name.c_str(), points);
        const double k = static_cast<double>(o);
        item->Translation().SetFunction([k](double f) { return host::Vec3{f, k * f, 1.0}; });
        item->GetMesh()->AddDeformer([](double f, const host::Vec3& p, int i) {
            return host::Vec3{p.x, p.y + 0.01 * f * (i % 7), p.z};
        });
    }
    const int frames[] = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const size_t blocks = sizeof frames / sizeof frames[0];
    auto bake = [&](bool pipelined, bool hold, const std::string& folder) {
        EXPECT_EQ(mkdir(folder.c_str(), 0755), 0);
        EXPECT_EQ(Header(1, 16, 30.0f, folder), 1);
        {
            MDDCacheWriter writer(pipelined, hold);
            for (int frame : frames)
                EXPECT_EQ(RecordData(static_cast<int>(meshes), objects.data(), frame, 0, &writer),
                          1);
        }
        EXPECT_EQ(ZK_CloseMDDFiles(static_cast<int>(meshes), objects.data()), 1);
        std::vector<Bytes> files;
        for (const ObjectData& object : objects)
            files.push_back(ReadFile(object.mddPath));
        return files;
    };
    const std::vector<Bytes> inlineFiles = bake(false, false, root + "/inline");
    for (size_t o = 0; o < meshes; ++o)
        EXPECT_EQ(inlineFiles[o].size(), 8u + 4 * 16 + 12u * sizes[o] * blocks) << o;
    for (bool pipelined : {false, true}) {
        const std::vector<Bytes> files =
            bake(pipelined, true, root + "/held" + std::to_string(pipelined));
        for (size_t o = 0; o < meshes; ++o)
            EXPECT_TRUE(inlineFiles[o] == files[o]) << objects[o].name << " " << pipelined;
    }
    const std::vector<Bytes> pipelinedFiles = bake(true, false, root + "/pipelined");
    for (size_t o = 0; o < meshes; ++o)
        EXPECT_TRUE(inlineFiles[o] == pipelinedFiles[o]) << objects[o].name;
    // The first block of mesh0 against its points mapped one by one.
    Bytes first;
    for (int i = 0; i < sizes[0]; ++i)
        AppendPoint(XSI::MATH::CVector3(i * 0.001 + 1.0, 0.5 + 0.01 * (i % 7), 1.0 - i * 0.002),
                    first);
    EXPECT_TRUE(Bytes(inlineFiles[0].begin() + 72, inlineFiles[0].begin() + 72 + first.size()) ==
                first);
    EXPECT_EQ(Errors(), Lines{});
}

TEST(BigEndian, ValuesAndByteReversal) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    putInt(f, -2);
    putInt(f, 0x01020304);
    putFloat(f, -1.5f);
    putFloat(f, 0.1f);
    std::rewind(f);
    uint8_t got[16] = {};
    ASSERT_EQ(std::fread(got, 1, 16, f), 16u);
    std::fclose(f);
    EXPECT_EQ(Bytes(got, got + 16), Words({0xFFFFFFFE, 0x01020304, 0xBFC00000, 0x3DCCCCCD}));

    uint8_t pairs[] = {1, 2, 3, 4, 5, 6};
    revbytes(pairs, 2, 3);
    EXPECT_EQ(Bytes(pairs, pairs + 6), (Bytes{2, 1, 4, 3, 6, 5}));
    revbytes(pairs, 3, 2);
    EXPECT_EQ(Bytes(pairs, pairs + 6), (Bytes{4, 1, 2, 5, 6, 3}));
    revbytes(pairs, 4, 0);
    revbytes(pairs, 1, 6);
    EXPECT_EQ(Bytes(pairs, pairs + 6), (Bytes{4, 1, 2, 5, 6, 3}));
}

} // namespace
