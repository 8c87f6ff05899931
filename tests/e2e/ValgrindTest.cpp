// A short bake of the demo scene under valgrind's memcheck: no leak and no
// invalid access in xsihost, the host, the plug-in or the LWO companion.
// Skipped without valgrind and in the sanitizer build (AddressSanitizer
// already watches every run there, and valgrind cannot run beside it).
#include "E2eSupport.h"

using namespace e2e;

TEST(Valgrind, DemoBakeHasNoLeakAndNoInvalidAccess) {
    const std::string valgrind = ZK_VALGRIND;
    if (ZK_SANITIZE || valgrind.empty() || access(valgrind.c_str(), X_OK) != 0)
        GTEST_SKIP() << "valgrind is not installed, or the sanitizer build checks the runs";
    const fs::path dir = TestDir();
    const fs::path out = dir / "out", log = dir / "valgrind.log";
    const RunResult r = RunProgram(
        valgrind,
        {"--error-exitcode=99", "--leak-check=full", "--errors-for-leak-kinds=definite,indirect",
         "--suppressions=" ZK_VALGRIND_SUPPRESSIONS, "--log-file=" + log.string(),
         // xsihost may allocate through mimalloc: valgrind watches its
         // malloc as it watches libc's. Its delete is its free, which
         // valgrind would take for mismatched frees (the sanitizer build,
         // on libc's allocator, checks those).
         "--soname-synonyms=somalloc=*mimalloc*", "--show-mismatched-frees=no", zkt::XsihostPath(),
         "bake", "--demo", "--frames", "1:3", "--quiet", out.string()},
        dir);
    const std::string report = ReadFile(log);
    EXPECT_EQ(r.exitCode, 0) << r.err << report;
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    // The bake ran to its end: ten files, three frames.
    EXPECT_EQ(Lines(r.out).size(), 10u) << r.out;
    EXPECT_EQ(ReadMdd(out / "mdd" / "Grid.mdd").blockCount, 4);
}
