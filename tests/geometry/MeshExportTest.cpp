// Mesh export through host commands: the paths recorded, the arguments
// handed to the commands, and failures reported per object.
#include "geometry/MeshExport.h"
#include "host/app/HostApp.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"

#include "HostLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// A call of the LWO command: the name, the path, and whether both came as strings.
struct Call {
    std::wstring name, path;
    bool strings;
};

class MeshExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::HostApp::Get().Reset();
        host::HostApp::Get().SetEchoLog(false);
        // A stand-in for the sibling LWO command: records its arguments and
        // fails for the names in failFor.
        host::HostApp::Get().RegisterHostCommand(
            L"ZK_XSI_ExportLWO", [this](const XSI::CValueArray& args, XSI::CValue&) {
                EXPECT_EQ(args.GetCount(), 2);
                const std::wstring name = XSI::CString(args[0]).GetWideString();
                calls.push_back({name, XSI::CString(args[1]).GetWideString(),
                                 args[0].GetType() == XSI::CValue::siString &&
                                     args[1].GetType() == XSI::CValue::siString});
                const bool fail = std::find(failFor.begin(), failFor.end(), name) != failFor.end();
                return XSI::CStatus(fail ? XSI::CStatus::Fail : XSI::CStatus::OK);
            });
    }
    void TearDown() override { host::HostApp::Get().Reset(); }

    void AddRecord(const char* name) {
        ObjectData record;
        std::strcpy(record.name, name);
        objects.push_back(record);
    }
    int Lwo(std::string folder) {
        return ZK_LWOExport(objects.data(), static_cast<int>(objects.size()), &folder[0]);
    }
    Lines Errors() const { return zkt::LogTexts(true); }
    static std::wstring Wide(const std::string& s) {
        std::wstring w;
        for (unsigned char c : s)
            w.push_back(c);
        return w;
    }

    std::vector<ObjectData> objects;
    std::vector<Call> calls;
    std::vector<std::wstring> failFor;
    zkt::ScratchDir scratch;
    std::string root = scratch.Dir();
};

TEST_F(MeshExportTest, LwoPathsAndArguments) {
    EXPECT_EQ(ZK_LWOExport(nullptr, 0, const_cast<char*>("/tmp")), 1); // no objects, no command
    EXPECT_EQ(ZK_EMDLExport(nullptr, 0, const_cast<char*>("/tmp")), 1);
    EXPECT_TRUE(host::HostApp::Get().GetCommandsRun().empty());

    AddRecord("Rig.Box");
    AddRecord("odd\\name"); // a backslash becomes a slash in the path only
    ASSERT_EQ(Lwo("C:\\bake\\lwo"), 1);
    AddRecord("caf\xE9"); // Latin-1 widens to the same character
    ASSERT_EQ(ZK_LWOExport(&objects[2], 1, const_cast<char*>("/out/")), 1); // slash doubled
    const std::vector<std::pair<std::wstring, std::wstring>> want = {
        {L"Rig.Box", L"C:/bake/lwo/Rig.Box.lwo"},
        {L"odd\\name", L"C:/bake/lwo/odd/name.lwo"},
        {L"caf\xE9", L"/out//caf\xE9.lwo"}};
    ASSERT_EQ(calls.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(calls[i].name, want[i].first);
        EXPECT_EQ(calls[i].path, want[i].second);
        EXPECT_EQ(Wide(objects[i].lwoPath), want[i].second);
        EXPECT_TRUE(calls[i].strings);
    }
    EXPECT_EQ(host::HostApp::Get().GetCommandsRun(),
              std::vector<std::string>(3, "ZK_XSI_ExportLWO"));
    EXPECT_EQ(Errors(), Lines{});
}

TEST_F(MeshExportTest, FailedCommandOrPathThatDoesNotFitIsReportedAndTheOthersRun) {
    // "/out" + "\\" + name + ".lwo" is 254 characters for `fits`, 255 for `tooLong`.
    const std::string fits(254 - 4 - 1 - 4, 'n');
    const std::string tooLong = fits + "x";
    for (const std::string& name : {std::string("b"), fits, tooLong, std::string("after")})
        AddRecord(name.c_str());
    failFor = {L"b"};
    EXPECT_EQ(Lwo("/out"), 0);
    EXPECT_EQ(std::string(objects[0].lwoPath), "/out/b.lwo");
    EXPECT_EQ(std::string(objects[1].lwoPath), "/out/" + fits + ".lwo");
    EXPECT_EQ(objects[2].lwoPath[0], '\0');
    EXPECT_EQ(std::string(objects[3].lwoPath), "/out/after.lwo");
    ASSERT_EQ(calls.size(), 3u); // no command for the path that does not fit
    EXPECT_EQ(calls[2].name, L"after");
    EXPECT_EQ(Errors(), (Lines{"ZK_XSI_Baker - The LWO file could not be made for b: /out/b.lwo",
                               "ZK_XSI_Baker - The LWO file path of " + tooLong + " is too long: " +
                                   ("/out/" + tooLong + ".lwo").substr(0, 254)}));
}

TEST_F(MeshExportTest, EmdlThroughTheHostsExportModel) {
    auto owned = std::make_unique<host::Scene>();
    host::Item* box = owned->AddMesh(L"Box");
    box->GetMesh()->SetPoints({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    box->GetMesh()->AddPolygon({0, 1, 2});
    host::HostApp::Get().SetScene(std::move(owned));
    host::RegisterSceneCommands(host::HostApp::Get());
    AddRecord("Box");
    AddRecord("Nothing");
    EXPECT_EQ(ZK_EMDLExport(objects.data(), 2, &root[0]), 0);
    EXPECT_EQ(std::string(objects[0].emdlPath), root + "/Box.emdl");
    struct stat st;
    EXPECT_EQ(stat(objects[0].emdlPath, &st), 0);
    EXPECT_GT(st.st_size, 0);
    EXPECT_EQ(host::HostApp::Get().GetCommandsRun(),
              (std::vector<std::string>{"ExportModel", "ExportModel"}));
    const Lines errors = Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), "ZK_XSI_Baker - The EMDL file could not be made for Nothing: " + root +
                                 "/Nothing.emdl");
    EXPECT_EQ(objects[0].lwoPath[0], '\0');
}

} // namespace
