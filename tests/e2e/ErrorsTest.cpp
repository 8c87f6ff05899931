// Failures seen through the real programs: a refused output path inside the
// plug-in, errors of use of xsihost bake, and a damaged cache given to
// xsihost inspect. Each gives one clear line and a failure status.
#include "E2eSupport.h"

using namespace e2e;

TEST(Errors, AnXsiFolderThatIsAFileFailsTheCommand) {
    const fs::path dir = TestDir();
    const fs::path file = dir / "not_a_folder";
    { std::ofstream(file.string()) << "kept"; }
    const RunResult r = Xsihost(
        {"run", "--demo", "ZK_XSI_Baker", "ZK_XSIAct=1", "ZK_XSIString=" + file.string()}, dir);
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> err = Lines(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0], "ERROR: ZK_XSI_Baker - the XSI folder is invalid: " + file.string());
    EXPECT_NE(err[1].find("0x80070057"), std::string::npos) << err[1];
    EXPECT_EQ(r.out.find("ZK_XSI_Baker - "), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(file.string()), "kept");
    // Nothing else was written beside it.
    EXPECT_EQ(FilesBelow(dir),
              (std::vector<std::string>{file.string(), (dir / "stderr.txt").string(),
                                        (dir / "stdout.txt").string()}));
}

TEST(Errors, BakeRefusesBadUse) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    struct Case {
        std::vector<std::string> args;
        std::string mention;
    };
    for (const Case& c :
         {Case{{"bake", "--demo", "--frames", "5:4", out.string()}, "5:4"},
          Case{{"bake", "--demo", "--frames", "1-4", out.string()}, "1-4"},
          Case{{"bake", "--scene", (dir / "missing.gltf").string(), out.string()}, "missing.gltf"},
          Case{{"bake", out.string()}, "--demo"}}) {
        const RunResult r = Xsihost(c.args, dir);
        EXPECT_EQ(r.exitCode, 2) << c.mention;
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out)) << c.mention;
    }
}

TEST(Errors, InspectRefusesATruncatedCache) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const RunResult bake = Xsihost(
        {"bake", "--demo", "--quiet", "--items", "Rig.Cube", "--frames", "1:4", out.string()}, dir);
    ASSERT_EQ(bake.exitCode, 0) << bake.err;
    const std::string whole = ReadFile((out / "mdd" / "Rig.Cube.mdd").string());
    // 4 frames of 8 points: 8 + 16 + 5 * 96 bytes.
    ASSERT_EQ(whole.size(), 504u);
    const RunResult ok = Xsihost({"inspect", (out / "mdd" / "Rig.Cube.mdd").string()}, dir);
    EXPECT_EQ(ok.exitCode, 0) << ok.err;

    // Inside the header, inside the time table, inside a frame block, and one
    // byte past a complete file.
    for (size_t size : {size_t{6}, size_t{20}, size_t{24 + 96 + 50}, whole.size() + 1}) {
        const fs::path cut = dir / ("cut_" + std::to_string(size) + ".mdd");
        std::string bytes = whole.substr(0, std::min(size, whole.size()));
        bytes.resize(size, '\0');
        std::ofstream(cut.string(), std::ios::binary) << bytes;
        const RunResult r = Xsihost({"inspect", cut.string()}, dir);
        EXPECT_EQ(r.exitCode, 2) << size;
        const std::vector<std::string> err = Lines(r.err);
        ASSERT_EQ(err.size(), 1u) << r.err;
        EXPECT_TRUE(StartsWith(err[0], cut.string() + ": ")) << err[0];
    }
}
