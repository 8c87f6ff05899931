// A short bake of the demo scene under valgrind's memcheck: no leak and no
// invalid access in xsihost, the host, the plug-in or the LWO companion.
// Skipped without valgrind and in the sanitizer build (AddressSanitizer
// already watches every run there, and valgrind cannot run beside it).
#include "E2eSupport.h"

using namespace e2e;

TEST(Valgrind, DemoBakeHasNoLeakAndNoInvalidAccess) {
#if ZK_SANITIZE
    GTEST_SKIP() << "sanitizer build: AddressSanitizer checks the runs instead";
#endif
    const std::string valgrind = ZK_VALGRIND;
    if (valgrind.empty() || access(valgrind.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "valgrind is not installed";
    }
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const fs::path log = dir / "valgrind.log";
    const RunResult r = RunProgram(
        valgrind,
        {"--error-exitcode=99", "--leak-check=full", "--errors-for-leak-kinds=definite,indirect",
         "--suppressions=" ZK_VALGRIND_SUPPRESSIONS, "--log-file=" + log.string(), XSIHOST_PATH,
         "bake", "--demo", "--frames", "1:3", "--quiet", out.string()},
        dir);
    const std::string report = ReadFile(log.string());
    EXPECT_EQ(r.exitCode, 0) << r.err << report;
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    // The bake ran to its end.
    EXPECT_EQ(Lines(r.out).size(), 10u) << r.out;
    EXPECT_EQ(ReadMdd(out / "mdd" / "Grid.mdd").blockCount, 4);
}
