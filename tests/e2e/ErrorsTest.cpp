// Failures seen through the real programs: a refused output path inside the
// plug-in, errors of use of xsihost bake, and a damaged cache given to
// xsihost inspect. Each gives one clear line and a failure status.
#include "E2eSupport.h"

using namespace e2e;

TEST(Errors, AnXsiFolderThatIsAFileFailsTheCommand) {
    const fs::path dir = TestDir();
    const fs::path file = dir / "not_a_folder";
    std::ofstream(file) << "kept";
    const RunResult r = Xsihost(
        {"run", "--demo", "ZK_XSI_Baker", "ZK_XSIAct=1", "ZK_XSIString=" + file.string()}, dir);
    EXPECT_EQ(r.exitCode, 1);
    const Strings err = Lines(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0], "ERROR: ZK_XSI_Baker - the XSI folder is invalid: " + file.string());
    EXPECT_NE(err[1].find("0x80070057"), std::string::npos) << err[1];
    EXPECT_EQ(r.out.find("ZK_XSI_Baker - "), std::string::npos) << r.out;
    // Nothing else was written beside the file, which is kept.
    EXPECT_EQ(ReadFile(file), "kept");
    EXPECT_EQ(FilesBelow(dir), (Strings{file.string(), (dir / "stderr.txt").string(),
                                        (dir / "stdout.txt").string()}));
}

TEST(Errors, BakeRefusesBadUse) {
    const fs::path dir = TestDir();
    const std::string out = (dir / "out").string();
    const std::pair<Strings, std::string> cases[] = {
        {{"bake", "--demo", "--frames", "5:4", out}, "5:4"},
        {{"bake", "--demo", "--frames", "1-4", out}, "1-4"},
        {{"bake", "--scene", (dir / "missing.gltf").string(), out}, "missing.gltf"},
        {{"bake", out}, "--demo"}};
    for (const auto& [args, mention] : cases) {
        const RunResult r = Xsihost(args, dir);
        EXPECT_EQ(r.exitCode, 2) << mention;
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out)) << mention;
    }
}

TEST(Errors, InspectRefusesATruncatedCache) {
    const fs::path dir = TestDir();
    const fs::path mdd = dir / "out" / "mdd" / "Rig.Cube.mdd";
    const RunResult bake =
        Bake({"--demo", "--items", "Rig.Cube", "--frames", "1:4"}, dir / "out", dir);
    ASSERT_EQ(bake.exitCode, 0) << bake.err;
    const std::string whole = ReadFile(mdd);
    ASSERT_EQ(whole.size(), 8u + 16u + 5u * 96u); // 4 frames of 8 points
    EXPECT_EQ(Xsihost({"inspect", mdd.string()}, dir).exitCode, 0);

    // Inside the header, inside the time table, inside a frame block, and one
    // byte past a complete file.
    for (size_t size : {size_t{6}, size_t{20}, size_t{24 + 96 + 50}, whole.size() + 1}) {
        const fs::path cut = dir / ("cut_" + std::to_string(size) + ".mdd");
        std::string bytes = whole.substr(0, size);
        bytes.resize(size, '\0');
        std::ofstream(cut, std::ios::binary) << bytes;
        const RunResult r = Xsihost({"inspect", cut.string()}, dir);
        EXPECT_EQ(r.exitCode, 2) << size;
        const Strings err = Lines(r.err);
        ASSERT_EQ(err.size(), 1u) << r.err;
        EXPECT_TRUE(StartsWith(err[0], cut.string() + ": ")) << err[0];
    }
}
