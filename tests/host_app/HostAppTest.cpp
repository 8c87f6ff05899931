// The application state behind the SDK: the log, progress bars and their
// drawing, cancel (after k increments and on SIGINT), and host commands.
#include "host/app/HostApp.h"
#include "host/ui/Terminal.h"

#include <xsi_application.h>
#include <xsi_progressbar.h>
#include <xsi_uitoolkit.h>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <string>

using host::HostApp;
using XSI::Application;
using XSI::CStatus;
using XSI::CValue;
using XSI::CValueArray;
using XSI::ProgressBar;

namespace {

class HostAppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HostApp::Get().Reset();
        HostApp::Get().SetEchoLog(true);
        host::ui::ForceTerminal(false);
    }
    void TearDown() override {
        HostApp::Get().Reset();
        HostApp::Get().SetEchoLog(false);
    }
};

} // namespace

TEST_F(HostAppTest, LogLinesArePrefixedByTheirSeverityAndKept) {
    Application app;
    testing::internal::CaptureStderr();
    app.LogMessage(L"broken", XSI::siErrorMsg);
    app.LogMessage(L"fatal", XSI::siFatalMsg);
    app.LogMessage(L"careful", XSI::siWarningMsg);
    app.LogMessage(L"note"); // info by default
    app.LogMessage(L"two\nlines", XSI::siVerboseMsg);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "ERROR: broken\nERROR: fatal\nWARNING: careful\nINFO: note\nINFO: two lines\n");

    const auto& log = HostApp::Get().GetLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].severity, XSI::siErrorMsg);
    EXPECT_EQ(log[0].text, "broken");
    EXPECT_EQ(log[4].text, "two\nlines"); // kept as given
}

TEST_F(HostAppTest, QuietHidesInformationButNeverWarningsOrErrors) {
    HostApp::Get().SetQuiet(true);
    Application app;
    testing::internal::CaptureStderr();
    app.LogMessage(L"note", XSI::siInfoMsg);
    app.LogMessage(L"careful", XSI::siWarningMsg);
    app.LogMessage(L"ZK_XSI_Baker - failed", XSI::siErrorMsg);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "WARNING: careful\nERROR: ZK_XSI_Baker - failed\n");
    EXPECT_EQ(HostApp::Get().GetLog().size(), 3u); // all kept for tests
}

TEST_F(HostAppTest, EachProgressBarIsNewAtZeroAndIncrementReturnsTheNewValue) {
    XSI::UIToolkit kit = Application().GetUIToolkit();
    ProgressBar bar = kit.GetProgressBar();
    EXPECT_EQ(bar.GetValue(), 0);
    EXPECT_EQ(bar.PutMaximum(10), CStatus::OK);
    EXPECT_EQ(bar.PutStep(5), CStatus::OK);
    EXPECT_EQ(bar.Increment(), 1); // the step given, 1 by default
    EXPECT_EQ(bar.Increment(3), 4);
    EXPECT_EQ(bar.GetValue(), 4);
    EXPECT_EQ(bar.GetMaximum(), 10);
    EXPECT_EQ(bar.GetStep(), 5);
    bar.PutCaption(L"Caption");
    bar.PutStatusText(L"Status");
    EXPECT_EQ(bar.GetCaption(), L"Caption");
    EXPECT_EQ(bar.GetStatusText(), L"Status");

    ProgressBar second = kit.GetProgressBar();
    EXPECT_EQ(second.GetValue(), 0);
    EXPECT_EQ(second.GetMaximum(), 100);
    EXPECT_EQ(bar.GetValue(), 4); // the first is unchanged

    ProgressBar none; // names no bar: harmless
    EXPECT_EQ(none.PutValue(3), CStatus::Fail);
    EXPECT_EQ(none.Increment(), 0);
    EXPECT_FALSE(none.IsCancelPressed());
}

TEST_F(HostAppTest, BarReportsCancelAfterKIncrements) {
    HostApp::Get().SetCancelAfterIncrements(3);
    ProgressBar bar = Application().GetUIToolkit().GetProgressBar();
    int done = 0;
    while (!bar.IsCancelPressed() && done < 10) {
        bar.Increment();
        ++done;
    }
    EXPECT_EQ(done, 3);
    // Counted per bar: a new bar starts afresh.
    ProgressBar next = Application().GetUIToolkit().GetProgressBar();
    EXPECT_FALSE(next.IsCancelPressed());
    // A bar whose cancel button is off never reports cancel.
    bar.PutCancelEnabled(false);
    EXPECT_FALSE(bar.IsCancelPressed());
}

TEST_F(HostAppTest, SigintSetsTheCancelFlag) {
    host::ui::InstallInterruptHandler(true);
    ProgressBar bar = Application().GetUIToolkit().GetProgressBar();
    EXPECT_FALSE(bar.IsCancelPressed());
    std::raise(SIGINT);
    EXPECT_TRUE(bar.IsCancelPressed());
    EXPECT_TRUE(Application().GetUIToolkit().GetProgressBar().IsCancelPressed());
    HostApp::Get().ResetCancel();
    EXPECT_FALSE(bar.IsCancelPressed());
    std::signal(SIGINT, SIG_DFL);
}

TEST(HostAppDeathTest, SecondSigintEndsTheProcess) {
    EXPECT_EXIT(
        {
            host::ui::InstallInterruptHandler(true);
            std::raise(SIGINT);
            std::raise(SIGINT);
            std::exit(0); // not reached
        },
        testing::KilledBySignal(SIGINT), "");
}

TEST_F(HostAppTest, WithoutTerminalEachCaptionIsOneLine) {
    ProgressBar bar = Application().GetUIToolkit().GetProgressBar();
    testing::internal::CaptureStderr();
    bar.PutCaption(L"Hidden"); // not visible yet
    bar.PutCaption(L"First");
    bar.PutVisible(true);
    bar.Increment();
    bar.PutStatusText(L"status");
    bar.PutCaption(L"Second");
    bar.Increment();
    bar.PutCaption(L"Second");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "First\nSecond\n");
}

TEST_F(HostAppTest, OnATerminalTheBarIsRedrawnInPlace) {
    host::ui::ForceTerminal(true);
    ProgressBar bar = Application().GetUIToolkit().GetProgressBar();
    testing::internal::CaptureStderr();
    bar.PutMaximum(2);
    bar.PutCaption(L"Baking");
    bar.PutStatusText(L"frame");
    bar.PutVisible(true);
    bar.Increment();
    bar.Increment();
    Application().LogMessage(L"between");
    host::ui::FinishProgress();
    std::string err = testing::internal::GetCapturedStderr();
    host::ui::ForceTerminal(false);
    const std::string line0 = "\rBaking - frame 0 / 2\033[K";
    const std::string line2 = "\rBaking - frame 2 / 2\033[K";
    EXPECT_EQ(err.find(line0), 0u) << err;
    EXPECT_NE(err.find(line2), std::string::npos) << err;
    // The log line is written over the bar, which is then drawn again.
    EXPECT_NE(err.find("\r\033[KINFO: between\n" + line2 + "\n"), std::string::npos) << err;
}

TEST_F(HostAppTest, QuietDrawsNoBar) {
    HostApp::Get().SetQuiet(true);
    ProgressBar bar = Application().GetUIToolkit().GetProgressBar();
    testing::internal::CaptureStderr();
    bar.PutCaption(L"Quiet");
    bar.PutVisible(true);
    bar.Increment();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(HostAppTest, HostCommandsRunByNameAndUnknownOnesFail) {
    HostApp& app = HostApp::Get();
    CValueArray seen;
    app.RegisterHostCommand(L"TestHostCommand", [&seen](const CValueArray& args, CValue& ret) {
        seen = args;
        ret = CValue(L"done");
        return CStatus(CStatus::OK);
    });
    CValueArray args;
    args.Add(CValue(L"cube"));
    CValue ret;
    EXPECT_EQ(Application().ExecuteCommand(L"TestHostCommand", args, ret), CStatus::OK);
    ASSERT_EQ(seen.GetCount(), 1);
    EXPECT_EQ(seen[0].GetAsText(), L"cube");
    EXPECT_EQ(ret.GetAsText(), L"done");

    app.SetEchoLog(false);
    EXPECT_EQ(Application().ExecuteCommand(L"NoSuchCommand", args, ret), CStatus::Fail);
    ASSERT_EQ(app.GetLog().size(), 1u);
    EXPECT_EQ(app.GetLog()[0].severity, XSI::siErrorMsg);
    EXPECT_NE(app.GetLog()[0].text.find("NoSuchCommand"), std::string::npos);

    // An exception out of a command is a failure, not the end of the host.
    app.RegisterHostCommand(L"Throws", [](const CValueArray&, CValue&) -> CStatus {
        throw std::runtime_error("out of luck");
    });
    EXPECT_EQ(Application().ExecuteCommand(L"Throws", args, ret), CStatus::Fail);
    ASSERT_EQ(app.GetLog().size(), 2u);
    EXPECT_EQ(app.GetLog()[1].text, "Throws failed: out of luck");

    // Every command asked for is listed, in order.
    ASSERT_EQ(app.GetCommandsRun().size(), 3u);
    EXPECT_EQ(app.GetCommandsRun()[0], "TestHostCommand");
    EXPECT_EQ(app.GetCommandsRun()[1], "NoSuchCommand");
}

TEST_F(HostAppTest, SelectionIsReadThroughTheApplication) {
    int a = 0;
    int b = 0;
    HostApp::Get().SetSelection(
        {XSI::CRef::FromHost(XSI::siNullID, &a), XSI::CRef::FromHost(XSI::siCameraID, &b)});
    XSI::Selection sel = Application().GetSelection();
    ASSERT_EQ(sel.GetCount(), 2);
    EXPECT_EQ(sel.GetItem(1).GetClassID(), XSI::siCameraID);
    EXPECT_FALSE(sel.GetItem(2).IsValid());
}
