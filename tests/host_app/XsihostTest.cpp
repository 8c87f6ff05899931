// xsihost as a program: the Echo test plug-in loaded with --plugins, its
// command run by name with positional and NAME=VALUE arguments mixed, each
// text made a value of the type its argument's default declares, the status
// as exit code, and errors of use.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using zkt::RunResult;
using zkt::RunXsihost;

const std::string kPlugins = TEST_PLUGIN_DIR;

} // namespace

TEST(XsihostTest, RunsAPluginCommandByNameWithMixedArgumentsAndItsStatusAsExitCode) {
    const struct {
        std::vector<std::string> args; // after "run --plugins DIR"
        int exitCode;
        const char* out;
        const char* err;
    } cases[] = {
        // Flag by name; positionals fill Text, then Count; Status keeps its
        // empty default. Off a terminal the bar leaves one line when it ends:
        // what it counted and the time from its first change to its end (the
        // clock moves 10 ms at each change: maximum, caption, shown, three
        // steps, hidden).
        {{"Echo", "Flag=true", "hello world", "3"},
         0,
         "steps 3\n",
         "INFO: Echo Text text [hello world]\nINFO: Echo Count int [3]\n"
         "INFO: Echo Flag bool [true]\nINFO: Echo Status empty []\n"
         "WARNING: Echo flag is set\nEchoing: 3 of 3 (100%) in 0.06 s\n"},
        // Integers that fit a LONG, "true" and "false"; all else is text.
        {{"Echo", "-7", "+2", "false"},
         0,
         "steps 2\n",
         "INFO: Echo Text int [-7]\nINFO: Echo Count int [2]\nINFO: Echo Flag bool [false]\n"
         "INFO: Echo Status empty []\nEchoing: 2 of 2 (100%) in 0.05 s\n"},
        // Text and Status declare empty defaults: a text that is not a LONG
        // stays text. Count's integer default makes it a whole number, Flag's
        // bool default a switch. A bar without a maximum counts nothing.
        {{"Echo", "Status=x=y", "2147483648", "+0", "OFF"},
         0,
         "steps 0\n",
         "INFO: Echo Text text [2147483648]\nINFO: Echo Count int [0]\n"
         "INFO: Echo Flag bool [false]\nINFO: Echo Status text [x=y]\n"
         "Echoing: done in 0.03 s\n"},
        // Quiet keeps only warnings and errors; Count keeps its default.
        {{"--quiet", "Echo", "Flag=1"}, 0, "steps 2\n", "WARNING: Echo flag is set\n"},
        {{"--quiet", "Echo", "Status=invalid"},
         1,
         "steps 2\n",
         "xsihost: Echo failed: status 0x80070057\n"},
        {{"--quiet", "Echo", "x", "0", "false", "unexpected"},
         1,
         "steps 0\n",
         "xsihost: Echo failed: status 0x8000FFFF\n"},
        // A host command that declares no names takes NAME=VALUE as a value.
        {{"--quiet", "--demo", "SelectObj", "Nope=1"},
         1,
         "",
         "WARNING: SelectObj: no object matches \"Nope=1\"\n"
         "xsihost: SelectObj failed: status 0x80070057\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"run", "--plugins", kPlugins};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = RunXsihost(args, {{"ZK_HOST_CLOCK_STEP_MS=10"}, {}, {}});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(XsihostTest, ASwitchTakesEveryOnOffWordInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"true", true}, {"TRUE", true}, {"1", true},      {"yes", true},    {"Yes", true},
        {"on", true},   {"On", true},   {"false", false}, {"False", false}, {"0", false},
        {"no", false},  {"NO", false},  {"off", false},   {"oFF", false},
    };
    for (const auto& [word, on] : cases) {
        const RunResult r = RunXsihost({"run", "--quiet", "--plugins", kPlugins, "Echo",
                                        std::string("Flag=") + word, "Count=0"});
        EXPECT_EQ(r.exitCode, 0) << word << r.err;
        EXPECT_EQ(r.err, on ? "WARNING: Echo flag is set\n" : "") << word;
    }
}

TEST(XsihostTest, ErrorsOfUseAreOneLineAndExitTwo) {
    const struct {
        std::vector<std::string> args;
        std::string err; // the whole line when given, else only "xsihost: " is checked
    } cases[] = {
        {{"list", "--scene", "/missing.gltf"},
         "cannot read scene file \"/missing.gltf\": No such file or directory"},
        {{"run", "--plugins", kPlugins, "Echo", "Nope=1"},
         "command \"Echo\" has no argument \"Nope\""},
        // A value that is not of its argument's kind, named with the argument.
        {{"run", "--plugins", kPlugins, "Echo", "Count=abc"},
         "argument \"Count\" of command \"Echo\" takes a whole number, not \"abc\""},
        {{"run", "--plugins", kPlugins, "Echo", "x", "1.5"},
         "argument \"Count\" of command \"Echo\" takes a whole number, not \"1.5\""},
        {{"run", "--plugins", kPlugins, "Echo", "Count=2147483648"}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "Count="}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "Count= 3"}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "Flag=maybe"},
         "argument \"Flag\" of command \"Echo\" takes a switch (true/false, 1/0, yes/no, "
         "on/off), not \"maybe\""},
        {{"run", "--plugins", kPlugins, "Echo", "Flag=2"}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "Flag="}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "Flag=y\nes"}, ""},
        {{"run", "--plugins", kPlugins, "--fps", "nan", "Echo"}, ""},
        {{"run", "--plugins", kPlugins, "--fps", "1e-300", "Echo"}, ""},
        {{"run", "--plugins", kPlugins, "--frame", "inf", "Echo"}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "text=a"}, ""}, // names are exact
        {{"run", "--plugins", kPlugins, "Echo", "Text=a", "Text=b"}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "a", "Text=b"}, ""},
        {{"run", "--plugins", kPlugins, "Echo", "Flag=1", "1", "2", "3", "4"}, ""},
        {{"run", "--demo", "NoSuchCommand"}, ""},
        {{"run", "--scene", "/missing.gltf", "Echo"}, ""},
        {{"run", "--plugins", "/no/such/folder", "Echo"}, ""},
        {{"run", "--fps", "0", "Echo"}, ""},
        {{"run", "--demo", "--scene", "x.gltf", "Echo"}, ""},
        {{"run"}, ""},
        {{"frobnicate"}, ""},
    };
    for (const auto& c : cases) {
        const RunResult r = RunXsihost(c.args);
        const std::string shown = c.args[0] + " ... " + c.args.back();
        EXPECT_EQ(r.exitCode, 2) << shown << r.err;
        EXPECT_EQ(r.err.rfind("xsihost: ", 0), 0u) << shown << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << r.err;
        EXPECT_TRUE(c.err.empty() || r.err == "xsihost: " + c.err + "\n") << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
}

// A baker that returns OK having written only a cache header: bake names
// that cache as incomplete and every other file as not written, lists
// nothing as done, removes the folders it left empty, and fails.
TEST(XsihostTest, BakeDoesNotTakeAnOkForABake) {
    const zkt::ScratchDir scratch;
    const std::string out = scratch / "out";
    const RunResult r =
        RunXsihost({"bake", "--quiet", "--demo", "--plugins", TEST_HOLLOW_PLUGIN_DIR, "--items",
                    "Rig.Cube", "--frames", "1:3", out});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    std::string expected = "xsihost: incomplete: " + out + "/mdd/Rig.Cube.mdd\n";
    for (const char* rel : {"emdl/Rig.Cube.emdl", "lwo/Rig.Cube.lwo", "scene.fxs", "scene.lws",
                            "scene.mel", "scene.zsc"}) {
        expected += "xsihost: not written: " + out + "/" + rel + "\n";
    }
    expected += "xsihost: ZK_XSI_Baker returned OK but 7 files are incomplete or missing\n";
    EXPECT_EQ(r.err, expected);
    struct stat st;
    EXPECT_EQ(stat((out + "/mdd/Rig.Cube.mdd").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 8 + 3 * 4); // the header the plug-in wrote, kept
    EXPECT_NE(stat((out + "/lwo").c_str(), &st), 0);
    EXPECT_NE(stat((out + "/emdl").c_str(), &st), 0);
}

// run --json: one document on stdout with the command's return value and
// status; the log and the bar's last line stay on stderr.
TEST(XsihostTest, RunJsonHoldsTheReturnValueAndStatus) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* out;
    } cases[] = {
        {{"Echo", "x", "3"},
         0,
         "{\n  \"command\": \"Echo\",\n  \"commandStatus\": \"0x00000000\",\n"
         "  \"returnValue\": \"steps 3\",\n  \"cancelled\": false,\n  \"exitStatus\": 0,\n"
         "  \"commandSeconds\": 0.08\n}\n"},
        {{"Echo", "x", "1", "false", "invalid"},
         1,
         "{\n  \"command\": \"Echo\",\n  \"commandStatus\": \"0x80070057\",\n"
         "  \"returnValue\": \"steps 1\",\n  \"cancelled\": false,\n  \"exitStatus\": 1,\n"
         "  \"commandSeconds\": 0.06\n}\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"run", "--json", "--plugins", kPlugins};
        args.insert(args.end(), c.args.begin(), c.args.end());
        // The clock moves 10 ms at each reading: the command's start, the
        // bar's changes (maximum, caption, shown, each step, hidden), the
        // end: 8 steps for three steps of the bar, 6 for one.
        const RunResult r = RunXsihost(args, {{"ZK_HOST_CLOCK_STEP_MS=10"}, {}, {}});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_NE(r.err.find("Echoing: "), std::string::npos) << r.err;
    }
}

// Only plug-ins are loaded from the plug-in folder: a file's exports are
// read before it is loaded, so that a library without XSILoadPlugin never
// runs (its constructor would leave a mark), and files that are no library
// are named and passed over.
TEST(XsihostTest, OnlyPluginsAreLoadedFromThePluginFolder) {
    const zkt::ScratchDir scratch;
    const std::string folder = scratch / "plugins";
    const std::string mark = scratch / "not_a_plugin_ran";
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    fs::copy_file(kPlugins + "/EchoPlugin.so", folder + "/EchoPlugin.so");
    fs::copy_file(kPlugins + "/NotAPlugin.so", folder + "/NotAPlugin.so");
    fs::create_directories(folder + "/folder.so");
    { std::ofstream(folder + "/text.so") << "not a library\n"; }
    { std::ofstream(folder + "/notes.txt") << "not a library either, and no .so\n"; }
    // A link to a plug-in loaded already loads nothing more.
    fs::create_symlink(folder + "/EchoPlugin.so", folder + "/linked.so");

    zkt::RunOptions options;
    options.env = {"ZK_NOT_A_PLUGIN_RAN=" + mark};
    const RunResult r = zkt::RunXsihost({"run", "--plugins", folder, "Echo"}, options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "steps 2\n");
    const auto lines = zkt::Lines(r.err);
    const std::vector<std::string> warnings(
        lines.begin(), std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("WARNING: ", 0) != 0;
        }));
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "WARNING: Cannot load " + folder + "/folder.so: not a regular file",
                            "WARNING: Cannot load " + folder + "/text.so: not a shared library"}));
    EXPECT_FALSE(fs::exists(mark)) << "the library that is no plug-in was loaded";

    // Loaded by name it is not loaded either.
    const RunResult direct = zkt::RunXsihost({"run", "--plugins", kPlugins, "Echo"}, options);
    EXPECT_EQ(direct.exitCode, 0);
    EXPECT_FALSE(fs::exists(mark));
}
