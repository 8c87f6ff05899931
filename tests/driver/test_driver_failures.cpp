// Ways out of the export run: inputs refused before anything is made,
// outputs that could not be made, and exceptions from the host.
#include "DriverTestSupport.h"

#include "writers/ZK_Output.h"

#include <stdexcept>
#include <unistd.h>

namespace zktest {
namespace {

class DriverRefusal : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        AddBox();
        Set(ObjString, "Box");
        On(MDDAct);
        Set(FilePath, Folder("mdd"));
        On(MAXAct);
        Set(MAXString, dir / "scene.zsc");
    }
    void ExpectRefused(const std::string& message) {
        EXPECT_EQ(Run(), XSI::CStatus::InvalidArgument);
        EXPECT_EQ(Errors(), std::vector<std::string>{message});
        EXPECT_EQ(Log().size(), 1u);
        // Nothing was resolved, sampled, shown or written.
        EXPECT_EQ(host::HostApp::Get().GetCommandsRun(), std::vector<std::string>{"ZK_XSI_Baker"});
        EXPECT_EQ(host::HostApp::Get().GetProgressBar(0), nullptr);
        EXPECT_TRUE(fs::is_empty(dir / "mdd"));
        EXPECT_FALSE(fs::exists(dir / "scene.zsc"));
    }
};

TEST_F(DriverRefusal, EndFrameBeforeStartFrame) {
    Frames(5, 4);
    ExpectRefused("ZK_XSI_Baker - the end frame is before the start frame: 5 to 4");
}

TEST_F(DriverRefusal, ObjectNameLongerThanItsSlot) {
    const std::string name(255, 'n');
    Set(ObjString, "Box," + name + ",Box");
    ExpectRefused("ZK_XSI_Baker - the object name is too long: " + name);
}

TEST_F(DriverRefusal, PathLongerThanItsBuffer) {
    On(LWSAct);
    const std::string path = (dir / std::string(255, 'l')).string();
    Set(LWSString, path);
    ExpectRefused("ZK_XSI_Baker - the LWS path is too long: " + path);
}

TEST_F(DriverRefusal, PrefixLongerThanItsBuffer) {
    const std::string prefix(255, 'p');
    Set(ObjPreFix, prefix);
    ExpectRefused("ZK_XSI_Baker - the MDD prefix is too long: " + prefix);
}

TEST_F(DriverTest, NamesAndPathsThatJustFitAreAccepted) {
    // A 254-character name (it selects nothing and becomes a null) and a
    // 254-character folder that does not exist.
    Set(ObjString, std::string(254, 'n'));
    On(XSIAct);
    const std::string folder = (dir / "x").string();
    Set(XSIString, folder + std::string(254 - folder.size(), 'x'));
    EXPECT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(CommandsRun("SelectObj"), 2);
}

TEST_F(DriverTest, OutputsThatCannotBeMadeFailTheRunAfterTheOthersAreWritten) {
    AddBox();
    Set(ObjString, "Box");
    On(EMDLAct);
    Set(EMDLString, dir / "no_emdl"); // a missing folder passes its check
    On(FXSAct);
    Set(FXSString, dir / "no_fxs" / "scene.fxs");
    On(MDDAct);
    Set(FilePath, Folder("mdd"));
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");

    int outside = 0;
    static int* received = nullptr;
    received = &outside;
    const ZK_MessageSink previous = ZK_GetMessageSink();
    ZK_MessageSink mine = [](const char*) { ++*received; };
    ZK_SetMessageSink(mine);

    EXPECT_EQ(Run(), XSI::CStatus::Fail);

    // One message of the plug-in per output that could not be made, in the
    // host log; the writers' sink is given back after the run.
    std::vector<std::string> ours;
    for (const std::string& e : Errors())
        if (e.rfind("ZK_XSI_Baker - ", 0) == 0)
            ours.push_back(e);
    ASSERT_EQ(ours.size(), 2u);
    EXPECT_NE(ours[0].find("EMDL"), std::string::npos) << ours[0];
    EXPECT_NE(ours[1].find((dir / "no_fxs" / "scene.fxs").string()), std::string::npos) << ours[1];
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(ZK_GetMessageSink(), mine);
    ZK_SetMessageSink(previous);

    EXPECT_EQ(Files(), (std::vector<std::string>{"mdd/Box.mdd", "scene.zsc"}));
    EXPECT_EQ(ReadBytes(dir / "mdd" / "Box.mdd").size(), 12u + 72u);
}

TEST_F(DriverTest, CacheThatDoesNotReachItsFileFailsTheRun) {
    AddBox();
    Set(ObjString, "Box");
    On(MDDAct);
    const fs::path mdd = Folder("mdd");
    Set(FilePath, mdd);
    On(MAXAct);
    Set(MAXString, dir / "scene.zsc");
    fs::create_symlink("/dev/full", mdd / "Box.mdd");

    EXPECT_EQ(Run(), XSI::CStatus::Fail);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("ZK_XSI_Baker - "), std::string::npos);
    EXPECT_NE(Errors()[0].find("Box.mdd"), std::string::npos);
    EXPECT_EQ(ReadZscHeader(dir / "scene.zsc").itemCount, 1);
}

TEST_F(DriverTest, HostExceptionLeavesThroughTheCleanUp) {
    host::Item* box = AddBox();
    box->Translation().SetFunction([](double frame) -> host::Vec3 {
        if (frame >= 3 && frame < 1e6)
            throw std::runtime_error("evaluation failed");
        return {};
    });
    Set(ObjString, "Box");
    Frames(1, 5);
    On(MDDAct);
    Set(FilePath, Folder("mdd"));
    const ZK_MessageSink before = ZK_GetMessageSink();

    // The host reports an exception out of a command as a failure; the
    // plug-in's own entry lets it through after its clean-up.
    host::CommandContext context;
    context.command =
        const_cast<host::PluginCommand*>(host::HostApp::Get().FindPluginCommand(L"ZK_XSI_Baker"));
    context.attributes.emplace_back(L"Arguments", XSI::CValue(args));
    XSI::CRef ref = XSI::CRef::FromHost(XSI::siContextID, &context);
    EXPECT_THROW(ZK_XSI_Baker_Execute(ref), std::runtime_error);

    // The stream was closed on the way out: what was written reached the
    // file (header, lead block, frames 1 and 2).
    EXPECT_EQ(ReadBytes(dir / "mdd" / "Box.mdd").size(), 8u + 20u + 36u * 3u);
    EXPECT_EQ(ZK_GetMessageSink(), before);
    // The next run starts afresh.
    box->Translation().Set({});
    EXPECT_EQ(Run(), XSI::CStatus::OK);
    EXPECT_EQ(ReadBytes(dir / "mdd" / "Box.mdd").size(), 8u + 20u + 36u * 6u);
}

} // namespace
} // namespace zktest
