// The export run through the stand-in host with the plug-in linked in: the
// registration, the refusals, what each switch does, and what every way out
// (refused input, failed output, exception) leaves behind.
#include "command/ZKXSI_Baker.h"
#include "host/app/HostApp.h"
#include "host/import/AssimpScene.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"
#include "inspect/ZK_Inspect.h"

#include "HostLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using host::HostApp;
using Strings = std::vector<std::string>;

// clang-format off
enum Arg {
    ObjString, FilePath, StartFrame, EndFrame, ObjPreFix, MDDAct, LWOAct, LWOString, EMDLAct,
    EMDLString, LWSAct, LWSString, MELAct, MELString, FXSAct, FXSString, XSIAct, XSIString,
    MAXAct, MAXString, MOTAct, MOTSep, MOTString, CAMAct, LIGHTAct, NULLAct, OBJECTAct,
    LOCALSPACE, ArgCount
};
// clang-format on

ZK_MddFile Mdd(const fs::path& path) {
    ZK_MddFile mdd;
    std::string error;
    EXPECT_TRUE(ZK_ReadMdd(path.string(), &mdd, &error)) << error;
    return mdd;
}
ZK_ZscFile Zsc(const fs::path& path) {
    ZK_ZscFile zsc;
    std::string error;
    EXPECT_TRUE(ZK_ReadZsc(path.string(), &zsc, &error)) << error;
    return zsc;
}

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool ready = [] {
            HostApp& app = HostApp::Get();
            app.SetEchoLog(false);
            host::RegisterSceneCommands(app);
            EXPECT_EQ(app.LoadPlugin(ZK_LWO_COMPANION), XSI::CStatus::OK);
            auto linked = [](const std::string& name) -> void* {
                return name == "ZK_XSI_Baker_Init"      ? (void*)&ZK_XSI_Baker_Init
                       : name == "ZK_XSI_Baker_Execute" ? (void*)&ZK_XSI_Baker_Execute
                                                        : nullptr;
            };
            EXPECT_EQ(app.RegisterPlugin("ZK_XSI_Baker (linked)", &XSILoadPlugin, linked),
                      XSI::CStatus::OK);
            return true;
        }();
        (void)ready;
        Fresh();
    }
    void TearDown() override { HostApp::Get().Reset(); }

    // A fresh host, scene, scratch folder (with empty folders mdd, lwo, emdl
    // and motion) and arguments (frames 1 to 1).
    void Fresh() {
        HostApp::Get().Reset();
        scene = new host::Scene();
        HostApp::Get().SetScene(std::unique_ptr<host::Scene>(scene));
        fs::remove_all(dir);
        for (const char* folder : {"mdd", "lwo", "emdl", "motion"})
            fs::create_directories(dir / folder);
        args = XSI::CValueArray(ArgCount);
        Frames(1, 1);
    }
    // A triangle mesh with three points.
    host::Item* AddBox(const std::wstring& name = L"Box") {
        host::Item* box = scene->AddMesh(name);
        box->GetMesh()->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 1}});
        box->GetMesh()->AddPolygon({0, 1, 2});
        return box;
    }
    // "Box" in the list, cached into mdd/, and the ZSC file scene.zsc.
    host::Item* CachedBox() {
        host::Item* box = AddBox();
        Set(ObjString, "Box");
        On(MDDAct);
        Set(FilePath, dir / "mdd");
        Out(MAXAct, dir / "scene.zsc");
        return box;
    }

    // A number, or a text (string or path).
    template <class T> void Set(Arg a, const T& value) {
        if constexpr (std::is_same_v<T, int>) {
            args[a] = XSI::CValue(XSI::LONG(value));
        } else {
            XSI::CString text;
            text.PutAsciiString(fs::path(value).string().c_str());
            args[a] = XSI::CValue(text);
        }
    }
    void On(Arg a, bool on = true) { args[a] = XSI::CValue(on); }
    // A switch on, and the path in the argument after it.
    template <class T> void Out(Arg a, const T& path) {
        On(a);
        Set(Arg(a + 1), path);
    }
    void Frames(int start, int end) {
        Set(StartFrame, start);
        Set(EndFrame, end);
    }
    XSI::CStatus Run() {
        XSI::CValue ret;
        return HostApp::Get().ExecuteCommand(L"ZK_XSI_Baker", args, ret);
    }

    // The texts of the log, or of its errors only.
    Strings Log(bool errorsOnly = false) const { return zkt::LogTexts(errorsOnly); }
    int CommandsRun(const std::string& name) const {
        const Strings& run = HostApp::Get().GetCommandsRun();
        return static_cast<int>(std::count(run.begin(), run.end(), name));
    }
    bool Bar(int id) const { return HostApp::Get().GetProgressBar(id) != nullptr; }
    // Every file under the scratch folder, relative to it, sorted.
    Strings Files() const { return zkt::EntriesBelow(dir, true); }

    host::Scene* scene = nullptr;
    zkt::ScratchDir scratch;
    const fs::path dir = scratch.Path();
    XSI::CValueArray args;
};

TEST_F(DriverTest, RegistrationDeclaresTheCommandAndItsArgumentsInOrder) {
    const host::PluginCommand* cmd = HostApp::Get().FindPluginCommand(L"ZK_XSI_Baker");
    ASSERT_NE(cmd, nullptr);
    EXPECT_EQ(cmd->scriptName, L"ZK_XSI_Baker");
    EXPECT_TRUE(cmd->returnValueEnabled);
    std::string names;
    for (const auto& argument : cmd->arguments) {
        names += std::string(argument.GetName().GetAsciiString()) + " ";
        EXPECT_TRUE(argument.GetValue().IsEmpty()) << names;
    }
    EXPECT_EQ(names, "ZK_ObjString ZK_FilePath ZK_StartFrame ZK_EndFrame ZK_ObjPreFix ZK_MDDAct "
                     "ZK_LWOAct ZK_LWOString ZK_EMDLAct ZK_EMDLString ZK_LWSAct ZK_LWSString "
                     "ZK_MELAct ZK_MELString ZK_FXSAct ZK_FXSString ZK_XSIAct ZK_XSIString "
                     "ZK_MAXAct ZK_MAXString ZK_MOTAct ZK_MOTSep ZK_MOTString ZK_CAMAct "
                     "ZK_LIGHTAct ZK_NULLAct ZK_OBJECTAct ZK_LOCALSPACE ");
    EXPECT_EQ(cmd->plugin->name, L"ZK_XSI_Baker Plug-in");
    EXPECT_EQ(cmd->plugin->major, 1);
    EXPECT_EQ(cmd->plugin->minor, 5);
}

// Each refusal logs one error, returns 0x80070057 and ends the run before
// anything is resolved, sampled, shown or written; values that just fit pass.
TEST_F(DriverTest, RefusalsEndTheRunBeforeAnythingHappens) {
    const std::string name(255, 'n'), prefix(255, 'p');
    const std::string longPath = (dir / std::string(255, 'l')).string();
    const std::string file = (dir / "plain.txt").string();
    struct Case {
        std::function<void()> setup;
        std::string message;
    };
    const Case cases[] = {
        {[&] { Frames(5, 4); }, "the end frame is before the start frame: 5 to 4"},
        {[&] { Set(ObjString, "Box," + name + ",Box"); }, "the object name is too long: " + name},
        {[&] { Out(LWSAct, longPath); }, "the LWS path is too long: " + longPath},
        {[&] { Set(ObjPreFix, prefix); }, "the MDD prefix is too long: " + prefix},
        {[&] { Out(XSIAct, file); }, "the XSI folder is invalid: " + file},
        // Two failing rows: only the first is reported.
        {[&] { Out(LWOAct, file), Out(FXSAct, dir / "lwo"); },
         "the LWO folder is invalid: " + file},
        // The motion folder is checked with ZK_MOTSep alone.
        {[&] { On(MOTSep), Set(MOTString, file); }, "the MOT folder is invalid: " + file},
        // An output switched on needs a path: an empty one, or none at all,
        // is refused rather than written at the root or the current folder.
        {[&] { Set(FilePath, ""); }, "ZK_MDDAct is on but ZK_FilePath is empty"},
        {[&] { args[FilePath] = XSI::CValue(); }, "ZK_MDDAct is on but ZK_FilePath is empty"},
        {[&] { Out(LWOAct, ""); }, "ZK_LWOAct is on but ZK_LWOString is empty"},
        {[&] { Out(EMDLAct, ""); }, "ZK_EMDLAct is on but ZK_EMDLString is empty"},
        {[&] { Out(LWSAct, ""); }, "ZK_LWSAct is on but ZK_LWSString is empty"},
        {[&] { Out(MELAct, ""); }, "ZK_MELAct is on but ZK_MELString is empty"},
        {[&] { Out(FXSAct, ""); }, "ZK_FXSAct is on but ZK_FXSString is empty"},
        {[&] { Set(MAXString, ""); }, "ZK_MAXAct is on but ZK_MAXString is empty"},
        {[&] { On(MOTAct), On(MOTSep); }, "ZK_MOTSep is on but ZK_MOTString is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 40));
        Fresh();
        std::ofstream(file) << "x";
        CachedBox();
        c.setup();
        EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
        EXPECT_EQ(Log(true), Strings{"ZK_XSI_Baker - " + c.message});
        EXPECT_EQ(Log().size(), 1u);
        EXPECT_EQ(HostApp::Get().GetCommandsRun(), Strings{"ZK_XSI_Baker"});
        EXPECT_FALSE(Bar(0));
        EXPECT_EQ(Files(), Strings{"plain.txt"});
        EXPECT_FALSE(fs::exists("/Box.mdd"));
    }

    // A name and a path of 254 characters fit: the name selects nothing and
    // becomes a null, the folder does not exist.
    Fresh();
    Set(ObjString, std::string(254, 'n'));
    Out(XSIAct, longPath.substr(0, 254));
    EXPECT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_TRUE(Log(true).empty());
    EXPECT_EQ(CommandsRun("SelectObj"), 2);

    // The XSI folder is only checked, never written to: empty, it passes.
    Out(XSIAct, "");
    EXPECT_EQ(Run(), XSI::CStatus::OK);
}

TEST_F(DriverTest, ObjectListIsSplitAtEveryCommaWithoutTrimming) {
    CachedBox();
    AddBox(L"A");
    AddBox(L"B");
    On(MOTAct);
    On(NULLAct);
    // "A", "", "B", " A": the empty name and the name with its blank select
    // nothing and become nulls.
    Set(ObjString, "A,,B, A");
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(Files(), (Strings{"mdd/A.mdd", "mdd/B.mdd", "scene.zsc"}));
    EXPECT_EQ(Zsc(dir / "scene.zsc").itemCount, 4); // two nulls, two MDD objects
    EXPECT_EQ(CommandsRun("SelectObj"), 8);         // each name counted, then sampled

    // An empty list is one empty name.
    HostApp::Get().ClearCommandsRun();
    Set(ObjString, "");
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(CommandsRun("SelectObj"), 2);
    EXPECT_EQ(Zsc(dir / "scene.zsc").itemCount, 1);
}

TEST_F(DriverTest, OneFrameRangeAndTheScenesFrameRate) {
    CachedBox();
    HostApp::Get().SetFrameRate(24.0);
    Set(ObjPreFix, "take2_");
    Frames(7, 7);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    const ZK_ZscFile zsc = Zsc(dir / "scene.zsc");
    EXPECT_EQ(zsc.frameCount, 1);
    EXPECT_EQ(zsc.startFrame, 7);
    EXPECT_EQ(zsc.endFrame, 7);
    EXPECT_EQ(zsc.frameRate, 24.0f);
    const ZK_MddFile mdd = Mdd(dir / "mdd" / "take2_Box.mdd");
    EXPECT_EQ(mdd.frameCount, 1);
    EXPECT_TRUE(mdd.complete);
    EXPECT_EQ(mdd.times, std::vector<float>{7.0f / 24.0f});
}

TEST_F(DriverTest, MotionSwitchesTakeEffectOnlyWithZK_MOTAct) {
    scene->AddCamera(L"Cam");
    Set(ObjString, "Cam");
    Out(MAXAct, dir / "scene.zsc");
    On(CAMAct);
    On(MOTSep);
    const fs::path motion = dir / "motion";
    Set(MOTString, motion);

    // Without ZK_MOTAct: no camera record and no motion file.
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(Zsc(dir / "scene.zsc").itemCount, 0);
    EXPECT_TRUE(fs::is_empty(motion));

    // With it, the camera's motion files are written, or, without
    // ZK_MOTSep, its samples go into the scene file.
    On(MOTAct);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_FALSE(fs::is_empty(motion));
    On(MOTSep, false);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(Zsc(dir / "scene.zsc").itemCount, 1);
}

// With every switch off the names are still resolved and sampled; the MDD
// folder and prefix are not used (they would be refused if checked).
TEST_F(DriverTest, AllSwitchesOffStillResolvesSamplesAndShowsTheBar) {
    AddBox();
    scene->AddCamera(L"Cam");
    Set(ObjString, "Box,Cam");
    Frames(1, 10);
    std::ofstream(dir / "plain.txt") << "x";
    Set(FilePath, dir / "plain.txt");
    Set(ObjPreFix, std::string(300, 'p'));
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(CommandsRun("SelectObj"), 4);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(Files(), Strings{"plain.txt"});
    ASSERT_TRUE(Bar(0));
    EXPECT_FALSE(Bar(1));
    const host::ProgressState* bar = HostApp::Get().GetProgressBar(0);
    EXPECT_EQ(bar->caption, L"Zelkin Export Processing....");
    EXPECT_EQ(bar->maximum, 10);
    EXPECT_EQ(bar->step, 1);
    EXPECT_TRUE(bar->visible);
    // Increments of 1, 50, 50, 50, 50; the last status shows the value
    // before the last increment.
    EXPECT_EQ(bar->increments, 5);
    EXPECT_EQ(bar->value, 201);
    EXPECT_EQ(bar->statusText, L"Percent 151");

    // The scene file alone: no MDD object record.
    Out(MAXAct, dir / "scene.zsc");
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(Zsc(dir / "scene.zsc").itemCount, 0);
}

TEST_F(DriverTest, MissingMddFolderPassesItsCheckAndFailsAtTheHeader) {
    CachedBox();
    Set(FilePath, dir / "missing");
    Out(EMDLAct, dir / "emdl");
    EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
    EXPECT_EQ(Log(true), Strings{"ZK_XSI_Baker - The MDD file cannot be created. Make sure the "
                                 "file name and prefix are valid: " +
                                 (dir / "missing" / "Box.mdd").string()});
    // The mesh export ran before; no scene file and no bar after.
    EXPECT_EQ(Files(), Strings{"emdl/Box.emdl"});
    EXPECT_FALSE(Bar(0));
}

// A cache that cannot be created ends the run before any frame: the caches
// created before it are removed, not left holding a header alone.
TEST_F(DriverTest, CacheThatCannotBeCreatedRemovesTheCachesBeforeIt) {
    CachedBox();
    AddBox(L"Ball");
    Set(ObjString, "Box,Ball");
    fs::create_directories(dir / "mdd" / "Ball.mdd");
    EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
    EXPECT_EQ(Log(true), Strings{"ZK_XSI_Baker - The MDD file cannot be created. Make sure the "
                                 "file name and prefix are valid: " +
                                 (dir / "mdd" / "Ball.mdd").string()});
    EXPECT_EQ(Files(), Strings{});
}

// Names read from a scene file are made host names before any output path
// is built from them: no separator or ".." reaches a file name, so every file
// stays in the folder it was asked into.
TEST_F(DriverTest, NamesFromASceneFileNeverLeaveTheOutputFolders) {
    struct Case {
        std::string fileName, hostName;
    };
    const Case cases[] = {
        {"../../escape", "______escape"},
        {"a\\b/c", "a_b_c"},
        {"..\\up", "___up"},
    };
    const fs::path obj = dir / "names.obj";
    {
        std::ofstream out(obj);
        int v = 0;
        for (const Case& c : cases) {
            out << "o " << c.fileName << "\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
            out << "f " << v + 1 << " " << v + 2 << " " << v + 3 << "\n";
            v += 3;
        }
    }
    host::LoadSceneFile(obj.string());
    std::string list;
    Strings expected{"names.obj", "scene.lws", "scene.zsc"};
    for (const Case& c : cases) {
        list += (list.empty() ? "" : ",") + c.hostName;
        for (const char* kind : {"emdl", "lwo", "mdd"})
            expected.push_back(std::string(kind) + "/" + c.hostName + "." + kind);
    }
    std::sort(expected.begin(), expected.end());
    Set(ObjString, list);
    On(MDDAct);
    Set(FilePath, dir / "mdd");
    Out(LWOAct, dir / "lwo");
    Out(EMDLAct, dir / "emdl");
    Out(LWSAct, dir / "scene.lws");
    Out(MAXAct, dir / "scene.zsc");
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(Files(), expected);
    EXPECT_FALSE(fs::exists(dir.parent_path() / "escape.mdd"));
}

// A walk cancelled from the bar stops the caches early; the scene files are
// still written, and the run then fails with one message saying how many
// frames the caches hold. A cancel after the last frame changes nothing.
TEST_F(DriverTest, CancelDuringTheCacheWalkWritesTheSceneFilesAndFails) {
    struct Case {
        long cancelAfter;
        int blocks;
        XSI::CStatus::Code status;
        Strings errors;
    };
    const Case cases[] = {
        {0, 1, XSI::CStatus::Fail, {"The bake was cancelled: the MDD caches hold 0 of 5 frames"}},
        {2, 3, XSI::CStatus::Fail, {"The bake was cancelled: the MDD caches hold 2 of 5 frames"}},
        {4, 5, XSI::CStatus::Fail, {"The bake was cancelled: the MDD caches hold 4 of 5 frames"}},
        {5, 6, XSI::CStatus::OK, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cancelAfter);
        Fresh();
        CachedBox();
        Frames(1, 5);
        HostApp::Get().SetCancelAfterIncrements(c.cancelAfter);
        EXPECT_EQ(Run(), c.status);
        Strings errors;
        for (const std::string& e : Log(true))
            errors.push_back(e.substr(std::string("ZK_XSI_Baker - ").size()));
        EXPECT_EQ(errors, c.errors);
        // The header for 5 frames, the lead block and the frames walked.
        const ZK_MddFile mdd = Mdd(dir / "mdd" / "Box.mdd");
        EXPECT_EQ(mdd.frameCount, 5);
        EXPECT_EQ(mdd.blockCount, c.blocks);
        EXPECT_EQ(Zsc(dir / "scene.zsc").frameCount, 5);
    }

    // With a failed output as well, each has its message.
    Fresh();
    CachedBox();
    Frames(1, 5);
    Out(LWSAct, dir / "no_lws" / "scene.lws");
    HostApp::Get().SetCancelAfterIncrements(1);
    EXPECT_EQ(Run(), XSI::CStatus::Fail);
    EXPECT_EQ(Log(true), (Strings{"ZK_XSI_Baker - The LWS file cannot be written: " +
                                      (dir / "no_lws" / "scene.lws").string(),
                                  "ZK_XSI_Baker - The bake was cancelled: the MDD caches hold 1 "
                                  "of 5 frames"}));
}

// The walk's status text shows the first frame, then the bar's value, as
// 32-bit numbers: nothing past 32,767 turns negative.
TEST_F(DriverTest, CacheWalkStatusShowsLargeFrameNumbers) {
    struct Case {
        int first, last;
        std::wstring status;
    };
    const Case cases[] = {
        {32767, 32767, L"Frame 32767"},
        {32768, 32768, L"Frame 32768"},
        {40000, 40000, L"Frame 40000"},
        {-40000, -40000, L"Frame -40000"},
        {2000000000, 2000000000, L"Frame 2000000000"},
        {1, 32770, L"Frame 32769"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        Fresh();
        CachedBox();
        On(MAXAct, false);
        Frames(c.first, c.last);
        ASSERT_EQ(Run(), XSI::CStatus::OK);
        ASSERT_TRUE(Bar(0));
        EXPECT_EQ(HostApp::Get().GetProgressBar(0)->caption, L"Zelkin Mesh Processing....");
        EXPECT_EQ(HostApp::Get().GetProgressBar(0)->statusText, c.status);
    }
}

// An output that could not be made (a mesh export that does not return OK,
// a cache stream that cannot be written, a writer's file) logs one message
// each in the host log, and the run fails after every other output is
// written.
TEST_F(DriverTest, OutputsThatCannotBeMadeFailTheRunAfterTheOthersAreWritten) {
    CachedBox();
    fs::create_symlink("/dev/full", dir / "mdd" / "Box.mdd");
    Out(EMDLAct, dir / "no_emdl"); // a missing folder passes its check
    Out(FXSAct, dir / "no_fxs" / "scene.fxs");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(), XSI::CStatus::Fail);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    Strings ours;
    for (const std::string& e : Log(true))
        if (e.rfind("ZK_XSI_Baker - ", 0) == 0)
            ours.push_back(e);
    ASSERT_EQ(ours.size(), 3u);
    EXPECT_NE(ours[0].find("EMDL"), std::string::npos) << ours[0];
    EXPECT_NE(ours[1].find((dir / "no_fxs" / "scene.fxs").string()), std::string::npos) << ours[1];
    EXPECT_NE(ours[2].find("Box.mdd"), std::string::npos) << ours[2];
    EXPECT_EQ(Zsc(dir / "scene.zsc").itemCount, 1);
}

TEST_F(DriverTest, HostExceptionLeavesThroughTheCleanUp) {
    host::Item* box = CachedBox();
    box->Translation().SetFunction([](double frame) -> host::Vec3 {
        if (frame >= 3 && frame < 1e6)
            throw std::runtime_error("evaluation failed");
        return {};
    });
    On(MAXAct, false);
    Frames(1, 5);

    // The host reports an exception out of a command as a failure; the
    // plug-in's own entry lets it through after its clean-up.
    host::CommandContext context;
    context.command =
        const_cast<host::PluginCommand*>(HostApp::Get().FindPluginCommand(L"ZK_XSI_Baker"));
    context.attributes.emplace_back(L"Arguments", XSI::CValue(args));
    XSI::CRef ref = XSI::CRef::FromHost(XSI::siContextID, &context);
    EXPECT_THROW(ZK_XSI_Baker_Execute(ref), std::runtime_error);
    // The stream was closed on the way out: the lead block and frames 1 and
    // 2 reached the file. The next run starts afresh.
    EXPECT_EQ(Mdd(dir / "mdd" / "Box.mdd").blockCount, 3);
    box->Translation().Set({});
    EXPECT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_TRUE(Mdd(dir / "mdd" / "Box.mdd").complete);
}

} // namespace
