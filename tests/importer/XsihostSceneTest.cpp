// xsihost with --scene and --anim: what each node of a file became, and one
// clear line with exit status 2 for a file that cannot be read.
#include "ImporterTestUtil.h"

#include <cstdio>
#include <sys/wait.h>

using namespace importer_test;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Result RunXsihost(const std::string& args) {
    const std::string errPath = OutPath("xsihost_stderr.txt");
    const std::string command = std::string(XSIHOST_PATH) + " " + args + " 2>" + errPath;
    Result r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return r;
    }
    char buf[4096];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0) {
        r.out.append(buf, n);
    }
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errPath);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

} // namespace

TEST(XsihostScene, ListShowsWhatEachNodeBecame) {
    const Result r = RunXsihost("list --scene " + ScenePath("camera_light.gltf"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Cam camera 80 0\n"
                     "Spot light 81 0\n"
                     "Sun light 81 0\n"
                     "Bulb light 81 0\n"
                     "Locator null 73 0\n");
    const Result h = RunXsihost("list --scene " + ScenePath("hierarchy.gltf") + " --anim 0");
    EXPECT_EQ(h.exitCode, 0) << h.err;
    EXPECT_EQ(h.out, "Arm_L null 73 0\n"
                     "Arm_L.Box mesh 72 9\n"
                     "Box1 mesh 72 9\n"
                     "my_node null 73 0\n");
}

TEST(XsihostScene, BadFilesAndAnimationsExitWithStatus2) {
    const std::string corrupt = OutPath("xsihost_corrupt.gltf");
    WriteFile(corrupt, "{\"asset\": {\"version\": \"2.0\"}, \"nodes\": [");
    for (const std::string& args :
         {"list --scene " + corrupt, "run --scene " + corrupt + " SelectObj x",
          "list --scene " + ScenePath("morph.gltf") + " --anim Nope",
          std::string("list --demo --anim 1")}) {
        const Result r = RunXsihost(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        // One line on stderr.
        ASSERT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}
