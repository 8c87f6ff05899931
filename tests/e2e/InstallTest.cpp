// The installed tree: `cmake --install` of this build into a scratch prefix
// gives an xsihost that finds libsicppsdk.so and its plug-ins relative to
// itself (bin/, lib/, lib/zk_xsi_baker/) and bakes the demo scene there
// exactly as the build tree's xsihost does; its manual page reads with
// `man -l` and names every option of the program's help; its bash
// completion completes the subcommands and their options; the Debian
// package (cpack) holds both where man and bash look for them.
#include "E2eSupport.h"

#include <map>
#include <set>
#include <sstream>

using namespace e2e;

namespace {

fs::path Install(const fs::path& dir) {
    const fs::path prefix = dir / "prefix";
    const RunResult install =
        RunProgram(ZK_CMAKE, {"--install", ZK_BUILD_DIR, "--prefix", prefix.string()}, dir);
    EXPECT_EQ(install.exitCode, 0) << install.err;
    return prefix;
}

// Every option the program's help names (--help-all).
std::set<std::string> HelpOptions(const fs::path& dir) {
    const RunResult help = Xsihost({"--help-all"}, dir);
    EXPECT_EQ(help.exitCode, 0) << help.err;
    std::set<std::string> options;
    for (size_t at = help.out.find("--"); at != std::string::npos;
         at = help.out.find("--", at + 2)) {
        size_t end = at + 2;
        while (end < help.out.size() &&
               (std::isalnum(static_cast<unsigned char>(help.out[end])) || help.out[end] == '-'))
            ++end;
        if (end > at + 2)
            options.insert(help.out.substr(at, end - at));
    }
    return options;
}

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

TEST(Install, TheManualPageReadsAndNamesEveryOption) {
    const fs::path dir = TestDir();
    const fs::path page = Install(dir) / "share/man/man1/xsihost.1.gz";
    ASSERT_TRUE(fs::is_regular_file(page));
    const RunResult man = zkt::RunProgram("man", {"-l", page.string()},
                                          {{"MANPAGER=cat", "PAGER=cat", "MANWIDTH=100"}, dir, {}});
    ASSERT_EQ(man.exitCode, 0) << man.err;
    // man marks words in bold by overstriking when its output is no terminal.
    std::string text;
    for (size_t i = 0; i < man.out.size(); ++i) {
        if (i + 1 < man.out.size() && man.out[i + 1] == '\b')
            ++i;
        else if (man.out[i] != '\b')
            text += man.out[i];
    }
    for (const char* part :
         {"XSIHOST(1)", "SYNOPSIS", "EXIT STATUS", "ENVIRONMENT", "FILES", "ZK_HOST_THREADS",
          "MIMALLOC_LARGE_OS_PAGES", "130", "xsihost bake [OPTIONS] OUTDIR", "xsihost " ZK_VERSION})
        EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
    // Made from the program's help: no option is missing.
    for (const std::string& option : HelpOptions(dir))
        EXPECT_TRUE(Contains(text, option)) << option;
}

// The words bash offers for the last word of a command line, sorted.
Strings Complete(const fs::path& completion, const std::string& xsihost, const Strings& words,
                 const fs::path& dir) {
    std::string line = "'" + xsihost + "'";
    for (const std::string& w : words)
        line += " '" + w + "'";
    const std::string script = "cd '" + dir.string() + "' && source '" + completion.string() +
                               "' && COMP_WORDS=(" + line +
                               ") && COMP_CWORD=" + std::to_string(words.size()) +
                               " && _xsihost; printf '%s\\n' \"${COMPREPLY[@]}\" | sort";
    const RunResult r = zkt::RunProgram("bash", {"-c", script}, {{}, dir, {}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Strings got = Lines(r.out);
    got.erase(std::remove(got.begin(), got.end(), ""), got.end());
    return got;
}

TEST(Install, TheBashCompletionCompletesSubcommandsOptionsAndFiles) {
    const fs::path dir = TestDir();
    const fs::path prefix = Install(dir);
    const fs::path completion = prefix / "share/bash-completion/completions/xsihost";
    ASSERT_TRUE(fs::is_regular_file(completion));
    fs::create_directories(dir / "scenes");
    std::ofstream(dir / "scenes" / "shot.gltf") << "{}";
    const std::string xsihost = (prefix / "bin/xsihost").string();
    const struct {
        Strings words; // the command line, the last word the one completed
        Strings expected;
    } cases[] = {
        {{"ba"}, {"bake"}},
        {{"--v"}, {"--version"}},
        {{"bake", "--mo"}, {"--motion-files"}},
        {{"bake", "--demo", "--f"}, {"--fps", "--frames"}},
        {{"list", "--"},
         {"--anim", "--any-reader", "--demo", "--help", "--json", "--keep-units", "--max-memory",
          "--scene"}},
        {{"run", "--fr"}, {"--frame"}},
        {{"farm", "sl"}, {"slurm"}},
        {{"farm", "slurm", "--ch"}, {"--check", "--chunks"}},
        {{"farm", "slurm", "--demo", "--chunks", "4"}, {}},
        {{"bake", "--scene", "scenes/sh"}, {"scenes/shot.gltf"}},
        {{"bake", "--fps", "2"}, {}},            // a number of the user's
        {{"bake", "--demo", "sce"}, {"scenes"}}, // OUTDIR: a folder
    };
    for (const auto& c : cases)
        EXPECT_EQ(Complete(completion, xsihost, c.words, dir), c.expected) << c.words.back();

    // Every subcommand and every option of each, as the full help lists
    // them ("xsihost SUB [SUB] [OPTIONS] ...:" heads each subcommand's
    // options): the first subcommand after the program, the next after it.
    const RunResult help = Xsihost({"--help-all"}, dir);
    std::map<Strings, std::set<std::string>> options;
    Strings path;
    for (const std::string& line : Lines(help.out)) {
        if (StartsWith(line, "xsihost ") && line.back() == ':') {
            path.clear();
            std::istringstream words(line.substr(8, line.size() - 9)); // without the ':'
            for (std::string word; words >> word && word != "[OPTIONS]";)
                path.push_back(word);
            options[path];
        } else if (!path.empty() && StartsWith(line, "  --")) {
            options[path].insert(line.substr(2, line.find(' ', 2) - 2));
        }
    }
    ASSERT_GE(options.size(), 4u) << help.out;
    for (const auto& [subPath, subOptions] : options) {
        Strings before(subPath.begin(), subPath.end() - 1);
        before.push_back("");
        const Strings names = Complete(completion, xsihost, before, dir);
        EXPECT_NE(std::find(names.begin(), names.end(), subPath.back()), names.end())
            << subPath.back();
        Strings words = subPath;
        words.push_back("--");
        const Strings offered = Complete(completion, xsihost, words, dir);
        for (const std::string& option : subOptions)
            EXPECT_NE(std::find(offered.begin(), offered.end(), option), offered.end())
                << subPath.back() << " " << option;
    }
}

TEST(Install, ThePackageHoldsTheManualPageAndTheCompletionWhereManAndBashLook) {
#if ZK_SANITIZE
    GTEST_SKIP() << "the package is made from the plain build";
#endif
    const fs::path dir = TestDir();
    const RunResult pack =
        RunProgram("cpack",
                   {"-G", "DEB", "--config", std::string(ZK_BUILD_DIR) + "/CPackConfig.cmake", "-B",
                    (dir / "package").string()},
                   dir);
    ASSERT_EQ(pack.exitCode, 0) << pack.out << pack.err;
    fs::path deb;
    for (const auto& entry : fs::directory_iterator(dir / "package"))
        if (entry.path().extension() == ".deb")
            deb = entry.path();
    ASSERT_FALSE(deb.empty());
    const RunResult unpack =
        RunProgram("dpkg-deb", {"-x", deb.string(), (dir / "root").string()}, dir);
    ASSERT_EQ(unpack.exitCode, 0) << unpack.err;
    EXPECT_TRUE(fs::is_regular_file(dir / "root/usr/share/bash-completion/completions/xsihost"));
    // man finds the page by name in the package's tree, as it does in /usr
    // once the package is installed.
    const RunResult where = zkt::RunProgram(
        "man", {"-w", "xsihost"}, {{"MANPATH=" + (dir / "root/usr/share/man").string()}, dir, {}});
    EXPECT_EQ(where.exitCode, 0) << where.err;
    EXPECT_EQ(where.out, (dir / "root/usr/share/man/man1/xsihost.1.gz").string() + "\n");
}
