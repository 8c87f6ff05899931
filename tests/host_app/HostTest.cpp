// The stand-in host inside this process: the value types, the log, progress
// bars with their drawing and cancel, host commands, and plug-ins (the Echo
// test plug-in loaded from its folder, and plug-ins made of this test's own
// functions whose entries are missing or fail).
#include "host/app/HostApp.h"
#include "host/ui/Clock.h"
#include "host/ui/Terminal.h"

#include <xsi_application.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_pluginregistrar.h>
#include <xsi_time.h>

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <csignal>
#include <stdexcept>

using host::HostApp;
using host::PluginCommandFn;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using namespace XSI;

namespace {

std::string Text(const CValue& v) {
    return v.GetAsText().GetAsciiString();
}

ProgressBar NewBar() {
    return Application().GetUIToolkit().GetProgressBar();
}

CStatus Execute(const wchar_t* command, const CValueArray& args, CValue* ret = nullptr) {
    CValue ignored;
    return Application().ExecuteCommand(command, args, ret ? *ret : ignored);
}

// A fresh host with the Echo plug-in loaded (once per process); the log is
// kept but not written unless a test asks for it.
class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HostApp& app = HostApp::Get();
        app.Reset();
        app.SetEchoLog(false);
        host::ui::ForceTerminal(false);
        static const int loaded = app.LoadPlugins(TEST_PLUGIN_DIR);
        ASSERT_EQ(loaded, 1); // NotAPlugin.so is passed over
    }
    void TearDown() override {
        HostApp::Get().Reset();
        host::ui::SetClockStep(-1.0);
        host::ui::DescribeBars({});
    }
};

} // namespace

TEST_F(HostTest, TextKeepsTheLowEightBitsAndAppendsItself) {
    // 0xE9 stays, U+0141 becomes 0x41; each byte put is one character, not
    // sign-extended.
    EXPECT_EQ(std::string(CString(L"A\u00e9\u0141").GetAsciiString()), "A\xe9\x41");
    CString t;
    t.PutAsciiString("x\xe9\xff");
    EXPECT_EQ(t, CString(L"x\u00e9\u00ff"));
    EXPECT_EQ(std::string(t.GetAsciiString()), "x\xe9\xff");
    t.PutAsciiString(nullptr);
    EXPECT_STREQ(t.GetWideString(), L"");
    CString a(L"ab");
    a += a;
    EXPECT_EQ(a + L"c", CString(L"ababc"));
}

TEST_F(HostTest, EmptyValueIsFalseZeroAndEmptyText) {
    CValue v;
    EXPECT_TRUE(v.IsEmpty());
    EXPECT_FALSE(static_cast<bool>(v));
    EXPECT_EQ(static_cast<LONG>(v), 0);
    EXPECT_EQ(static_cast<short>(v), 0);
    EXPECT_EQ(static_cast<double>(v), 0.0);
    EXPECT_EQ(static_cast<float>(v), 0.0f);
    EXPECT_EQ(Text(v), "");
    EXPECT_FALSE(static_cast<CRef>(v).IsValid());
    EXPECT_EQ(static_cast<CValueArray>(v).GetCount(), 0);
}

TEST_F(HostTest, TextReadsALeadingDecimalNumberOrTrue) {
    const struct {
        const wchar_t* text;
        double number;
        LONG integer; // towards zero, clamped
        bool flag;
    } cases[] = {{L"12abc", 12, 12, true},
                 {L"  -3.5e2x", -350, -350, true},
                 {L".5", 0.5, 0, true},
                 {L"+7.", 7, 7, true},
                 {L"1e", 1, 1, true},
                 {L"0x10", 0, 0, false},
                 {L"inf", 0, 0, false},
                 {L"-", 0, 0, false},
                 {L"1e400", HUGE_VAL, INT_MAX, true},
                 {L"99999999999", 99999999999.0, INT_MAX, true},
                 {L" TRUE ", 0, 0, true},
                 {L"truest", 0, 0, false},
                 {L"false", 0, 0, false}};
    for (const auto& c : cases) {
        const CValue v(c.text);
        EXPECT_EQ(static_cast<double>(v), c.number) << Text(v);
        EXPECT_EQ(static_cast<LONG>(v), c.integer) << Text(v);
        EXPECT_EQ(static_cast<bool>(v), c.flag) << Text(v);
    }
    // Numbers between types neither overflow nor round away from zero.
    EXPECT_EQ(static_cast<short>(CValue(L"-1e10")), SHRT_MIN);
    EXPECT_EQ(static_cast<short>(CValue(static_cast<LONG>(40000))), SHRT_MAX);
    EXPECT_TRUE(std::isinf(static_cast<float>(CValue(1e300))));
    EXPECT_EQ(static_cast<LONG>(CValue(std::nan(""))), 0);
    EXPECT_EQ(static_cast<LONG>(CValue(-2.9f)), -2);
}

TEST_F(HostTest, ValuesAsTextInEveryLocale) {
    const struct {
        CValue value;
        const char* text;
    } cases[] = {{CValue(true), "true"},
                 {CValue(static_cast<short>(-12)), "-12"},
                 {CValue(static_cast<LONG>(INT_MIN)), "-2147483648"},
                 {CValue(0.1f), "0.1"},
                 {CValue(30.0), "30"},
                 {CValue(-0.25), "-0.25"}};
    auto check = [&cases](const char* where) {
        for (const auto& c : cases) {
            EXPECT_EQ(Text(c.value), c.text) << where;
        }
        EXPECT_EQ(static_cast<double>(CValue(L"2,5")), 2.0) << where;
        const double d = 0.1 + 0.2; // its text reads back as the same number
        EXPECT_EQ(static_cast<double>(CValue(CValue(d).GetAsText())), d) << where;
    };
    check("C locale");
    const std::string old = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8")) {
        GTEST_SKIP() << "no comma-decimal locale on this machine";
    }
    check("comma locale");
    std::setlocale(LC_ALL, old.c_str());
}

TEST_F(HostTest, ArraysAreDeepCopiesAndSurviveSelfAssignment) {
    CValueArray items;
    items.Add(CValue(static_cast<LONG>(1)));
    items.Add(CValue(L"two"));
    CValue copy(items);
    items.Add(CValue(3.5));
    EXPECT_EQ(Text(copy), "1,two");
    // The value given an element of its own array, then itself.
    items[0] = copy;
    copy = CValue(items);
    copy = static_cast<CValueArray>(copy)[0];
    EXPECT_EQ(Text(copy), "1,two");
    copy = copy;
    EXPECT_EQ(Text(copy), "1,two");
}

TEST_F(HostTest, DefaultTimeIsTheCurrentFrameAtTheHostsRate) {
    EXPECT_EQ(CTime().GetFrameRate(), 30.0);
    HostApp::Get().SetFrameRate(24.0);
    HostApp::Get().SetCurrentFrame(12.0);
    EXPECT_EQ(CTime().GetTime(), 12.0);
    EXPECT_EQ(CTime(3.0).GetFrameRate(), 24.0);
    EXPECT_EQ(HostApp::Get().ResolveTime(kDefaultTime), 12.0);
    EXPECT_EQ(HostApp::Get().ResolveTime(5.0), 5.0);
}

TEST_F(HostTest, LogLinesArePrefixedByTheirSeverityAndKeptAsGiven) {
    HostApp::Get().SetEchoLog(true);
    CaptureStderr();
    Application().LogMessage(L"broken", siErrorMsg);
    Application().LogMessage(L"fatal", siFatalMsg);
    Application().LogMessage(L"careful", siWarningMsg);
    Application().LogMessage(L"two\nlines", siVerboseMsg);
    EXPECT_EQ(GetCapturedStderr(),
              "ERROR: broken\nERROR: fatal\nWARNING: careful\nINFO: two lines\n");
    ASSERT_EQ(HostApp::Get().GetLog().size(), 4u);
    EXPECT_EQ(HostApp::Get().GetLog()[1].severity, siFatalMsg);
    EXPECT_EQ(HostApp::Get().GetLog()[3].text, "two\nlines");
}

TEST_F(HostTest, EachProgressBarIsNewAtZeroAndIncrementReturnsTheNewValue) {
    ProgressBar bar = NewBar();
    EXPECT_EQ(bar.GetValue(), 0);
    EXPECT_EQ(bar.PutMaximum(10), CStatus::OK);
    EXPECT_EQ(bar.PutStep(5), CStatus::OK);
    EXPECT_EQ(bar.Increment(), 1); // the step given, 1 by default
    EXPECT_EQ(bar.Increment(3), 4);
    EXPECT_EQ(bar.GetValue(), 4);
    ProgressBar second = NewBar();
    EXPECT_EQ(second.GetValue(), 0);
    EXPECT_EQ(second.GetMaximum(), 100);
    EXPECT_EQ(bar.GetValue(), 4); // the first is unchanged
    ProgressBar none;             // names no bar: harmless
    EXPECT_EQ(none.PutValue(3), CStatus::Fail);
    EXPECT_EQ(none.Increment(), 0);
    EXPECT_FALSE(none.IsCancelPressed());
}

TEST_F(HostTest, CancelAfterKIncrementsAndOnSigint) {
    HostApp::Get().SetCancelAfterIncrements(3);
    ProgressBar bar = NewBar();
    int done = 0;
    for (; !bar.IsCancelPressed() && done < 10; ++done) {
        bar.Increment();
    }
    EXPECT_EQ(done, 3);
    EXPECT_FALSE(NewBar().IsCancelPressed()); // counted per bar
    bar.PutCancelEnabled(false);              // no cancel button: never cancelled
    EXPECT_FALSE(bar.IsCancelPressed());

    HostApp::Get().Reset();
    host::ui::InstallInterruptHandler(true);
    bar = NewBar();
    EXPECT_FALSE(bar.IsCancelPressed());
    std::raise(SIGINT);
    EXPECT_TRUE(bar.IsCancelPressed());
    EXPECT_TRUE(NewBar().IsCancelPressed());
    HostApp::Get().ResetCancel();
    EXPECT_FALSE(bar.IsCancelPressed());
    std::signal(SIGINT, SIG_DFL);
    // A second SIGINT ends the process.
    EXPECT_EXIT(
        {
            host::ui::InstallInterruptHandler(true);
            std::raise(SIGINT);
            std::raise(SIGINT);
            std::exit(0);
        },
        testing::KilledBySignal(SIGINT), "");
}

// Twenty steps of a bar, each with its status text set first, on a clock
// that moves 30 ms at each change of the bar: the bar runs 1.29 s from its
// first change (the maximum) to its end, with a log line in between.
void TwentyStepsWithALogLine(ProgressBar& bar) {
    host::ui::SetClockStep(0.03);
    bar.PutMaximum(20);
    bar.PutCaption(L"Baking");
    bar.PutVisible(true);
    for (int i = 0; i < 20; ++i) {
        bar.PutStatusText(CString(L"frame ") + CValue(static_cast<LONG>(i)).GetAsText());
        bar.Increment();
        if (i == 9) {
            Application().LogMessage(L"between");
        }
    }
    host::ui::FinishProgress();
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

TEST_F(HostTest, OnATerminalTheBarIsRedrawnInPlaceAtMostTenTimesASecond) {
    HostApp::Get().SetEchoLog(true);
    host::ui::ForceTerminal(true, 100, true);
    ProgressBar bar = NewBar();
    CaptureStderr();
    TwentyStepsWithALogLine(bar);
    const std::string err = GetCapturedStderr();
    const std::string end = "\rBaking: 20 of 20 (100%) in 1.29 s, 15.5/s\033[K\n";
    ASSERT_GE(err.size(), end.size()) << err;
    EXPECT_EQ(err.substr(err.size() - end.size()), end) << err;
    // The log line is written over the bar, which is then drawn again.
    const size_t log = err.find("\r\033[KINFO: between\n\rBaking - frame 9  [");
    ASSERT_NE(log, std::string::npos) << err;
    // Every other drawing overwrites the line in place: no line feed but
    // those of the log line and of the end.
    EXPECT_EQ(Occurrences(err, "\n"), 2u) << err;
    // 1.2 s of changes, drawn at most every 0.1 s (and once more for the log
    // line), each drawing one count: the status text, never "value / max".
    const size_t drawings = Occurrences(err, "\rBaking - frame");
    EXPECT_GE(drawings, 6u) << err;
    EXPECT_LE(drawings, 14u) << err;
    EXPECT_EQ(Occurrences(err, " / 20"), 0u) << err;
    // After a second: the rate and the time left.
    EXPECT_NE(err.find("/s  "), std::string::npos) << err;
    EXPECT_NE(err.find(" s left\033[K"), std::string::npos) << err;
    EXPECT_EQ(err.find("/s  ") > err.find("frame 13"), true) << err;
}

TEST_F(HostTest, OffATerminalEachBarLeavesOneLineWhenItEnds) {
    HostApp::Get().SetEchoLog(true);
    ProgressBar bar = NewBar();
    CaptureStderr();
    TwentyStepsWithALogLine(bar);
    EXPECT_EQ(GetCapturedStderr(), "INFO: between\nBaking: 20 of 20 (100%) in 1.29 s, 15.5/s\n");

    // Quiet: no bar at all.
    HostApp::Get().SetQuiet(true);
    bar = NewBar();
    CaptureStderr();
    TwentyStepsWithALogLine(bar);
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(HostTest, ABarEndsWhenHiddenOrWhenTheNextIsShownAndSaysWhatItMeans) {
    HostApp::Get().SetEchoLog(true);
    host::ui::DescribeBars({{L"Walking", "frames", 2e6, ""}});
    host::ui::SetClockStep(0.5);
    CaptureStderr();
    ProgressBar walk = NewBar(); // changes at 0, 0.5, 1.0, 1.5, 2.0
    walk.PutMaximum(8);
    walk.PutCaption(L"Walking");
    walk.PutVisible(true);
    walk.Increment();
    walk.Increment();
    ProgressBar write = NewBar(); // changes from 2.5, shown at 3.5: the walk ends there
    write.PutMaximum(8);
    write.PutCaption(L"Writing");
    write.PutVisible(true);
    write.Increment(50);          // not its step: the value does not count its work
    write.PutVisible(false);      // ends at 4.5, 2 s after its first change
    ProgressBar count = NewBar(); // changes from 5.0 to 8.0
    count.PutMaximum(8);
    count.PutCaption(L"Counting");
    count.PutVisible(true);
    count.Increment();
    count.Increment();
    HostApp::Get().RequestCancel();
    count.Increment(); // stops short of its maximum after a cancel
    count.PutVisible(false);
    ProgressBar after = NewBar(); // changes from 8.5 to 10.5, after the cancel
    after.PutMaximum(2);
    after.PutCaption(L"After");
    after.PutVisible(true);
    after.Increment();
    after.PutVisible(false);
    ProgressBar hidden = NewBar();
    hidden.PutCaption(L"Never shown");
    host::ui::FinishProgress(); // no bar is shown: nothing
    EXPECT_EQ(GetCapturedStderr(), "Walking: 2 of 8 frames (25%) in 3.50 s, 0.57 fps, 1.14 MB/s\n"
                                   "Writing: done in 2.00 s\n"
                                   "Counting: cancelled at 3 of 8 (37%) after 3.00 s\n"
                                   "After: 1 of 2 (50%) in 2.00 s, 0.50/s\n");
}

TEST_F(HostTest, HostCommandsRunByNameAndUnknownOrThrowingOnesFail) {
    HostApp& app = HostApp::Get();
    app.RegisterHostCommand(L"Twice", [](const CValueArray& args, CValue& ret) {
        ret = CValue(args[0].GetAsText() + args[0].GetAsText());
        return CStatus(CStatus::OK);
    });
    app.RegisterHostCommand(L"Throws", [](const CValueArray&, CValue&) -> CStatus {
        throw std::runtime_error("out of luck");
    });
    CValueArray args(1);
    args[0] = CValue(L"cube");
    CValue ret;
    EXPECT_EQ(Execute(L"Twice", args, &ret), CStatus::OK);
    EXPECT_EQ(Text(ret), "cubecube");
    EXPECT_EQ(Execute(L"NoSuchCommand", args), CStatus::Fail);
    // An exception out of a command is a failure, not the end of the host.
    EXPECT_EQ(Execute(L"Throws", args), CStatus::Fail);
    ASSERT_EQ(app.GetLog().size(), 2u);
    EXPECT_EQ(app.GetLog()[0].text, "Unknown command: NoSuchCommand");
    EXPECT_EQ(app.GetLog()[1].text, "Throws failed: out of luck");
    EXPECT_EQ(app.GetCommandsRun(), (std::vector<std::string>{"Twice", "NoSuchCommand", "Throws"}));
}

// The Echo command's arguments and status are seen through xsihost in
// XsihostTest; here what a caller inside the host meets.
TEST_F(HostTest, EchoLoadsOnceAndRefusesSurplusValues) {
    HostApp& app = HostApp::Get();
    app.LoadPlugins(TEST_PLUGIN_DIR); // already loaded: nothing new
    int echoes = 0;
    for (const auto& p : app.GetPlugins()) {
        echoes += p->name == L"Echo Plug-in" && p->author == L"Host tests" && p->minor == 7;
    }
    EXPECT_EQ(echoes, 1);
    EXPECT_EQ(app.LoadPlugin(std::string(TEST_PLUGIN_DIR) + "/NotAPlugin.so"),
              CStatus::InvalidArgument);
    EXPECT_EQ(app.LoadPlugin("/no/such/plugin.so"), CStatus::Fail);

    // More values than declared: refused with one error, the command not run.
    app.ClearLog();
    EXPECT_EQ(Execute(L"Echo", CValueArray(5)), CStatus::InvalidArgument);
    ASSERT_EQ(app.GetLog().size(), 1u);
    EXPECT_EQ(app.GetLog()[0].severity, siErrorMsg);
}

TEST_F(HostTest, FailedLoadsAndBrokenCommandsAreNotRegistered) {
    HostApp& app = HostApp::Get();
    auto lookup = [](const std::string& name) -> void* {
        PluginCommandFn fails = [](CRef&) { return CStatus(CStatus::Fail); };
        return name == "BadInit_Init" || name == "BadInit_Execute" || name == "Echo_Execute"
                   ? reinterpret_cast<void*>(fails)
                   : nullptr;
    };
    const size_t plugins = app.GetPlugins().size();
    auto failingLoad = [](PluginRegistrar& reg) {
        reg.RegisterCommand(L"NeverRegistered", L"NeverRegistered");
        return CStatus(CStatus::Fail);
    };
    EXPECT_EQ(app.RegisterPlugin("failing", failingLoad, lookup), CStatus::Fail);
    EXPECT_EQ(app.GetPlugins().size(), plugins);
    EXPECT_FALSE(app.HasCommand(L"NeverRegistered"));

    auto threeCommandsLoad = [](PluginRegistrar& reg) {
        reg.RegisterCommand(L"NoExecute", L"NoExecute");
        reg.RegisterCommand(L"BadInit", L"BadInit");
        reg.RegisterCommand(L"Echo", L"Echo"); // already registered by the Echo plug-in
        return CStatus(CStatus::OK);
    };
    EXPECT_EQ(app.RegisterPlugin("three", threeCommandsLoad, lookup), CStatus::OK);
    EXPECT_FALSE(app.HasCommand(L"NoExecute"));
    EXPECT_FALSE(app.HasCommand(L"BadInit"));
    EXPECT_EQ(app.GetLog().size(), 4u); // the failed load, and each command refused
    // The first registration of "Echo" stays in force.
    EXPECT_EQ(Execute(L"Echo", CValueArray()), CStatus::OK);
}

TEST_F(HostTest, HandlesOfTheWrongClassDoNothing) {
    int dummy = 0;
    CRef other = CRef::FromHost(siNullID, &dummy);
    EXPECT_FALSE(Context(other).GetSource().IsValid());
    EXPECT_TRUE(Context(other).GetAttribute(L"Arguments").IsEmpty());
    EXPECT_EQ(Command(other).EnableReturnValue(true), CStatus::Fail);
    EXPECT_EQ(Command(other).GetArguments().Add(L"x"), CStatus::Fail);
    EXPECT_EQ(PluginRegistrar(other).PutAuthor(L"x"), CStatus::Fail);
    EXPECT_FALSE(PluginRegistrar(other).RegisterCommand(L"X", L"X").IsValid());
}
