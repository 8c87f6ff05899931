// The export run through the host: arguments, path checks, the steps in
// their order, what each switch does, and what every way out leaves behind.
#include "DriverTestSupport.h"

#include "writers/ZK_Output.h"

#include <stdexcept>

namespace zktest {
namespace {

const char* const kNames[ArgCount] = {
    "ZK_ObjString", "ZK_FilePath",  "ZK_StartFrame", "ZK_EndFrame",  "ZK_ObjPreFix",
    "ZK_MDDAct",    "ZK_LWOAct",    "ZK_LWOString",  "ZK_EMDLAct",   "ZK_EMDLString",
    "ZK_LWSAct",    "ZK_LWSString", "ZK_MELAct",     "ZK_MELString", "ZK_FXSAct",
    "ZK_FXSString", "ZK_XSIAct",    "ZK_XSIString",  "ZK_MAXAct",    "ZK_MAXString",
    "ZK_MOTAct",    "ZK_MOTSep",    "ZK_MOTString",  "ZK_CAMAct",    "ZK_LIGHTAct",
    "ZK_NULLAct",   "ZK_OBJECTAct", "ZK_LOCALSPACE"};

TEST_F(DriverTest, RegistrationDeclaresTheCommandAndItsArgumentsInOrder) {
    const host::PluginCommand* cmd = host::HostApp::Get().FindPluginCommand(L"ZK_XSI_Baker");
    ASSERT_NE(cmd, nullptr);
    EXPECT_EQ(cmd->scriptName, L"ZK_XSI_Baker");
    EXPECT_TRUE(cmd->returnValueEnabled);
    ASSERT_EQ(cmd->arguments.size(), size_t(ArgCount));
    for (int i = 0; i < ArgCount; ++i) {
        EXPECT_STREQ(cmd->arguments[i].GetName().GetAsciiString(), kNames[i]) << i;
        EXPECT_TRUE(cmd->arguments[i].GetValue().IsEmpty()) << i;
    }
    EXPECT_EQ(cmd->plugin->name, L"ZK_XSI_Baker Plug-in");
    EXPECT_EQ(cmd->plugin->major, 1);
    EXPECT_EQ(cmd->plugin->minor, 5);
}

TEST_F(DriverTest, ObjectListIsSplitAtEveryCommaWithoutTrimming) {
    AddBox(L"A");
    AddBox(L"B");
    const fs::path mdd = Folder("mdd");
    On(MDDAct);
    Set(FilePath, mdd);
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    On(MOTAct);
    On(NULLAct);
    // "A", "", "B", " A": the empty name and the name with its blank select
    // nothing and become nulls.
    Set(ObjString, "A,,B, A");
    ASSERT_EQ(Run(), XSI::CStatus::OK);

    EXPECT_EQ(Files(), (std::vector<std::string>{"mdd/A.mdd", "mdd/B.mdd", "scene.zsc"}));
    // Two null records and two object (MDD) records.
    EXPECT_EQ(ReadZscHeader(dir / "scene.zsc").itemCount, 4);
    // Each name is resolved twice: counted, then sampled.
    EXPECT_EQ(CommandsRun("SelectObj"), 8);

    // An empty list is one empty name.
    host::HostApp::Get().ClearCommandsRun();
    Set(ObjString, "");
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(CommandsRun("SelectObj"), 2);
    EXPECT_EQ(ReadZscHeader(dir / "scene.zsc").itemCount, 1);
}

TEST_F(DriverTest, OneFrameRangeAndTheScenesFrameRate) {
    AddBox();
    host::HostApp::Get().SetFrameRate(24.0);
    On(MDDAct);
    Set(FilePath, Folder("mdd"));
    Set(ObjPreFix, "take2_");
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    Set(ObjString, "Box");
    Frames(7, 7);
    ASSERT_EQ(Run(), XSI::CStatus::OK);

    const ZscHeader zsc = ReadZscHeader(dir / "scene.zsc");
    EXPECT_EQ(zsc.frameCount, 1);
    EXPECT_EQ(zsc.startFrame, 7);
    EXPECT_EQ(zsc.endFrame, 7);
    EXPECT_EQ(zsc.frameRate, 24.0f);
    // F = 1: the header, one time, the lead block and one frame block.
    const std::vector<unsigned char> cache = ReadBytes(dir / "mdd" / "take2_Box.mdd");
    ASSERT_EQ(cache.size(), 12u + 24u * 3u);
    EXPECT_EQ(BigInt(cache, 0), 1);
    EXPECT_EQ(BigFloat(cache, 8), 7.0f / 24.0f);
}

TEST_F(DriverTest, RefusedXsiFolderEndsTheRunBeforeAnythingHappens) {
    AddBox();
    const fs::path file = dir / "plain.txt";
    std::ofstream(file) << "x";
    host::HostApp::Get().SetSelection({});
    On(XSIAct);
    Set(XSIString, file);
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    Set(ObjString, "Box");

    EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
    ASSERT_EQ(host::HostApp::Get().GetLog().size(), 1u);
    EXPECT_EQ(host::HostApp::Get().GetLog()[0].severity, XSI::siErrorMsg);
    EXPECT_EQ(Log()[0], "ZK_XSI_Baker - the XSI folder is invalid: " + file.string());
    EXPECT_EQ(host::HostApp::Get().GetCommandsRun(), std::vector<std::string>{"ZK_XSI_Baker"});
    EXPECT_TRUE(host::HostApp::Get().GetSelection().empty());
    EXPECT_EQ(BarCount(), 0);
    EXPECT_EQ(Files(), std::vector<std::string>{"plain.txt"});
}

TEST_F(DriverTest, OnlyTheFirstFailingRowIsReported) {
    std::ofstream(dir / "plain.txt") << "x";
    On(LWOAct);
    Set(LWOString, dir / "plain.txt");
    On(FXSAct);
    Set(FXSString, Folder("adir"));
    EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
    EXPECT_EQ(Log(), std::vector<std::string>{"ZK_XSI_Baker - the LWO folder is invalid: " +
                                              (dir / "plain.txt").string()});
}

TEST_F(DriverTest, MotionSwitchesTakeEffectOnlyWithZK_MOTAct) {
    scene->AddCamera(L"Cam");
    Set(ObjString, "Cam");
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    On(CAMAct);
    On(MOTSep);

    // The motion folder is checked with ZK_MOTSep alone.
    std::ofstream(dir / "plain.txt") << "x";
    Set(MOTString, dir / "plain.txt");
    EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
    EXPECT_EQ(Log(), std::vector<std::string>{"ZK_XSI_Baker - the MOT folder is invalid: " +
                                              (dir / "plain.txt").string()});
    fs::remove(dir / "plain.txt");

    // Without ZK_MOTAct: no camera samples (no camera record) and no motion
    // file.
    const fs::path motion = Folder("motion");
    Set(MOTString, motion);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(ReadZscHeader(dir / "scene.zsc").itemCount, 0);
    EXPECT_TRUE(fs::is_empty(motion));

    // With it, the camera is sampled: its motion files are written, or,
    // without ZK_MOTSep, its samples go into the scene file.
    On(MOTAct);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_FALSE(fs::is_empty(motion));
    args[MOTSep] = XSI::CValue(false);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(ReadZscHeader(dir / "scene.zsc").itemCount, 1);
}

TEST_F(DriverTest, BothMeshExportsRunAndTheSceneFilesReferToEmdl) {
    AddBox();
    Set(ObjString, "Box");
    On(LWOAct);
    Set(LWOString, Folder("lwo"));
    On(EMDLAct);
    Set(EMDLString, Folder("emdl"));
    On(MDDAct);
    Set(FilePath, Folder("mdd"));
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(Files(), (std::vector<std::string>{"emdl/Box.emdl", "lwo/Box.lwo", "mdd/Box.mdd",
                                                 "scene.zsc"}));

    // The MDD object record: kind, name, the EMDL path alone, meshFormat 1.
    const std::vector<unsigned char> zsc = ReadBytes(dir / "scene.zsc");
    const std::string emdl = (dir / "emdl" / "Box.emdl").string();
    ASSERT_EQ(LittleInt(zsc, 36), 1);
    ASSERT_EQ(LittleInt(zsc, 40), 3);
    ASSERT_EQ(LittleInt(zsc, 47), int32_t(emdl.size()));
    EXPECT_EQ(std::string(zsc.begin() + 51, zsc.begin() + 51 + emdl.size()), emdl);
    EXPECT_EQ(LittleInt(zsc, 51 + emdl.size()), 1);
}

TEST_F(DriverTest, WithMddOffItsFolderAndPrefixAreNotUsed) {
    AddBox();
    Set(ObjString, "Box");
    std::ofstream(dir / "plain.txt") << "x";
    Set(FilePath, dir / "plain.txt"); // would be refused if it were checked
    Set(ObjPreFix, std::string(300, 'p'));
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(Files(), (std::vector<std::string>{"plain.txt", "scene.zsc"}));
    EXPECT_EQ(ReadZscHeader(dir / "scene.zsc").itemCount, 0);
}

TEST_F(DriverTest, AllSwitchesOffStillResolvesSamplesAndShowsTheBar) {
    AddBox();
    scene->AddCamera(L"Cam");
    Set(ObjString, "Box,Cam");
    Frames(1, 10);
    ASSERT_EQ(Run(), XSI::CStatus::OK);

    EXPECT_EQ(CommandsRun("SelectObj"), 4);
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(Files().empty());
    ASSERT_EQ(BarCount(), 1);
    const host::ProgressState* bar = host::HostApp::Get().GetProgressBar(0);
    EXPECT_EQ(bar->caption, L"Zelkin Export Processing....");
    EXPECT_EQ(bar->maximum, 10);
    EXPECT_EQ(bar->step, 1);
    EXPECT_TRUE(bar->visible);
    // Increments of 1, 50, 50, 50, 50; the last status shows the value
    // before the last increment.
    EXPECT_EQ(bar->increments, 5);
    EXPECT_EQ(bar->value, 201);
    EXPECT_EQ(bar->statusText, L"Percent 151");
}

TEST_F(DriverTest, MissingMddFolderPassesItsCheckAndFailsAtTheHeader) {
    AddBox();
    Set(ObjString, "Box");
    On(EMDLAct);
    Set(EMDLString, Folder("emdl"));
    On(MDDAct);
    Set(FilePath, dir / "missing");
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
    EXPECT_EQ(Errors(), std::vector<std::string>{"ZK_XSI_Baker - The MDD file cannot be created. "
                                                 "Make sure the file name and prefix are valid: " +
                                                 (dir / "missing" / "Box.mdd").string()});
    // The mesh export ran before; no scene file and no bar after.
    EXPECT_EQ(Files(), std::vector<std::string>{"emdl/Box.emdl"});
    EXPECT_EQ(BarCount(), 0);
}

TEST_F(DriverTest, CancelDuringTheCacheWalkStillWritesTheSceneFiles) {
    AddBox();
    Set(ObjString, "Box");
    Frames(1, 5);
    On(MDDAct);
    Set(FilePath, Folder("mdd"));
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    host::HostApp::Get().SetCancelAfterIncrements(2);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    // Header (5 frames), the lead block and two frames.
    const std::vector<unsigned char> cache = ReadBytes(dir / "mdd" / "Box.mdd");
    EXPECT_EQ(cache.size(), 8u + 4u * 5u + 36u * 3u);
    EXPECT_EQ(BigInt(cache, 0), 5);
    EXPECT_EQ(ReadZscHeader(dir / "scene.zsc").frameCount, 5);
}

TEST_F(DriverTest, LocalSpaceSwitchChoosesThePointSpaceOfTheCache) {
    host::Item* box = AddBox();
    box->SetLocal({2, 2, 2}, {0, 0, 0}, {5, 0, 0});
    Set(ObjString, "Box");
    On(MDDAct);
    Set(FilePath, Folder("mdd"));
    const fs::path file = dir / "mdd" / "Box.mdd";
    const size_t lastPoint = 12 + 36 + 24; // point 2 of the frame block

    Set(LOCALSPACE, 1);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    std::vector<unsigned char> cache = ReadBytes(file);
    EXPECT_EQ(BigFloat(cache, lastPoint), 0.0f);
    EXPECT_EQ(BigFloat(cache, lastPoint + 4), 1.0f);
    EXPECT_EQ(BigFloat(cache, lastPoint + 8), -1.0f);

    Set(LOCALSPACE, 0);
    ASSERT_EQ(Run(), XSI::CStatus::OK);
    cache = ReadBytes(file);
    EXPECT_EQ(BigFloat(cache, lastPoint), 5.0f);
    EXPECT_EQ(BigFloat(cache, lastPoint + 4), 2.0f);
    EXPECT_EQ(BigFloat(cache, lastPoint + 8), -2.0f);
}

} // namespace
} // namespace zktest
