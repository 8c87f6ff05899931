// The ZK_XSI_ExportLWO plug-in loaded into the host from its library, as
// xsihost loads it: the file it writes for a mesh at the current frame
// (against a hand-written file, point by point, and read back with Assimp),
// indices past 0xFF00, the selection it leaves, and one failure of each
// kind; and the mesh data that the writer refuses.
#include "LWOFile.h"

#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"

#include <xsi_application.h>
#include <xsi_vector3.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include "HostLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <unistd.h>

using host::HostApp;
using host::Vec3;
using XSI::CStatus;
using XSI::CValue;
using Byte = unsigned char;
using Bytes = std::vector<Byte>;

namespace {

Bytes ReadBytes(const std::string& path) {
    return zkt::Read<Bytes>(path);
}

std::uint32_t U4(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
           std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// Where the first chunk with this id starts.
std::size_t Find(const Bytes& b, const char* id) {
    return std::search(b.begin(), b.end(), id, id + 4) - b.begin();
}

// A path as host text, one character per byte.
CValue HostPath(const std::string& path) {
    XSI::CString s;
    s.PutAsciiString(path.c_str());
    return CValue(s);
}

// The file holds the item's mesh at the frame: PNTS holds every point in the
// host's order, as floats, with z negated (+0 for a zero z, never -0), and
// Assimp, which reads LWO as left-handed, gives back every polygon with the
// host's own corners.
void ExpectFileHoldsMesh(const std::string& path, const host::Item& item, double frame) {
    std::vector<host::Vec3> evaluated(item.GetPointCount());
    item.EvalPoints(frame, evaluated.data());
    std::vector<XSI::MATH::CVector3> points;
    for (const host::Vec3& v : evaluated) {
        points.emplace_back(v.x, v.y, v.z);
    }
    const Bytes bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 12u);
    EXPECT_EQ(U4(bytes, 4) + 8u, bytes.size()); // the FORM's size
    Bytes pnts;
    for (const XSI::MATH::CVector3& p : points) {
        for (float f : {float(p.GetX()), float(p.GetY()), 0.0f - float(p.GetZ())}) {
            std::uint32_t word;
            std::memcpy(&word, &f, 4);
            pnts.insert(pnts.end(),
                        {Byte(word >> 24), Byte(word >> 16), Byte(word >> 8), Byte(word)});
        }
    }
    const std::size_t at = Find(bytes, "PNTS") + 8;
    ASSERT_EQ(U4(bytes, at - 4), pnts.size());
    ASSERT_LE(at + pnts.size(), bytes.size());
    EXPECT_EQ(Bytes(bytes.begin() + at, bytes.begin() + at + pnts.size()), pnts);

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0); // no step that merges points
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh* mesh = scene->mMeshes[0];
    const std::vector<int>& sizes = item.GetMesh()->GetPolygonSizes();
    const std::vector<int>& corners = item.GetMesh()->GetPolygonPoints();
    ASSERT_EQ(mesh->mNumFaces, sizes.size());
    for (unsigned f = 0, at = 0; f < mesh->mNumFaces; at += sizes[f++]) {
        ASSERT_EQ(mesh->mFaces[f].mNumIndices, static_cast<unsigned>(sizes[f])) << "face " << f;
        for (unsigned k = 0; k < mesh->mFaces[f].mNumIndices; ++k) {
            const XSI::MATH::CVector3& p = points[corners[at + k]];
            const aiVector3D& v = mesh->mVertices[mesh->mFaces[f].mIndices[k]];
            ASSERT_TRUE(v.x == static_cast<float>(p.GetX()) &&
                        v.y == static_cast<float>(p.GetY()) && v.z == static_cast<float>(p.GetZ()))
                << "face " << f << " corner " << k;
        }
    }
}

class ExportLWOTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        host::RegisterSceneCommands(HostApp::Get());
        ASSERT_EQ(HostApp::Get().LoadPlugin(LWO_PLUGIN_PATH), CStatus::OK);
    }

    void SetUp() override {
        HostApp::Get().Reset();
        HostApp::Get().SetEchoLog(false);

        auto scene = std::make_unique<host::Scene>();
        // A triangular prism under a moved null: two triangles, three quads.
        // Point 0 sits at z = 0 and point 5 at z = -0; a deformer lifts every
        // point by the frame, so the frame shows in the file.
        host::Item* rig = scene->AddNull(L"Rig");
        rig->SetLocal({2, 2, 2}, {0, 45, 0}, {10, 20, 30});
        prism = scene->AddMesh(L"Prism", rig);
        host::Mesh* mesh = prism->GetMesh();
        mesh->SetPoints({{0, 0, 0}, {1, 0, .25}, {0, 0, 1.5}, {0, 2, 2}, {1, 2, .25}, {0, 2, -0.}});
        for (const std::vector<int>& polygon :
             {std::vector<int>{0, 1, 2}, {3, 5, 4}, {0, 3, 4, 1}, {1, 4, 5, 2}, {2, 5, 3, 0}}) {
            mesh->AddPolygon(polygon);
        }
        mesh->AddDeformer([](double frame, const Vec3& p, int) {
            return Vec3{p.x, p.y + frame * 0.5, p.z};
        });
        // The mesh of the hand-written file golden/triangle.lwo.
        host::Mesh* tri = scene->AddMesh(L"Tri")->GetMesh();
        tri->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 0.5}});
        tri->AddPolygon({0, 1, 2});
        // One polygon of 1024 points: more than an LWO polygon holds.
        host::Mesh* huge = scene->AddMesh(L"Huge")->GetMesh();
        huge->SetPoints(std::vector<Vec3>(1024));
        std::vector<int> ring(1024);
        std::iota(ring.begin(), ring.end(), 0);
        huge->AddPolygon(ring);
        scene->AddCamera(L"Cam");
        HostApp::Get().SetScene(std::move(scene));
    }

    static CStatus Run(const CValue& name, const CValue& path) {
        XSI::CValueArray args;
        args.Add(name);
        args.Add(path);
        CValue ret;
        return XSI::Application().ExecuteCommand(L"ZK_XSI_ExportLWO", args, ret);
    }

    static std::vector<std::string> Errors() { return zkt::LogTexts(true); }

    zkt::ScratchDir scratch;
    const std::string dir = scratch.Dir() + "/";
    host::Item* prism = nullptr;
};

TEST_F(ExportLWOTest, TriangleMatchesTheHandWrittenFile) {
    ASSERT_EQ(Run(CValue(L"Tri"), HostPath(dir + "tri.lwo")), CStatus::OK);
    const Bytes golden = ReadBytes(LWO_GOLDEN_DIR "/triangle.lwo");
    ASSERT_EQ(golden.size(), 184u);
    EXPECT_EQ(ReadBytes(dir + "tri.lwo"), golden);
}

TEST_F(ExportLWOTest, WritesTheMeshAtTheCurrentFrameInLocalSpace) {
    host::CommandSignature sig;
    ASSERT_TRUE(HostApp::Get().GetCommandSignature(L"ZK_XSI_ExportLWO", sig));
    EXPECT_EQ(sig.argumentNames, (std::vector<std::wstring>{L"ZK_ObjName", L"ZK_FilePath"}));

    const std::string path = dir + "Rig.Prism.lwo";
    HostApp::Get().SetCurrentFrame(7);
    ASSERT_EQ(Run(CValue(L"Rig.Prism"), HostPath(path)), CStatus::OK);
    EXPECT_TRUE(Errors().empty());
    ExpectFileHoldsMesh(path, *prism, 7);
    // Written again at another frame: the file is replaced.
    HostApp::Get().SetCurrentFrame(-2);
    ASSERT_EQ(Run(CValue(L"Rig.Prism"), HostPath(path)), CStatus::OK);
    ExpectFileHoldsMesh(path, *prism, -2);
}

// From index 0xFF00 on, an index takes four bytes with the top byte 0xFF:
// point indices in POLS, polygon indices in PTAG.
TEST_F(ExportLWOTest, IndicesFrom0xFF00TakeFourBytes) {
    auto scene = std::make_unique<host::Scene>();
    host::Item* big = scene->AddMesh(L"Big");
    std::vector<Vec3> points;
    for (int i = 0; i <= 0xFF00; ++i) {
        points.push_back({double(i % 256), double(i / 256), 0.25});
    }
    big->GetMesh()->SetPoints(points);
    for (int p = 0; p < 0xFF00; ++p) {
        big->GetMesh()->AddPolygon({0, 1, 2});
    }
    big->GetMesh()->AddPolygon({0, 0xFEFF, 0xFF00}); // polygon 0xFF00
    HostApp::Get().SetScene(std::move(scene));
    ASSERT_EQ(Run(CValue(L"Big"), HostPath(dir + "big.lwo")), CStatus::OK);

    const Bytes bytes = ReadBytes(dir + "big.lwo");
    const std::size_t pols = Find(bytes, "POLS") + 8;
    const std::size_t ptag = Find(bytes, "PTAG") + 8;
    ASSERT_EQ(U4(bytes, pols - 4), 4u + 0xFF00 * 8 + 10);
    ASSERT_EQ(U4(bytes, ptag - 4), 4u + 0xFF00 * 4 + 6);
    // The last polygon reversed: 0xFF00 in four bytes, 0xFEFF and 0 in two;
    // then its polygon index in four bytes and its tag.
    EXPECT_EQ(Bytes(bytes.begin() + ptag - 18, bytes.begin() + ptag - 8),
              (Bytes{0x00, 0x03, 0xFF, 0x00, 0xFF, 0x00, 0xFE, 0xFF, 0x00, 0x00}));
    const std::size_t ptagEnd = ptag + 4 + 0xFF00 * 4 + 6;
    EXPECT_EQ(Bytes(bytes.begin() + ptagEnd - 6, bytes.begin() + ptagEnd),
              (Bytes{0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00}));
    ExpectFileHoldsMesh(dir + "big.lwo", *big, 0);
}

TEST_F(ExportLWOTest, LeavesTheUsersSelectionAsItWas) {
    HostApp& app = HostApp::Get();
    const XSI::CRef cam = host::RefOf(app.GetScene()->FindItem(L"Cam"));
    const CValue path = HostPath(dir + "p.lwo");
    for (const std::vector<XSI::CRef>& selection :
         {std::vector<XSI::CRef>{cam}, {cam, host::RefOf(prism)}}) {
        app.SetSelection(selection);
        ASSERT_EQ(Run(CValue(L"Rig.Prism"), path), CStatus::OK);
        EXPECT_EQ(app.GetSelection(), selection);
    }
    // A failed lookup puts the selection back as well.
    app.SetSelection({cam});
    EXPECT_EQ(Run(CValue(L"Nothing"), path), CStatus::Fail);
    EXPECT_EQ(app.GetSelection(), std::vector<XSI::CRef>{cam});
}

TEST_F(ExportLWOTest, EachFailureIsOneErrorAndAFailedStatus) {
    const CValue good = HostPath(dir + "x.lwo");
    const CValue prismName(L"Rig.Prism");
    const struct {
        CValue name;
        CValue path;
        const char* mentions;
    } cases[] = {
        {CValue(), good, "No object name"},
        {prismName, CValue(), "No file path"},
        {CValue(L"Rig.Nothing"), good, "cannot be found: Rig.Nothing"},
        {CValue(L"Cam"), good, "not a polygon mesh: Cam"},
        {CValue(L"Huge"), good, "cannot be written as LWO"},
        {prismName, HostPath(dir + "missing/x.lwo"), "/missing/x.lwo"},
        {prismName, CValue(L"/dev/full"), "cannot be written: /dev/full"},
    };
    for (const auto& c : cases) {
        HostApp::Get().ClearLog();
        EXPECT_EQ(Run(c.name, c.path), CStatus::Fail) << c.mentions;
        const std::vector<std::string> errors = Errors();
        ASSERT_EQ(errors.size(), 1u) << c.mentions;
        EXPECT_EQ(errors[0].rfind("ZK_XSI_ExportLWO - ", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find(c.mentions), std::string::npos) << errors[0];
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "x.lwo"));
    EXPECT_TRUE(std::filesystem::exists("/dev/full")); // a failed write removes no device
}

// Polygon data that cannot come from the host is refused by the writer, never
// read past its end.
TEST(LWOConvertMesh, RefusesDataThatCannotMakeAnLWOFile) {
    std::vector<double> xyz(3 * 1024, 0.0);
    for (std::vector<int> polys : {std::vector<int>{3, 0, 1, 1024}, // index past the points
                                   {3, 0, -1, 2},
                                   {0},
                                   {-3, 0, 1, 2},
                                   {3, 0, 1, 2, 3, 0, 1}}) { // ends inside a polygon
        LWOMesh mesh;
        std::string error;
        EXPECT_FALSE(LWOConvertMesh(xyz.data(), 1024, polys.data(), polys.size(), &mesh, &error))
            << polys[0] << " " << polys.back();
        EXPECT_FALSE(error.empty());
    }
    // 1023 points is the most a polygon holds (1024 are refused above, through
    // the plug-in).
    std::vector<int> polys(1024);
    std::iota(polys.begin(), polys.end(), -1);
    polys[0] = 1023;
    LWOMesh mesh;
    std::string error;
    EXPECT_TRUE(LWOConvertMesh(xyz.data(), 1024, polys.data(), polys.size(), &mesh, &error))
        << error;
}

} // namespace
