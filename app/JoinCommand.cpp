// xsihost join [--fps RATE] [--frames A:B] [--check] OUTPUT PART...
// xsihost join --tree FOLDER [--fps RATE] [--frames A:B] [--check] OUTFOLDER
//
// Joins MDD caches baked over consecutive parts of a frame range into the
// cache of the whole range (MddJoin.h): OUTPUT from the PARTs of one mesh,
// in any order; or, with --tree, every cache of a folder tree of parts
// (each *.mdd below FOLDER is a part of the cache of its name) into
// OUTFOLDER/<name>. Every part of every cache is checked before anything
// is written; each joined cache is written under a temporary name beside
// it and renamed once whole. --fps checks the parts' times to the bit
// against that rate and --frames the range they must cover. --check writes
// nothing: it compares the outputs with the join of their parts, byte for
// byte.
//
// Prints each cache joined (or found equal) on stdout. Exit status 0; 2 when
// a part is refused or the command is misused (one line naming the file);
// 1 when a cache cannot be written or --check finds it different.
#include "MddJoin.h"
#include "Output.h"
#include "Subcommands.h"

#include <cstdio>
#include <filesystem>

namespace xsihost {

namespace {

struct JoinOptions {
    double fps = 0.0;
    std::string frames;
    bool check = false;
    std::string tree;
    std::vector<std::string> paths;
};

// "A:B", two whole numbers, A <= B.
void ParseRange(const std::string& text, JoinExpectation* expect) {
    const size_t colon = text.find(':');
    auto whole = [](const std::string& part, long long* out) {
        if (part.empty())
            return false;
        size_t used = 0;
        try {
            *out = std::stoll(part, &used);
        } catch (const std::exception&) {
            return false;
        }
        return used == part.size() && *out >= -1000000000LL && *out <= 1000000000LL;
    };
    if (colon == std::string::npos || !whole(text.substr(0, colon), &expect->firstFrame) ||
        !whole(text.substr(colon + 1), &expect->lastFrame) ||
        expect->lastFrame < expect->firstFrame)
        throw UsageError("--frames takes A:B, two whole numbers with A <= B (got " + Quote(text) +
                         ")");
    expect->haveRange = true;
}

int Join(const JoinOptions& o) {
    JoinExpectation expect;
    expect.frameRate = o.fps;
    if (!o.frames.empty()) {
        if (o.fps <= 0.0)
            throw UsageError("--frames needs --fps: the parts' frames are told by their times");
        ParseRange(o.frames, &expect);
    }
    if (!o.tree.empty() && o.paths.size() != 1)
        throw UsageError("join --tree takes one output folder");
    if (o.tree.empty() && o.paths.size() < 2)
        throw UsageError("join takes the output cache and at least one part (or --tree)");
    try {
        std::vector<std::pair<std::string, std::vector<std::string>>> jobs;
        if (!o.tree.empty())
            jobs = PartsInTree(o.tree, o.paths[0]);
        else
            jobs.emplace_back(o.paths[0],
                              std::vector<std::string>(o.paths.begin() + 1, o.paths.end()));
        // Every cache planned (every part read and checked) before any is
        // written.
        std::vector<JoinPlan> plans;
        for (const auto& [output, parts] : jobs)
            plans.push_back(PlanJoin(output, parts, expect));
        if (o.check) {
            int status = kExitOK;
            for (const JoinPlan& plan : plans) {
                const std::string difference = CheckJoin(plan);
                if (difference.empty()) {
                    Print(plan.output + "\n");
                } else {
                    std::fprintf(stderr, "xsihost: %s\n", difference.c_str());
                    status = kExitCommandFailed;
                }
            }
            return status;
        }
        // The output's folder, made when missing.
        const std::filesystem::path folder = o.tree.empty()
                                                 ? std::filesystem::path(o.paths[0]).parent_path()
                                                 : std::filesystem::path(o.paths[0]);
        std::error_code ec;
        if (!folder.empty())
            std::filesystem::create_directories(folder, ec);
        if (ec)
            throw UsageError("cannot create the folder " + Quote(folder.string()) + ": " +
                             ec.message());
        for (const JoinPlan& plan : plans) {
            WriteJoin(plan);
            Print(plan.output + "\n");
            std::fflush(stdout);
        }
    } catch (const JoinError& e) {
        std::fprintf(stderr, "xsihost: %s\n", e.what());
        return e.IsRefusal() ? kExitUsage : kExitCommandFailed;
    }
    return kExitOK;
}

} // namespace

Subcommand AddJoinCommand(CLI::App& app) {
    auto options = std::make_shared<JoinOptions>();
    CLI::App* sub = app.add_subcommand(
        "join", "Join MDD caches baked over consecutive parts of a frame range into one");
    sub->add_option("--fps", options->fps,
                    "The rate the parts were baked at: their times are checked to the bit")
        ->check(FrameRateValidator());
    sub->add_option("--frames", options->frames,
                    "The frame range A:B the parts must cover together (needs --fps)")
        ->type_name("A:B");
    sub->add_flag("--check", options->check,
                  "Write nothing; compare the outputs with the join of their parts");
    sub->add_option("--tree", options->tree,
                    "A folder of parts: every *.mdd below it is a part of the cache of its name");
    sub->add_option("paths", options->paths, "OUTPUT PART... (or, with --tree, the output folder)")
        ->required();
    return Subcommand{sub, [options] { return Join(*options); }};
}

} // namespace xsihost
