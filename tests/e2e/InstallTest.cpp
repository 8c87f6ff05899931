// The installed tree: `cmake --install` of this build into a scratch prefix
// gives an xsihost that finds libsicppsdk.so and its plug-ins relative to
// itself (bin/, lib/, lib/zk_xsi_baker/) and bakes the demo scene there
// exactly as the build tree's xsihost does.
#include "E2eSupport.h"

using namespace e2e;

namespace {

TEST(Install, VersionIsTheProjectVersion) {
    const RunResult r = Xsihost({"--version"}, TestDir());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("xsihost ") + ZK_VERSION + "\n");
}

TEST(Install, InstalledXsihostBakesWithItsOwnPlugins) {
    const fs::path dir = TestDir();
    const fs::path prefix = dir / "prefix";
    const RunResult install =
        RunProgram(ZK_CMAKE, {"--install", ZK_BUILD_DIR, "--prefix", prefix.string()}, dir);
    ASSERT_EQ(install.exitCode, 0) << install.err;
    for (const char* file :
         {"bin/xsihost", "lib/libsicppsdk.so", "lib/zk_xsi_baker/ZK_XSI_Baker.so",
          "lib/zk_xsi_baker/ZK_XSI_ExportLWO.so"})
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;

    const std::string installed = (prefix / "bin/xsihost").string();
    const RunResult mine =
        RunProgram(installed, {"bake", "--quiet", "--demo", (dir / "a").string()}, dir);
    ASSERT_EQ(mine.exitCode, 0) << mine.err;
    const RunResult built = Bake({"--demo"}, dir / "b", dir);
    ASSERT_EQ(built.exitCode, 0) << built.err;
    // The caches and meshes hold no paths, so they match byte for byte.
    for (const char* file : {"mdd/Grid.mdd", "mdd/Rig.Cube.mdd", "lwo/Grid.lwo", "emdl/Grid.emdl"})
        EXPECT_EQ(ReadFile(dir / "a" / file), ReadFile(dir / "b" / file)) << file;
    EXPECT_FALSE(ReadFile(dir / "a" / "mdd/Grid.mdd").empty());
}

} // namespace
