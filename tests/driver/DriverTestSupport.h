// What the driver tests share: a host with the scene commands, the LWO
// companion and the linked plug-in registered; a scene and a scratch folder
// per test; the command's 28 arguments by name; and readers for the files.
#pragma once

#include "command/ZKXSI_Baker.h"

#include "host/app/HostApp.h"
#include "host/scene/Scene.h"
#include "host/scene/SceneCommands.h"

#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace zktest {

namespace fs = std::filesystem;

// The command's arguments, by position.
// clang-format off
enum Arg {
    ObjString, FilePath, StartFrame, EndFrame, ObjPreFix, MDDAct, LWOAct, LWOString, EMDLAct,
    EMDLString, LWSAct, LWSString, MELAct, MELString, FXSAct, FXSString, XSIAct, XSIString,
    MAXAct, MAXString, MOTAct, MOTSep, MOTString, CAMAct, LIGHTAct, NULLAct, OBJECTAct,
    LOCALSPACE, ArgCount
};
// clang-format on

inline XSI::CString Text(const std::string& s) {
    XSI::CString text;
    text.PutAsciiString(s.c_str());
    return text;
}

inline void* LinkedEntry(const std::string& name) {
    if (name == "ZK_XSI_Baker_Init")
        return reinterpret_cast<void*>(&ZK_XSI_Baker_Init);
    if (name == "ZK_XSI_Baker_Execute")
        return reinterpret_cast<void*>(&ZK_XSI_Baker_Execute);
    return nullptr;
}

// Once per process: the host's scene commands, the LWO companion library and
// the plug-in linked into the test.
inline void PrepareHostOnce() {
    static const bool ready = [] {
        host::HostApp& app = host::HostApp::Get();
        app.SetEchoLog(false);
        host::RegisterSceneCommands(app);
        EXPECT_EQ(app.LoadPlugin(ZK_LWO_COMPANION), XSI::CStatus::OK);
        EXPECT_EQ(app.RegisterPlugin("ZK_XSI_Baker (linked)", &XSILoadPlugin, &LinkedEntry),
                  XSI::CStatus::OK);
        return true;
    }();
    (void)ready;
}

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PrepareHostOnce();
        host::HostApp::Get().Reset();
        scene = new host::Scene();
        host::HostApp::Get().SetScene(std::unique_ptr<host::Scene>(scene));
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("zk_driver_") + std::to_string(getpid()) +
                                           "_" + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        args = XSI::CValueArray(ArgCount);
        args[StartFrame] = XSI::CValue(XSI::LONG(1));
        args[EndFrame] = XSI::CValue(XSI::LONG(1));
    }
    void TearDown() override {
        host::HostApp::Get().Reset();
        fs::remove_all(dir);
    }

    // A triangle mesh "Box" with three points.
    host::Item* AddBox(const std::wstring& name = L"Box") {
        host::Item* box = scene->AddMesh(name);
        box->GetMesh()->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 1}});
        box->GetMesh()->AddPolygon({0, 1, 2});
        return box;
    }

    void Set(Arg a, const std::string& text) { args[a] = XSI::CValue(Text(text)); }
    void Set(Arg a, const fs::path& path) { Set(a, path.string()); }
    void Set(Arg a, const char* text) { Set(a, std::string(text)); }
    void Set(Arg a, int value) { args[a] = XSI::CValue(XSI::LONG(value)); }
    void On(Arg a) { args[a] = XSI::CValue(true); }
    void Frames(int start, int end) {
        Set(StartFrame, start);
        Set(EndFrame, end);
    }
    fs::path Folder(const std::string& name) {
        fs::create_directories(dir / name);
        return dir / name;
    }

    XSI::CStatus Run() {
        XSI::CValue ret;
        return host::HostApp::Get().ExecuteCommand(L"ZK_XSI_Baker", args, ret);
    }

    // The texts of the log, and of its errors only.
    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        for (const host::LogEntry& e : host::HostApp::Get().GetLog())
            lines.push_back(e.text);
        return lines;
    }
    std::vector<std::string> Errors() const {
        std::vector<std::string> lines;
        for (const host::LogEntry& e : host::HostApp::Get().GetLog())
            if (e.severity == XSI::siErrorMsg)
                lines.push_back(e.text);
        return lines;
    }
    int CommandsRun(const std::string& name) const {
        int n = 0;
        for (const std::string& c : host::HostApp::Get().GetCommandsRun())
            n += c == name;
        return n;
    }
    int BarCount() const {
        int n = 0;
        while (host::HostApp::Get().GetProgressBar(n) != nullptr)
            ++n;
        return n;
    }
    // Every file under the scratch folder, relative to it.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file())
                names.push_back(fs::relative(e.path(), dir).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    host::Scene* scene = nullptr;
    fs::path dir;
    XSI::CValueArray args;
};

inline std::vector<unsigned char> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline int32_t LittleInt(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<int32_t>(uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 |
                                uint32_t(b.at(at + 2)) << 16 | uint32_t(b.at(at + 3)) << 24);
}
inline float LittleFloat(const std::vector<unsigned char>& b, size_t at) {
    const int32_t bits = LittleInt(b, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
inline int32_t BigInt(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<int32_t>(uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 |
                                uint32_t(b.at(at + 2)) << 8 | uint32_t(b.at(at + 3)));
}
inline float BigFloat(const std::vector<unsigned char>& b, size_t at) {
    const int32_t bits = BigInt(b, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// The ZSC header fields that show what the run put into its control record.
struct ZscHeader {
    int32_t frameCount, startFrame, endFrame, itemCount;
    float frameRate;
};
inline ZscHeader ReadZscHeader(const fs::path& path) {
    const std::vector<unsigned char> b = ReadBytes(path);
    EXPECT_GE(b.size(), 36u) << path;
    if (b.size() < 36)
        return {};
    return {LittleInt(b, 8), LittleInt(b, 12), LittleInt(b, 16), LittleInt(b, 24),
            LittleFloat(b, 20)};
}

} // namespace zktest
