// The built plug-in library exports its three entries and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(PluginLibrary, ExportsOnlyItsThreeEntries) {
    const std::string command = std::string("nm -D --defined-only --format=just-symbols '") +
                                ZK_PLUGIN_LIBRARY + "' | sort";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(out, "XSILoadPlugin\nZK_XSI_Baker_Execute\nZK_XSI_Baker_Init\n");
}
