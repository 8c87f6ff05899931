// The built plug-in library: what it exports, how the host loads it, and a
// run through the command-line host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string Capture(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int rc = pclose(pipe);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

TEST(PluginLibrary, ExportsOnlyItsThreeEntries) {
    int status = -1;
    const std::string out =
        Capture(std::string("nm -D --defined-only '") + ZK_PLUGIN_LIBRARY + "'", &status);
    ASSERT_EQ(status, 0) << out;
    std::set<std::string> names;
    size_t start = 0;
    while (start < out.size()) {
        const size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end - start);
        names.insert(line.substr(line.rfind(' ') + 1));
        start = end == std::string::npos ? out.size() : end + 1;
    }
    EXPECT_EQ(names, (std::set<std::string>{"XSILoadPlugin", "ZK_XSI_Baker_Init",
                                            "ZK_XSI_Baker_Execute"}));
}

TEST(PluginLibrary, XsihostRunsTheCommandOnTheDemoScene) {
    const fs::path dir = fs::temp_directory_path() / ("zk_xsihost_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "mdd");
    const std::string d = dir.string();
    const std::string command = std::string("'") + ZK_XSIHOST +
                                "' run --demo --quiet ZK_XSI_Baker Grid,Rig.Cube,Camera " + "'" +
                                d + "/mdd' 1 4 pre_ true false '' false '' true '" + d +
                                "/scene.lws' " + "false '' false '' false '' true '" + d +
                                "/scene.zsc' true false '' true true true " + "true 0 2>&1";
    int status = -1;
    const std::string out = Capture(command, &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(fs::exists(dir / "mdd" / "pre_Grid.mdd"));
    EXPECT_TRUE(fs::exists(dir / "mdd" / "pre_Rig.Cube.mdd"));
    EXPECT_TRUE(fs::exists(dir / "scene.lws"));
    EXPECT_TRUE(fs::exists(dir / "scene.zsc"));
    // Grid: 32 x 32 points, 4 frames and the lead block.
    EXPECT_EQ(fs::file_size(dir / "mdd" / "pre_Grid.mdd"), 8u + 16u + 12u * 1024u * 5u);

    // A refused run: exit status 1 and the status in hex.
    const std::string refused = Capture(std::string("'") + ZK_XSIHOST +
                                            "' run --demo --quiet ZK_XSI_Baker Grid '' 4 1 2>&1",
                                        &status);
    EXPECT_EQ(status, 1) << refused;
    EXPECT_NE(refused.find("the end frame is before the start frame"), std::string::npos)
        << refused;
    EXPECT_NE(refused.find("80070057"), std::string::npos) << refused;
    fs::remove_all(dir);
}

} // namespace
