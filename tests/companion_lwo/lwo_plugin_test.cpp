// The ZK_XSI_ExportLWO plug-in loaded into the host from its library, as
// xsihost loads it: registration, the mesh it writes at the current frame
// (read back byte by byte and with Assimp), its failures, a mesh past 0xFF00
// points, and a run of xsihost itself.
#include "LWOTestRead.h"

#include "host/app/HostApp.h"
#include "host/import/DemoScene.h"
#include "host/scene/Scene.h"
#include "host/scene/SceneCommands.h"

#include <xsi_application.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using host::HostApp;
using host::Vec3;
using XSI::CStatus;

namespace {

const wchar_t* const kCommand = L"ZK_XSI_ExportLWO";

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
}

// A path as host text, one character per byte.
XSI::CString HostText(const std::string& text) {
    XSI::CString s;
    s.PutAsciiString(text.c_str());
    return s;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

float F4(const std::vector<unsigned char>& b, std::size_t at) {
    const std::uint32_t v = lwotest::U4(b, at);
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
}

// The mesh of an item at a frame, as the host holds it.
struct HostMesh {
    std::vector<XSI::MATH::CVector3> points;
    std::vector<int> sizes;
    std::vector<int> indices;
};

HostMesh MeshAt(const host::Item& item, double frame) {
    HostMesh m;
    m.points.resize(item.GetPointCount());
    item.EvalPoints(frame, m.points.data());
    m.sizes = item.GetMesh()->GetPolygonSizes();
    m.indices = item.GetMesh()->GetPolygonPoints();
    return m;
}

// Checks the file against the host's mesh: PNTS holds every point in the
// host's order with z negated (+0 for a zero z), and Assimp, which reads
// LWO as left-handed, reports every polygon with the host's own corners.
void ExpectFileHoldsMesh(const std::string& path, const HostMesh& m) {
    const auto bytes = ReadBytes(path);
    std::string problem;
    const auto chunks = lwotest::WalkChunks(bytes, &problem);
    ASSERT_TRUE(problem.empty()) << problem;
    const lwotest::Chunk* pnts = nullptr;
    for (const auto& c : chunks) {
        if (c.id == "PNTS") {
            pnts = &c;
        }
    }
    ASSERT_NE(pnts, nullptr);
    ASSERT_EQ(pnts->size, 12u * m.points.size());
    for (std::size_t i = 0; i < m.points.size(); ++i) {
        const std::size_t at = pnts->offset + 12 * i;
        const float zs = static_cast<float>(m.points[i].GetZ());
        ASSERT_EQ(F4(bytes, at), static_cast<float>(m.points[i].GetX())) << "point " << i;
        ASSERT_EQ(F4(bytes, at + 4), static_cast<float>(m.points[i].GetY())) << "point " << i;
        ASSERT_EQ(F4(bytes, at + 8), -zs) << "point " << i;
        ASSERT_FALSE(zs == 0.0f && std::signbit(F4(bytes, at + 8))) << "-0 at point " << i;
    }

    Assimp::Importer importer;
    const aiScene* scene = lwotest::ReadLWO(importer, path);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh* mesh = scene->mMeshes[0];
    ASSERT_EQ(mesh->mNumFaces, m.sizes.size());
    std::size_t at = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        ASSERT_EQ(face.mNumIndices, static_cast<unsigned>(m.sizes[f])) << "face " << f;
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            const auto& p = m.points[m.indices[at + k]];
            const aiVector3D& v = mesh->mVertices[face.mIndices[k]];
            ASSERT_EQ(v.x, static_cast<float>(p.GetX())) << "face " << f << " corner " << k;
            ASSERT_EQ(v.y, static_cast<float>(p.GetY())) << "face " << f << " corner " << k;
            ASSERT_EQ(v.z, static_cast<float>(p.GetZ())) << "face " << f << " corner " << k;
        }
        at += face.mNumIndices;
    }
}

class ExportLWOTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        HostApp& app = HostApp::Get();
        host::RegisterSceneCommands(app);
        ASSERT_EQ(app.LoadPlugin(LWO_PLUGIN_PATH), CStatus::OK);
    }

    void SetUp() override {
        HostApp& app = HostApp::Get();
        app.Reset();
        app.SetEchoLog(false);
        dir = ::testing::TempDir() + "lwo_plugin_test_" + std::to_string(getpid());
        mkdir(dir.c_str(), 0755);

        auto scene = std::make_unique<host::Scene>();
        // A triangular prism under a moved null: two triangles, three quads.
        // Point 0 sits at z = 0 and point 5 at z = -0; a deformer lifts
        // every point by the frame number, so the frame shows in the file.
        host::Item* rig = scene->AddNull(L"Rig");
        rig->SetLocal({2, 2, 2}, {0, 45, 0}, {10, 20, 30});
        prism = scene->AddMesh(L"Prism", rig);
        host::Mesh* mesh = prism->GetMesh();
        mesh->SetPoints(
            {{0, 0, 0}, {1, 0, 0.25}, {0.5, 0, 1.5}, {0, 2, 0.125}, {1, 2, 0.25}, {0.5, 2, -0.0}});
        mesh->AddPolygon({0, 1, 2});
        mesh->AddPolygon({3, 5, 4});
        mesh->AddPolygon({0, 3, 4, 1});
        mesh->AddPolygon({1, 4, 5, 2});
        mesh->AddPolygon({2, 5, 3, 0});
        mesh->AddDeformer([](double frame, const Vec3& p, int) {
            return Vec3{p.x, p.y + frame * 0.5, p.z};
        });
        scene->AddCamera(L"Cam");
        scene->AddNull(L"Empty");
        app.SetScene(std::move(scene));
    }

    void TearDown() override { std::filesystem::remove_all(dir); }

    static CStatus Run(const XSI::CValue& name, const XSI::CValue& path) {
        XSI::CValueArray args;
        args.Add(name);
        args.Add(path);
        XSI::CValue ret;
        return XSI::Application().ExecuteCommand(kCommand, args, ret);
    }

    // The error messages logged, each expected to name the command.
    static std::vector<std::string> Errors() {
        std::vector<std::string> out;
        for (const auto& e : HostApp::Get().GetLog()) {
            if (e.severity == XSI::siErrorMsg) {
                out.push_back(e.text);
            }
        }
        return out;
    }

    std::string dir;
    host::Item* prism = nullptr;
};

TEST_F(ExportLWOTest, RegistersTheCommandWithItsTwoArguments) {
    host::CommandSignature sig;
    ASSERT_TRUE(HostApp::Get().GetCommandSignature(kCommand, sig));
    EXPECT_TRUE(sig.declared);
    EXPECT_EQ(sig.argumentNames, (std::vector<std::wstring>{L"ZK_ObjName", L"ZK_FilePath"}));
    const host::PluginCommand* cmd = HostApp::Get().FindPluginCommand(kCommand);
    ASSERT_NE(cmd, nullptr);
    EXPECT_EQ(cmd->scriptName, kCommand);
    EXPECT_EQ(cmd->plugin->name, L"ZK_XSI_ExportLWO Plug-in");
}

TEST_F(ExportLWOTest, WritesTheMeshAtTheCurrentFrameInLocalSpace) {
    HostApp& app = HostApp::Get();
    app.SetCurrentFrame(7);
    const std::string path = dir + "/Rig.Prism.lwo";
    const XSI::CString widePath = HostText(path);
    ASSERT_EQ(Run(XSI::CValue(L"Rig.Prism"), XSI::CValue(widePath)), CStatus::OK);
    EXPECT_TRUE(Errors().empty());
    const HostMesh m = MeshAt(*prism, 7);
    EXPECT_EQ(m.points[0].GetY(), 3.5); // the deformer at frame 7, untransformed
    ExpectFileHoldsMesh(path, m);

    // Written again at another frame: the file is replaced.
    app.SetCurrentFrame(-2);
    ASSERT_EQ(Run(XSI::CValue(L"Rig.Prism"), XSI::CValue(widePath)), CStatus::OK);
    ExpectFileHoldsMesh(path, MeshAt(*prism, -2));
}

TEST_F(ExportLWOTest, LeavesTheUsersSelectionAsItWas) {
    HostApp& app = HostApp::Get();
    host::Scene* scene = app.GetScene();
    const XSI::CRef cam = scene->FindItem(L"Cam")->GetRef();
    const XSI::CString widePath = HostText(dir + "/p.lwo");

    app.SetSelection({cam});
    ASSERT_EQ(Run(XSI::CValue(L"Rig.Prism"), XSI::CValue(widePath)), CStatus::OK);
    EXPECT_EQ(app.GetSelection(), std::vector<XSI::CRef>{cam});

    // Already selected: found without selecting anything.
    app.SetSelection({cam, prism->GetRef()});
    app.ClearCommandsRun();
    ASSERT_EQ(Run(XSI::CValue(L"Rig.Prism"), XSI::CValue(widePath)), CStatus::OK);
    EXPECT_EQ(app.GetSelection(), (std::vector<XSI::CRef>{cam, prism->GetRef()}));
    EXPECT_EQ(app.GetCommandsRun(), std::vector<std::string>{"ZK_XSI_ExportLWO"});

    // A failed lookup puts the selection back as well.
    app.SetSelection({cam});
    EXPECT_EQ(Run(XSI::CValue(L"Nothing"), XSI::CValue(widePath)), CStatus::Fail);
    EXPECT_EQ(app.GetSelection(), std::vector<XSI::CRef>{cam});
}

TEST_F(ExportLWOTest, EachFailureIsOneErrorAndAFailedStatus) {
    HostApp& app = HostApp::Get();
    const XSI::CString good = HostText(dir + "/x.lwo");
    const XSI::CString noFolder = HostText(dir + "/missing/x.lwo");
    struct Case {
        const char* what;
        XSI::CValue name;
        XSI::CValue path;
        const char* mentions;
    } cases[] = {
        {"missing object", XSI::CValue(L"Rig.Nothing"), XSI::CValue(good), "Rig.Nothing"},
        {"a camera", XSI::CValue(L"Cam"), XSI::CValue(good), "not a polygon mesh"},
        {"a null", XSI::CValue(L"Rig"), XSI::CValue(good), "not a polygon mesh"},
        {"no name", XSI::CValue(), XSI::CValue(good), "No object name"},
        {"no path", XSI::CValue(L"Rig.Prism"), XSI::CValue(), "No file path"},
        {"folder missing", XSI::CValue(L"Rig.Prism"), XSI::CValue(noFolder), "/missing/x.lwo"},
        {"path is a folder", XSI::CValue(L"Rig.Prism"), XSI::CValue(HostText(dir)),
         "cannot be written"},
        {"disk full", XSI::CValue(L"Rig.Prism"), XSI::CValue(L"/dev/full"), "/dev/full"},
    };
    for (const auto& c : cases) {
        app.ClearLog();
        EXPECT_EQ(Run(c.name, c.path), CStatus::Fail) << c.what;
        const auto errors = Errors();
        ASSERT_EQ(errors.size(), 1u) << c.what;
        EXPECT_EQ(errors[0].rfind("ZK_XSI_ExportLWO - ", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find(c.mentions), std::string::npos) << errors[0];
    }
    EXPECT_FALSE(Exists(dir + "/x.lwo"));
    EXPECT_TRUE(Exists("/dev/full"));
}

// 257 x 257 points: point indices and polygon indices both pass 0xFF00 and
// take four bytes; Assimp still reads every corner back.
TEST_F(ExportLWOTest, MeshPastTheShortIndexRangeRoundTrips) {
    HostApp& app = HostApp::Get();
    auto scene = std::make_unique<host::Scene>();
    host::Item* grid = scene->AddMesh(L"BigGrid");
    const int n = 257;
    std::vector<Vec3> points;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            points.push_back({c * 0.25, (r * 7 + c) % 5 * 0.125, r * -0.5});
        }
    }
    grid->GetMesh()->SetPoints(points);
    for (int r = 0; r + 1 < n; ++r) {
        for (int c = 0; c + 1 < n; ++c) {
            const int i = r * n + c;
            grid->GetMesh()->AddPolygon({i, i + n, i + n + 1, i + 1});
        }
    }
    app.SetScene(std::move(scene));
    ASSERT_GE(grid->GetPointCount(), 0xFF00);
    ASSERT_GE(grid->GetMesh()->GetPolygonCount(), 0xFF00);

    const std::string path = dir + "/big.lwo";
    ASSERT_EQ(Run(XSI::CValue(L"BigGrid"), XSI::CValue(HostText(path))), CStatus::OK);
    ExpectFileHoldsMesh(path, MeshAt(*grid, 0));
}

// xsihost as the user runs it: the demo grid at frame 24, where its wave
// has moved every point off the rest plane.
TEST(ExportLWOXsihost, RunsFromTheCommandLine) {
    const std::string dir = ::testing::TempDir() + "lwo_xsihost_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/grid.lwo";
    auto run = [&](const std::vector<std::string>& args, std::string* err) {
        const std::string errPath = dir + "/stderr.txt";
        pid_t pid = fork();
        if (pid == 0) {
            std::freopen(errPath.c_str(), "w", stderr);
            std::freopen("/dev/null", "w", stdout);
            std::vector<char*> argv;
            std::vector<std::string> all = {XSIHOST_PATH, "run",       "--demo",      "--frame",
                                            "24",         "--plugins", LWO_PLUGIN_DIR};
            all.insert(all.end(), args.begin(), args.end());
            for (auto& a : all) {
                argv.push_back(&a[0]);
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const auto bytes = ReadBytes(errPath);
        err->assign(bytes.begin(), bytes.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    std::string err;
    ASSERT_EQ(run({"ZK_XSI_ExportLWO", "Grid", path}, &err), 0) << err;
    HostApp& app = HostApp::Get();
    app.Reset();
    const auto demo = host::MakeDemoScene();
    const host::Item* grid = demo->FindItem(L"Grid");
    ASSERT_NE(grid, nullptr);
    ExpectFileHoldsMesh(path, MeshAt(*grid, 24));

    ASSERT_EQ(run({"ZK_XSI_ExportLWO", "ZK_ObjName=Nope", "ZK_FilePath=" + path}, &err), 1);
    std::size_t count = 0;
    for (std::size_t at = err.find("ERROR: ZK_XSI_ExportLWO - "); at != std::string::npos;
         at = err.find("ERROR: ZK_XSI_ExportLWO - ", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 1u) << err;
    EXPECT_NE(err.find("Nope"), std::string::npos) << err;
    std::filesystem::remove_all(dir);
}

} // namespace
