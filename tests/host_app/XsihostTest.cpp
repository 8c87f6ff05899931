// xsihost as a program: loading the Echo test plug-in with --plugins,
// running its command with positional and named arguments, the status as
// exit code, and errors of use.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs xsihost with the arguments, stdout and stderr to files.
Result RunXsihost(const std::vector<std::string>& args) {
    char outPath[] = "/tmp/xsihost_out_XXXXXX";
    char errPath[] = "/tmp/xsihost_err_XXXXXX";
    int outFd = mkstemp(outPath);
    int errFd = mkstemp(errPath);
    Result r;
    if (outFd < 0 || errFd < 0) {
        ADD_FAILURE() << "cannot make temporary files";
        return r;
    }
    std::vector<std::string> all = {XSIHOST_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(outFd);
    close(errFd);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    unlink(outPath);
    unlink(errPath);
    return r;
}

int LineCount(const std::string& text) {
    int n = 0;
    for (char c : text) {
        n += c == '\n';
    }
    return n;
}

const std::string kPlugins = TEST_PLUGIN_DIR;

} // namespace

TEST(XsihostTest, RunsAPluginCommandWithPositionalAndNamedArguments) {
    Result r = RunXsihost({"run", "--plugins", kPlugins, "Echo", "Flag=true", "hello world", "3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Text first (positional), Count next (Flag is taken), Status left out.
    EXPECT_NE(r.err.find("INFO: Echo Text text [hello world]\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("INFO: Echo Count int [3]\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("INFO: Echo Flag bool [true]\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("INFO: Echo Status empty []\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("WARNING: Echo flag is set\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Echoing\n"), std::string::npos) << r.err; // the bar's caption
    EXPECT_EQ(r.out, "steps 3\n");
}

TEST(XsihostTest, CommandStatusBecomesTheExitCode) {
    Result r = RunXsihost({"run", "--plugins", kPlugins, "Echo", "Status=invalid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("status 0x80070057"), std::string::npos) << r.err;
    r = RunXsihost({"run", "--plugins", kPlugins, "Echo", "x", "0", "false", "unexpected"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("status 0x8000FFFF"), std::string::npos) << r.err;
}

TEST(XsihostTest, QuietKeepsOnlyWarningsAndErrors) {
    Result r = RunXsihost({"run", "--quiet", "--plugins", kPlugins, "Echo", "Count=2", "Flag=1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "WARNING: Echo flag is set\n");
    EXPECT_EQ(r.out, "steps 2\n");
}

TEST(XsihostTest, ErrorsOfUseAreOneLineAndExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"run", "--demo", "NoSuchCommand"},
        {"list", "--scene", "/missing.gltf"},
        {"run", "--scene", "/missing.gltf", "Echo"},
        {"run", "--plugins", kPlugins, "Echo", "Text=a", "Text=b"},
        {"run", "--plugins", kPlugins, "Echo", "a", "Text=b"},
        {"run", "--plugins", kPlugins, "Echo", "Nope=1"},
        {"run", "--plugins", kPlugins, "Echo", "1", "2", "3", "4", "5"},
        {"run", "--plugins", "/no/such/folder", "Echo"},
        {"run", "--fps", "0", "Echo"},
        {"run", "--demo", "--scene", "x.gltf", "Echo"},
        {"run"},
        {"frobnicate"},
    };
    for (const auto& args : cases) {
        Result r = RunXsihost(args);
        std::string shown;
        for (const std::string& a : args) {
            shown += a + " ";
        }
        EXPECT_EQ(r.exitCode, 2) << shown << r.err;
        EXPECT_EQ(LineCount(r.err), 1) << shown << r.err;
        EXPECT_EQ(r.err.rfind("xsihost: ", 0), 0u) << shown << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
}

TEST(XsihostTest, MissingSceneMessageNamesTheFile) {
    Result r = RunXsihost({"list", "--scene", "/missing.gltf"});
    EXPECT_EQ(r.err, "xsihost: cannot read scene file \"/missing.gltf\": No such file or "
                     "directory\n");
}
