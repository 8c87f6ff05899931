// The built plug-in library exports its three entries and nothing else.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

TEST(PluginLibrary, ExportsOnlyItsThreeEntries) {
    const zkt::RunResult r =
        zkt::RunProgram("nm", {"-D", "--defined-only", "--format=just-symbols", ZK_PLUGIN_LIBRARY});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    zkt::Strings symbols = zkt::Lines(r.out);
    std::sort(symbols.begin(), symbols.end());
    EXPECT_EQ(symbols,
              (zkt::Strings{"XSILoadPlugin", "ZK_XSI_Baker_Execute", "ZK_XSI_Baker_Init"}));
}
