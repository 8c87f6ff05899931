// `xsihost farm slurm` with stand-ins for sbatch, scontrol and scancel
// (fake_slurm/: each job runs at once, in its folder, with its output file):
// the jobs it submits and how they depend on each other, a split bake whose
// every file is the whole bake's, a failed chunk named and submitted again
// with the join, jobs that complete without making the files, and errors of
// use. The same on a real one-node cluster: scripts/slurm-test.sh.
#include "E2eSupport.h"

#include <cstdlib>

using namespace e2e;

namespace {

// Runs xsihost with the stand-ins first on PATH; their records in dir/slurm.
RunResult FarmXsihost(const fs::path& dir, Strings args, Strings env = {}) {
    fs::create_directories(dir / "slurm");
    env.push_back("PATH=" + std::string(ZK_FAKE_SLURM_DIR) + ":" + std::getenv("PATH"));
    env.push_back("ZK_FAKE_SLURM=" + (dir / "slurm").string());
    return zkt::RunXsihost(args, {env, dir, {}});
}

Strings Farm(const fs::path& out, Strings options) {
    Strings args = {"farm", "slurm", "--quiet", "--poll", "0.1"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(out.string());
    return args;
}

// Every file below the folder but the farm's, relative, and their bytes.
std::vector<std::pair<std::string, std::string>> Contents(const fs::path& root) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& rel : EntriesBelow(root, true))
        if (!StartsWith(rel, "farm/"))
            files.emplace_back(rel, ReadFile(root / rel));
    return files;
}

// A whole bake into the same output folder (the files name it), its
// contents, the split bake's folder put back.
std::vector<std::pair<std::string, std::string>> WholeBake(const fs::path& dir, const fs::path& out,
                                                           const Strings& options) {
    const fs::path aside = out.string() + ".split";
    fs::rename(out, aside);
    const RunResult r = Bake(options, out, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto files = Contents(out);
    fs::remove_all(out);
    fs::rename(aside, out);
    return files;
}

} // namespace

TEST(Farm, ASplitBakeIsTheWholeBakeByteForByte) {
    const fs::path dir = TestDir();
    struct Case {
        Strings bake;
        std::string chunks;
        Strings arrays;
    };
    const Case cases[] = {
        {{"--demo"}, "5", {"--array=0,1,2,3,4"}},
        {{"--demo", "--frames", "-7:9", "--fps", "24", "--prefix", "take2_", "--local",
          "--motion-files", "--items", "Grid,Camera,Rig"},
         "17",
         {}},
        {{"--scene", std::string(ZK_EXAMPLES_DIR) + "/skinned.gltf", "--outputs", "mdd,lws,emdl"},
         "4",
         {}},
    };
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bake[0] + " in " + c.chunks);
        const fs::path caseDir = dir / std::to_string(k++);
        const fs::path out = caseDir / "out";
        Strings options = c.bake;
        options.insert(options.end(), {"--chunks", c.chunks, "--wait"});
        const RunResult r = FarmXsihost(caseDir, Farm(out, options));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Lines(r.out), (Strings{"101 chunks", "102 scene", "103 join"}));
        // Chunks first, then the scene job, then the join after the chunks,
        // cancelled if one of them fails.
        const Strings submitted = Lines(ReadFile(caseDir / "slurm" / "sbatch.log"));
        ASSERT_EQ(submitted.size(), 3u);
        EXPECT_TRUE(Contains(submitted[0], "--job-name=zk-chunks")) << submitted[0];
        for (const std::string& array : c.arrays)
            EXPECT_TRUE(Contains(submitted[0], array)) << submitted[0];
        EXPECT_TRUE(Contains(submitted[1], "--job-name=zk-scene")) << submitted[1];
        EXPECT_TRUE(Contains(submitted[2], "--dependency=afterok:101 --kill-on-invalid-dep=yes"))
            << submitted[2];

        const auto split = Contents(out);
        EXPECT_EQ(split, WholeBake(caseDir, out, c.bake));
        EXPECT_GE(split.size(), 3u);
        EXPECT_FALSE(fs::exists(out / "farm" / "chunks")); // removed once joined
        Strings check = c.bake;
        check.insert(check.end(), {"--chunks", c.chunks, "--check"});
        const RunResult checked = FarmXsihost(caseDir, Farm(out, check));
        EXPECT_EQ(checked.exitCode, 0) << checked.err;
    }
}

TEST(Farm, AFailedChunkIsNamedAndSubmittedAgainWithTheJoin) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    // An xsihost that fails chunk 2 while the marker is there.
    const fs::path marker = dir / "fail";
    const fs::path wrapper = dir / "xsihost.sh";
    std::ofstream(wrapper) << "#!/bin/sh\nif [ \"$SLURM_ARRAY_TASK_ID\" = 2 ] && [ -e '"
                           << marker.string() << "' ]; then echo 'chunk 2 fails' >&2; exit 3; fi\n"
                           << "exec '" << zkt::XsihostPath() << "' \"$@\"\n";
    fs::permissions(wrapper, fs::perms::owner_all);
    std::ofstream(marker) << "fail";
    const Strings options = {"--demo", "--chunks", "4", "--wait", "--xsihost", wrapper.string()};

    const RunResult failed = FarmXsihost(dir, Farm(out, options));
    EXPECT_EQ(failed.exitCode, 1);
    const Strings err = Lines(failed.err);
    const std::string logs = (out / "farm" / "logs").string();
    EXPECT_EQ(err, (Strings{"xsihost: chunk 2 (frames 25:36), job 101, ended FAILED: see " + logs +
                                "/chunk_2.log",
                            "xsihost: join, job 103, ended CANCELLED (DependencyNeverSatisfied): "
                            "see " +
                                logs + "/join.log",
                            "xsihost: " + (out / "mdd" / "Grid.mdd").string() +
                                ": not there (the join has not made it)",
                            "xsihost: " + (out / "mdd" / "Rig.Cube.mdd").string() +
                                ": not there (the join has not made it)",
                            "xsihost: submit again what failed: the same command with --only "
                            "2,join"}));
    EXPECT_EQ(ReadFile(logs + "/chunk_2.log"), "chunk 2 fails\n");

    fs::remove(marker);
    Strings again = options;
    again.insert(again.end(), {"--only", "2,join"});
    const RunResult fixed = FarmXsihost(dir, Farm(out, again));
    ASSERT_EQ(fixed.exitCode, 0) << fixed.err;
    EXPECT_EQ(Lines(fixed.out), (Strings{"104 chunks", "105 join"}));
    const Strings submitted = Lines(ReadFile(dir / "slurm" / "sbatch.log"));
    ASSERT_EQ(submitted.size(), 5u);
    EXPECT_TRUE(Contains(submitted[3], "--array=2 ")) << submitted[3];
    EXPECT_TRUE(Contains(submitted[4], "--dependency=afterok:104")) << submitted[4];
    EXPECT_EQ(Contents(out), WholeBake(dir, out, {"--demo"}));

    // The check reads the files: a cache cut short no longer checks out.
    const Strings check = Farm(out, {"--demo", "--chunks", "4", "--check"});
    EXPECT_EQ(FarmXsihost(dir, check).exitCode, 0);
    fs::resize_file(out / "mdd" / "Grid.mdd", 1000);
    const RunResult cut = FarmXsihost(dir, check);
    EXPECT_EQ(cut.exitCode, 1);
    ASSERT_FALSE(Lines(cut.err).empty());
    EXPECT_TRUE(StartsWith(Lines(cut.err)[0], "xsihost: " + (out / "mdd" / "Grid.mdd").string() +
                                                  ": not a whole cache"))
        << cut.err;
}

// Jobs that report success without having made anything: the files tell.
TEST(Farm, NeverPassesWhenTheJobsMadeNothing) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const RunResult r = FarmXsihost(dir, Farm(out, {"--demo", "--chunks", "2", "--wait"}),
                                    {"ZK_FAKE_SLURM_IDLE=1"});
    EXPECT_EQ(r.exitCode, 1);
    // The caches, LWO and EMDL files of two meshes, the scene files, and what
    // to do.
    EXPECT_EQ(Lines(r.err).size(), 2u + 4u + 4u + 1u) << r.err;
    EXPECT_TRUE(Contains(r.err, "without --only")) << r.err;
    // Files of an earlier bake do not count for this one.
    ASSERT_EQ(Bake({"--demo"}, out, dir).exitCode, 0);
    const RunResult stale = FarmXsihost(dir, Farm(out, {"--demo", "--chunks", "2", "--wait"}),
                                        {"ZK_FAKE_SLURM_IDLE=1"});
    EXPECT_EQ(stale.exitCode, 1);
    EXPECT_TRUE(Contains(stale.err, "older than the last join submitted")) << stale.err;
    EXPECT_TRUE(Contains(stale.err, "older than the last scene job submitted")) << stale.err;
}

TEST(Farm, RefusesBadUseWithOneLine) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const std::pair<Strings, std::string> cases[] = {
        {{"--demo", "--chunks", "0"}, "--chunks must be from 1 to the 48 frames"},
        {{"--demo", "--chunks", "49"}, "--chunks must be from 1 to the 48 frames"},
        {{"--demo", "--chunks", "4", "--only", "4"}, "\"4\" is no chunk of 0 to 3"},
        {{"--demo", "--chunks", "4", "--only", "scene,joins"}, "\"joins\""},
        {{"--demo", "--chunks", "4", "--outputs", "lws"}, "no mdd"},
        {{"--demo", "--chunks", "4", "--items", "Nothing"}, "\"Nothing\" names no item"},
        {{"--demo", "--chunks", "4", "--items", "Camera"}, "no mesh"},
        {{"--chunks", "4"}, "needs a scene"},
        {{"--demo", "--chunks", "4", "--prefix", "../take"}, "must name a file inside"},
    };
    for (const auto& [options, says] : cases) {
        const RunResult r = FarmXsihost(dir, Farm(out, options));
        EXPECT_EQ(r.exitCode, 2) << says;
        ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(Contains(r.err, says)) << r.err;
        EXPECT_FALSE(fs::exists(out / "farm" / "logs")) << says;
    }
    // sbatch refusing a job: one line, and nothing left submitted.
    const RunResult refused =
        FarmXsihost(dir, Farm(out, {"--demo", "--chunks", "2", "--partition", "nowhere"}),
                    {"ZK_FAKE_SLURM_REFUSE=1"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(Lines(refused.err),
              (Strings{"xsihost: sbatch refused the chunks job: sbatch: error: invalid partition "
                       "specified: nowhere"}));
    EXPECT_EQ(refused.out, "");
    // No sbatch at all.
    const RunResult none = zkt::RunXsihost(Farm(out, {"--demo", "--chunks", "2"}),
                                           {{"PATH=" + (dir / "empty").string()}, dir, {}});
    EXPECT_EQ(none.exitCode, 2);
    ASSERT_EQ(Lines(none.err).size(), 1u) << none.err;
    EXPECT_TRUE(Contains(none.err, "sbatch cannot be run")) << none.err;
}
