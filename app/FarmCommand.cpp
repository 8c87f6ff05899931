// xsihost farm slurm [scene and bake options] --chunks N [--partition P]
//                    [--cpus-per-task C] [--time T] [--sbatch ARG]... [--only LIST]
//                    [--keep-chunks] [--wait] [--check] [--xsihost PATH] OUTDIR
//
// Splits a bake over a Slurm cluster. The frame range is cut into N chunks
// of consecutive frames; three jobs are submitted with sbatch:
//   chunks  an array job, one task per chunk: `xsihost bake --outputs mdd
//           --frames A:B` into OUTDIR/farm/chunks/<task>;
//   scene   `xsihost bake --link-caches` over the whole range: the scene files
//           and mesh files, linking the caches of OUTDIR/mdd (BakeOutputs.h);
//   join    after every chunk succeeded (--dependency=afterok, and cancelled
//           when one fails: --kill-on-invalid-dep=yes): `xsihost join --tree`
//           of the chunks into OUTDIR/mdd, then the chunks are removed
//           (kept with --keep-chunks).
// Every file is the one `xsihost bake` with the same options writes into
// OUTDIR, byte for byte. The job scripts and logs are in OUTDIR/farm; the
// jobs run in the current folder, with xsihost at the path of this one (or
// --xsihost): both must be the same on every node, as must the scene file
// and OUTDIR.
//
// Prints one line per job submitted: its id and what it is ("1234 chunks").
// --only chunk numbers (3, 5-7), "scene", "join" submits just those, for a
// chunk that failed and the join after it; the scripts are those of the
// same command without --only. --wait polls the jobs until they end, then
// checks the files; --check checks them without submitting. The check:
// every cache whole, of the range's frames and times and the mesh's
// points, and every scene and mesh file there and written after its job
// was submitted. Exit status 0 when every job submitted completed and every
// file checks out; 1 when a job failed or a file does not check out (each
// named on stderr, with the --only list that submits again what failed);
// 2 for errors of use, including options sbatch refuses.
#include "BakeOutputs.h"
#include "LoadWatch.h"
#include "SlurmJobs.h"
#include "Output.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/scene/Item.h"
#include "host/scene/Scene.h"
#include "inspect/ZK_Inspect.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

namespace xsihost {

namespace {

namespace fs = std::filesystem;

struct FarmOptions {
    // What the bake is: as `xsihost bake` takes it.
    SceneOptions scene;
    std::string plugins;
    double fps = 0.0;
    bool haveFps = false;
    std::string frames;
    std::string items;
    bool haveItems = false;
    std::string prefix;
    bool local = false;
    bool motionFiles = false;
    std::string outputs;
    bool haveOutputs = false;
    std::string outDir;
    // How it runs on the cluster.
    int chunks = 0;
    std::string partition;
    int cpusPerTask = 0;
    std::string time;
    std::vector<std::string> sbatch;
    std::string only;
    bool keepChunks = false;
    bool wait = false;
    bool check = false;
    double poll = 2.0;
    std::string xsihost;
    bool quiet = false;
};

// A shell word that stands for the text as it is.
std::string ShellWord(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Words(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : " ") + ShellWord(w);
    return out;
}

// The shortest text that reads back as the same double, whatever the locale.
std::string Exact(double value) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

std::string SelfPath() {
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string("xsihost");
}

// One mesh's cache: where the join puts it and its point count.
struct Cache {
    std::string path;
    long long points = 0;
};

// Everything the jobs and the check need, worked out once from the options
// and the scene.
struct FarmPlan {
    fs::path out, farm, chunkDir, logs;
    long long first = 0, last = 0;
    double fps = 30.0;
    std::vector<std::pair<long long, long long>> chunks;
    std::vector<Cache> caches;
    BakeOutputs on;
    bool sceneJob = false;
    std::vector<std::string> meshFiles;   // LWO and EMDL files the scene job makes
    std::vector<std::string> bakeOptions; // shared by every bake job
    std::string xsihost;
};

long long WholeNumber(const std::string& text, const std::string& what) {
    long long value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
        value < -1000000000LL || value > 1000000000LL)
        throw UsageError(what + " takes whole numbers (got " + Quote(text) + ")");
    return value;
}

FarmPlan MakePlan(const FarmOptions& o) {
    if (!o.scene.demo && o.scene.file.empty())
        throw UsageError("farm slurm needs a scene: --scene FILE or --demo");
    if (o.outDir.empty())
        throw UsageError("the output folder is empty; name a folder");
    // What a bake job would refuse at once, refused before anything is
    // submitted.
    auto holds = [](const std::string& text, const char* what) {
        return text.find(what) != std::string::npos;
    };
    const bool control = std::any_of(o.outDir.begin(), o.outDir.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (control || holds(o.outDir, "\\"))
        throw UsageError("the output folder " + Quote(o.outDir) +
                         " holds a control character or a backslash");
    if (holds(o.prefix, "/") || holds(o.prefix, "\\") || holds(o.prefix, ".."))
        throw UsageError("the prefix " + Quote(o.prefix) +
                         " must name a file inside the output folder");
    FarmPlan plan;
    plan.out = o.outDir;
    plan.farm = plan.out / "farm";
    plan.chunkDir = plan.farm / "chunks";
    plan.logs = plan.farm / "logs";
    plan.xsihost = o.xsihost.empty() ? SelfPath() : o.xsihost;
    plan.on = o.haveOutputs ? ParseOutputs(o.outputs) : BakeOutputs();
    if (!plan.on.mdd)
        throw UsageError("--outputs holds no mdd: there are no caches to split over the "
                         "cluster; bake it with xsihost bake");
    plan.sceneJob = plan.on.lwo || plan.on.emdl || plan.on.AnySceneFile() || o.motionFiles;

    // The scene, read as the jobs read it: its range and rate, its meshes.
    host::HostApp& app = host::HostApp::Get();
    SceneOptions sceneOptions = o.scene;
    if (o.haveFps) {
        app.SetFrameRate(o.fps);
        sceneOptions.frameRate = o.fps;
    }
    app.SetScene(LoadScene(sceneOptions));
    const host::Scene& scene = *app.GetScene();
    plan.fps = app.GetFrameRate();
    if (!o.frames.empty()) {
        const size_t colon = o.frames.find(':');
        if (colon == std::string::npos)
            throw UsageError("--frames takes A:B, two whole numbers (got " + Quote(o.frames) + ")");
        plan.first = WholeNumber(o.frames.substr(0, colon), "--frames");
        plan.last = WholeNumber(o.frames.substr(colon + 1), "--frames");
        if (plan.last < plan.first)
            throw UsageError("--frames " + o.frames + ": the last frame is before the first");
    } else {
        plan.first = static_cast<long long>(std::floor(scene.GetStartFrame()));
        plan.last = static_cast<long long>(std::ceil(scene.GetEndFrame()));
    }
    CheckCacheTimes(plan.first, plan.last, plan.fps,
                    o.frames.empty() ? "the scene's frame range " + std::to_string(plan.first) +
                                           ":" + std::to_string(plan.last)
                                     : "--frames " + o.frames);
    const long long frames = plan.last - plan.first + 1;
    if (o.chunks < 1 || o.chunks > frames)
        throw UsageError("--chunks must be from 1 to the " + std::to_string(frames) +
                         " frames of the range (got " + std::to_string(o.chunks) + ")");
    for (long long k = 0; k < o.chunks; ++k)
        plan.chunks.emplace_back(plan.first + k * frames / o.chunks,
                                 plan.first + (k + 1) * frames / o.chunks - 1);

    std::vector<const host::Item*> items;
    if (o.haveItems) {
        std::string list = o.items + ",";
        for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos;
             at = comma + 1) {
            const std::string name = list.substr(at, comma - at);
            const host::Item* item = scene.FindItem(Widen(name));
            if (!item)
                throw UsageError("--items: " + Quote(name) +
                                 " names no item of the scene (see xsihost list)");
            items.push_back(item);
        }
    } else {
        for (int i = 0; i < scene.ItemCount(); ++i)
            items.push_back(scene.GetItem(i));
    }
    std::set<std::string> seen;
    for (const host::Item* item : items) {
        if (std::string(item->GetKindName()) != "mesh")
            continue;
        const std::string name = Narrow(item->GetFullName());
        const std::string cache = (plan.out / "mdd" / (o.prefix + name + ".mdd")).string();
        if (!seen.insert(cache).second)
            continue;
        plan.caches.push_back({cache, item->GetPointCount()});
        if (plan.on.lwo)
            plan.meshFiles.push_back((plan.out / "lwo" / (name + ".lwo")).string());
        if (plan.on.emdl)
            plan.meshFiles.push_back((plan.out / "emdl" / (name + ".emdl")).string());
    }
    if (plan.caches.empty())
        throw UsageError("the items to bake hold no mesh: there are no caches to split");

    // What every bake job is given, as the user gave it.
    std::vector<std::string>& b = plan.bakeOptions;
    if (o.scene.demo)
        b.push_back("--demo");
    if (!o.scene.file.empty())
        b.insert(b.end(), {"--scene", o.scene.file});
    if (!o.scene.animation.empty())
        b.insert(b.end(), {"--anim", o.scene.animation});
    if (o.scene.keepUnits)
        b.push_back("--keep-units");
    for (const std::string& arg : LoadLimitArguments(o.scene))
        b.push_back(arg);
    if (o.haveFps)
        b.insert(b.end(), {"--fps", Exact(o.fps)});
    if (o.haveItems)
        b.insert(b.end(), {"--items", o.items});
    if (!o.prefix.empty())
        b.insert(b.end(), {"--prefix", o.prefix});
    if (o.local)
        b.push_back("--local");
    if (!o.plugins.empty())
        b.insert(b.end(), {"--plugins", o.plugins});
    return plan;
}

std::string Range(long long first, long long last) {
    return std::to_string(first) + ":" + std::to_string(last);
}

// What --only names: chunk numbers and ranges of them, "scene", "join".
struct Selection {
    std::vector<int> chunks;
    bool scene = false;
    bool join = false;
    bool all = false;
};

Selection Select(const std::string& only, const FarmPlan& plan) {
    Selection s;
    if (only.empty()) {
        for (size_t k = 0; k < plan.chunks.size(); ++k)
            s.chunks.push_back(static_cast<int>(k));
        s.scene = plan.sceneJob;
        s.join = true;
        s.all = true;
        return s;
    }
    std::set<int> chunks;
    std::string list = only + ",";
    for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
        const std::string word = list.substr(at, comma - at);
        if (word == "scene") {
            if (!plan.sceneJob)
                throw UsageError("--only scene: this bake has no scene job (--outputs)");
            s.scene = true;
            continue;
        }
        if (word == "join") {
            s.join = true;
            continue;
        }
        const size_t dash = word.find('-', 1);
        const long long from = WholeNumber(word.substr(0, dash), "--only");
        const long long to =
            dash == std::string::npos ? from : WholeNumber(word.substr(dash + 1), "--only");
        if (from < 0 || to < from || to >= static_cast<long long>(plan.chunks.size()))
            throw UsageError("--only: " + Quote(word) + " is no chunk of 0 to " +
                             std::to_string(plan.chunks.size() - 1) +
                             ", nor \"scene\" or \"join\"");
        for (long long k = from; k <= to; ++k)
            chunks.insert(static_cast<int>(k));
    }
    s.chunks.assign(chunks.begin(), chunks.end());
    return s;
}

void WriteScript(const fs::path& path, const std::string& text) {
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush())
            throw UsageError("cannot write the job script " + Quote(path.string()));
    }
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

void WriteScripts(const FarmPlan& plan, const FarmOptions& o) {
    const std::string head = "#!/bin/sh\n# Written by xsihost farm slurm for " + plan.out.string() +
                             "; submitted with sbatch.\n";
    std::string chunks = head + "# One chunk bake per array task, into " + plan.chunkDir.string() +
                         "/<task>.\ncase \"$SLURM_ARRAY_TASK_ID\" in\n";
    for (size_t k = 0; k < plan.chunks.size(); ++k)
        chunks += std::to_string(k) +
                  ") frames=" + Range(plan.chunks[k].first, plan.chunks[k].second) + " ;;\n";
    chunks += "*) echo \"chunks.sh: no chunk '$SLURM_ARRAY_TASK_ID' in this split\" >&2; exit 2 "
              ";;\nesac\n";
    chunks += "exec " + ShellWord(plan.xsihost) +
              " bake --quiet --outputs mdd --frames \"$frames\" " + Words(plan.bakeOptions) + " " +
              ShellWord(plan.chunkDir.string() + "/") + "\"$SLURM_ARRAY_TASK_ID\"\n";
    WriteScript(plan.farm / "chunks.sh", chunks);

    std::vector<std::string> scene = {"bake", "--quiet", "--link-caches", "--frames",
                                      Range(plan.first, plan.last)};
    if (o.haveOutputs) {
        std::string list;
        const bool on[7] = {false,       plan.on.lwo, plan.on.emdl, plan.on.lws,
                            plan.on.mel, plan.on.fxs, plan.on.zsc};
        for (int k = 0; k < 7; ++k)
            if (on[k])
                list += std::string(list.empty() ? "" : ",") + kOutputNames[k];
        if (!list.empty())
            scene.insert(scene.end(), {"--outputs", list});
    }
    if (o.motionFiles)
        scene.push_back("--motion-files");
    scene.insert(scene.end(), plan.bakeOptions.begin(), plan.bakeOptions.end());
    scene.push_back(plan.out.string());
    WriteScript(plan.farm / "scene.sh", head +
                                            "# The scene files and mesh files of the whole "
                                            "range, linking the joined caches.\nexec " +
                                            ShellWord(plan.xsihost) + " " + Words(scene) + "\n");

    std::string join =
        head + "# The chunks' caches joined into " + (plan.out / "mdd").string() +
        ", checked against the range.\nset -e\n" + ShellWord(plan.xsihost) + " " +
        Words({"join", "--tree", plan.chunkDir.string(), "--fps", Exact(plan.fps), "--frames",
               Range(plan.first, plan.last), (plan.out / "mdd").string()}) +
        "\n";
    if (!o.keepChunks)
        join += "rm -rf " + ShellWord(plan.chunkDir.string()) + "\n";
    WriteScript(plan.farm / "join.sh", join);
}

// The stamp of a job's submission: a file in the farm folder whose time the
// files the job writes must not be older than (both times come from the
// file system that holds them).
fs::path Stamp(const FarmPlan& plan, const std::string& job) {
    return plan.farm / (".submitted-" + job);
}

void Touch(const fs::path& path) {
    std::ofstream(path, std::ios::trunc) << "submitted\n";
    if (!fs::exists(path))
        throw UsageError("cannot write " + Quote(path.string()));
}

bool ModifiedSince(const std::string& path, const fs::path& stamp) {
    struct stat file = {}, mark = {};
    if (stat(path.c_str(), &file) != 0 || stat(stamp.c_str(), &mark) != 0)
        return false;
    return std::make_pair(file.st_mtim.tv_sec, file.st_mtim.tv_nsec) >=
           std::make_pair(mark.st_mtim.tv_sec, mark.st_mtim.tv_nsec);
}

// A job this command submitted.
struct Submitted {
    std::string id;
    std::string what; // "chunks", "scene", "join"
};

std::vector<std::string> SbatchCommon(const FarmOptions& o) {
    std::error_code ec;
    std::vector<std::string> args = {"--chdir=" + fs::current_path(ec).string()};
    if (!o.partition.empty())
        args.push_back("--partition=" + o.partition);
    if (o.cpusPerTask > 0)
        args.push_back("--cpus-per-task=" + std::to_string(o.cpusPerTask));
    if (!o.time.empty())
        args.push_back("--time=" + o.time);
    args.insert(args.end(), o.sbatch.begin(), o.sbatch.end());
    return args;
}

std::vector<Submitted> SubmitJobs(const FarmPlan& plan, const FarmOptions& o, const Selection& s) {
    const std::vector<std::string> common = SbatchCommon(o);
    std::vector<Submitted> done;
    auto submit = [&](std::vector<std::string> args, const fs::path& script,
                      const std::string& what) {
        args.insert(args.begin(), common.begin(), common.end());
        args.push_back(script.string());
        try {
            done.push_back({SubmitJob(args, what + " job"), what});
        } catch (...) {
            std::vector<std::string> ids;
            for (const Submitted& job : done)
                ids.push_back(job.id);
            CancelJobs(ids); // no half of a split left running
            throw;
        }
        Print(done.back().id + " " + what + "\n");
        std::fflush(stdout);
    };
    if (!s.chunks.empty()) {
        std::string array;
        for (int k : s.chunks)
            array += (array.empty() ? "" : ",") + std::to_string(k);
        submit({"--job-name=zk-chunks", "--array=" + array,
                "--output=" + (plan.logs / "chunk_%a.log").string()},
               plan.farm / "chunks.sh", "chunks");
    }
    if (s.scene) {
        Touch(Stamp(plan, "scene"));
        submit({"--job-name=zk-scene", "--output=" + (plan.logs / "scene.log").string()},
               plan.farm / "scene.sh", "scene");
    }
    if (s.join) {
        Touch(Stamp(plan, "join"));
        std::vector<std::string> args = {"--job-name=zk-join",
                                         "--output=" + (plan.logs / "join.log").string()};
        if (!s.chunks.empty())
            args.insert(args.end(),
                        {"--dependency=afterok:" + done.front().id, "--kill-on-invalid-dep=yes"});
        submit(args, plan.farm / "join.sh", "join");
    }
    return done;
}

// The array task indexes Slurm writes ("3", "2-5", "0,4-6", "0-7:2"), those
// of the split only.
std::vector<int> TaskIndexes(const std::string& text, size_t chunks) {
    std::vector<int> tasks;
    std::string list = text + ",";
    for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
        const std::string word = list.substr(at, comma - at);
        long long from = -1, to = -1, step = 1;
        const size_t dash = word.find('-'), colon = word.find(':');
        std::from_chars(word.data(), word.data() + word.size(), from);
        to = from;
        if (dash != std::string::npos)
            std::from_chars(word.data() + dash + 1, word.data() + word.size(), to);
        if (colon != std::string::npos)
            std::from_chars(word.data() + colon + 1, word.data() + word.size(), step);
        for (long long k = from; k >= 0 && step > 0 && k <= to; k += step)
            if (k < static_cast<long long>(chunks))
                tasks.push_back(static_cast<int>(k));
    }
    return tasks;
}

// Polls the jobs until each has ended (or left the controller); the states
// they ended in, per job, one per task.
std::map<std::string, std::vector<JobState>> WaitForJobs(const std::vector<Submitted>& jobs,
                                                         double poll, bool quiet) {
    std::map<std::string, std::vector<JobState>> last;
    std::map<std::string, std::string> shown;
    for (;;) {
        bool running = false;
        for (const Submitted& job : jobs) {
            std::vector<JobState> states = JobStates(job.id);
            if (states.empty() && last.count(job.id))
                states = last[job.id]; // gone from the controller: as last seen
            for (const JobState& task : states) {
                const bool ended = IsFinalState(task.state);
                running |= !ended && !states.empty();
                const bool several = task.arrayTask.find_first_of("-,") != std::string::npos;
                const std::string name = task.arrayTask.empty()
                                             ? job.what
                                             : (several ? "chunks " : "chunk ") + task.arrayTask;
                if (!quiet && shown[name] != task.state)
                    std::fprintf(stderr, "xsihost: %s (job %s): %s%s\n", name.c_str(),
                                 task.jobId.c_str(), task.state.c_str(),
                                 task.state == "PENDING" && !task.reason.empty() &&
                                         task.reason != "None"
                                     ? (" (" + task.reason + ")").c_str()
                                     : "");
                shown[name] = task.state;
            }
            last[job.id] = states;
        }
        if (!running)
            return last;
        std::this_thread::sleep_for(std::chrono::duration<double>(poll));
    }
}

float TimeAt(const std::string& path, uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    unsigned char b[4] = {};
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(b), 4);
    const uint32_t bits =
        (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// What does not check out, one line each.
std::vector<std::string> CheckFiles(const FarmPlan& plan, const FarmOptions& o) {
    std::vector<std::string> problems;
    const long long frames = plan.last - plan.first + 1;
    const float rate = static_cast<float>(plan.fps);
    for (const Cache& cache : plan.caches) {
        struct stat st = {};
        unsigned char header[8] = {};
        std::ifstream in(cache.path, std::ios::binary);
        if (stat(cache.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            !in.read(reinterpret_cast<char*>(header), 8)) {
            problems.push_back(cache.path + ": not there (the join has not made it)");
            continue;
        }
        ZK_MddLayout layout;
        std::string error;
        if (!ZK_MddLayoutOf(header, static_cast<uint64_t>(st.st_size), &layout, &error) ||
            !layout.complete) {
            problems.push_back(cache.path + ": not a whole cache" +
                               (error.empty() ? std::string() : ": " + error));
            continue;
        }
        const float first = TimeAt(cache.path, 8);
        const float last = TimeAt(cache.path, 8 + 4 * static_cast<uint64_t>(frames - 1));
        if (layout.frameCount != frames || layout.pointCount != cache.points ||
            first != static_cast<float>(plan.first) / rate ||
            last != static_cast<float>(plan.last) / rate)
            problems.push_back(cache.path + ": holds " + std::to_string(layout.frameCount) +
                               " frames of " + std::to_string(layout.pointCount) +
                               " points, not frames " + Range(plan.first, plan.last) + " of " +
                               std::to_string(cache.points) + " points at " + Exact(plan.fps) +
                               " fps");
        else if (!ModifiedSince(cache.path, Stamp(plan, "join")))
            problems.push_back(cache.path + ": older than the last join submitted");
    }
    if (!plan.sceneJob)
        return problems;
    std::vector<std::string> files = plan.meshFiles;
    const std::pair<bool, const char*> scenes[] = {{plan.on.lws, "scene.lws"},
                                                   {plan.on.mel, "scene.mel"},
                                                   {plan.on.fxs, "scene.fxs"},
                                                   {plan.on.zsc, "scene.zsc"}};
    for (const auto& [wanted, name] : scenes)
        if (wanted)
            files.push_back((plan.out / name).string());
    // The motion files, as the scene job listed them.
    if (o.motionFiles) {
        std::ifstream log(plan.logs / "scene.log");
        for (std::string line; std::getline(log, line);)
            if (line.rfind((plan.out / "motion").string() + "/", 0) == 0)
                files.push_back(line);
    }
    for (const std::string& file : files) {
        struct stat st = {};
        if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
            problems.push_back(file + ": not there (the scene job has not made it)");
        else if (!ModifiedSince(file, Stamp(plan, "scene")))
            problems.push_back(file + ": older than the last scene job submitted");
    }
    return problems;
}

int Farm(const FarmOptions& o) {
    FarmPlan plan = MakePlan(o);
    host::HostApp::Get().SetScene(nullptr); // not held while the jobs run
    const Selection selection = Select(o.only, plan);
    if (o.check && (!o.only.empty() || o.wait))
        throw UsageError("--check submits nothing: give it without --only and --wait");

    int status = kExitOK;
    std::vector<std::string> problems;
    std::set<int> againChunks;   // what to submit again
    std::set<std::string> again; // "scene", "join"
    if (!o.check) {
        std::error_code ec;
        if (selection.all)
            fs::remove_all(plan.chunkDir, ec); // the chunks of an earlier split
        fs::create_directories(plan.logs, ec);
        if (ec)
            throw UsageError("cannot create the folder " + Quote(plan.logs.string()) + ": " +
                             ec.message());
        WriteScripts(plan, o);
        const std::vector<Submitted> jobs = SubmitJobs(plan, o, selection);
        if (!o.quiet && o.wait)
            std::fprintf(stderr, "xsihost: waiting for the jobs (Ctrl-C stops the waiting, "
                                 "not the jobs)\n");
        if (!o.wait)
            return kExitOK;
        const auto ended = WaitForJobs(jobs, o.poll, o.quiet);
        for (const Submitted& job : jobs) {
            for (const JobState& task : ended.at(job.id)) {
                if (task.state == "COMPLETED")
                    continue;
                std::string name = job.what;
                if (job.what == "chunks") {
                    const std::vector<int> tasks = TaskIndexes(task.arrayTask, plan.chunks.size());
                    name = (tasks.size() == 1 ? "chunk " : "chunks ") + task.arrayTask;
                    if (tasks.size() == 1)
                        name += " (frames " +
                                Range(plan.chunks[static_cast<size_t>(tasks[0])].first,
                                      plan.chunks[static_cast<size_t>(tasks[0])].second) +
                                ")";
                    againChunks.insert(tasks.begin(), tasks.end());
                    again.insert("join");
                } else {
                    again.insert(job.what);
                }
                const std::string log =
                    job.what == "chunks" ? "chunk_" + task.arrayTask + ".log" : job.what + ".log";
                problems.push_back(
                    name + ", job " + task.jobId + ", ended " +
                    (task.state.empty() ? "unseen" : task.state) +
                    (task.reason.empty() || task.reason == "None" ? "" : " (" + task.reason + ")") +
                    ": see " + (plan.logs / log).string());
            }
            if (ended.at(job.id).empty())
                problems.push_back(job.what + ", job " + job.id +
                                   ": the controller no longer knows it; the files tell");
        }
    }
    const bool jobsFailed = !problems.empty();
    for (const std::string& problem : CheckFiles(plan, o))
        problems.push_back(problem);
    if (!problems.empty()) {
        status = kExitCommandFailed;
        for (const std::string& problem : problems)
            std::fprintf(stderr, "xsihost: %s\n", problem.c_str());
        std::string only;
        for (int chunk : againChunks)
            only += (only.empty() ? "" : ",") + std::to_string(chunk);
        for (const char* job : {"scene", "join"})
            if (again.count(job))
                only += (only.empty() ? "" : ",") + std::string(job);
        if (!only.empty())
            std::fprintf(stderr,
                         "xsihost: submit again what failed: the same command with --only %s\n",
                         only.c_str());
        else if (!jobsFailed && !o.check)
            std::fprintf(stderr,
                         "xsihost: the jobs completed but their files do not check out: "
                         "submit the whole split again (the same command without --only)\n");
    } else if (!o.quiet) {
        std::fprintf(
            stderr, "xsihost: %s checks out: %zu caches of frames %s and the scene files\n",
            plan.out.string().c_str(), plan.caches.size(), Range(plan.first, plan.last).c_str());
    }
    return status;
}

} // namespace

Subcommand AddFarmCommand(CLI::App& app) {
    auto options = std::make_shared<FarmOptions>();
    CLI::App* farm = app.add_subcommand("farm", "Split a bake over a farm manager's jobs");
    farm->require_subcommand(1);
    CLI::App* sub = farm->add_subcommand(
        "slurm", "Submit a bake split into frame chunks to Slurm: chunk bakes, the scene "
                 "files, and the join of the caches");
    AddSceneOptions(*sub, options->scene);
    sub->add_option("--plugins", options->plugins, "Folder of the plug-ins the jobs load");
    sub->add_option("--fps", options->fps, "Frames per second (default: the scene file's, else 30)")
        ->check(FrameRateValidator())
        ->each([options](const std::string&) { options->haveFps = true; });
    sub->add_option("--frames", options->frames, "Frame range A:B (default: the scene's)")
        ->type_name("A:B");
    sub->add_option("--items", options->items, "Items to bake, a,b,... (default: all)")
        ->each([options](const std::string&) { options->haveItems = true; });
    sub->add_option("--prefix", options->prefix, "Prefix of the MDD file names");
    sub->add_flag("--local", options->local, "Cache points in object space");
    sub->add_flag("--motion-files", options->motionFiles,
                  "Write the motion to LightWave motion files in motion/");
    sub->add_option("--outputs", options->outputs,
                    "Outputs to make, a,b,... of mdd, lwo, emdl, lws, mel, fxs, zsc (default: all)")
        ->each([options](const std::string&) { options->haveOutputs = true; });
    sub->add_option("--chunks", options->chunks, "Number of chunk jobs the range is split into")
        ->required();
    sub->add_option("--partition", options->partition, "Slurm partition of every job");
    sub->add_option("--cpus-per-task", options->cpusPerTask,
                    "CPUs of every job (xsihost sizes its threads from the CPUs it may run on)")
        ->check(CLI::Range(1, 4096));
    sub->add_option("--time", options->time, "Time limit of every job, as sbatch takes it");
    sub->add_option("--sbatch", options->sbatch,
                    "One more sbatch option for every job (e.g. --sbatch=--mem=8G); repeatable")
        ->allow_extra_args(false);
    sub->add_option("--only", options->only,
                    "Submit only these: chunk numbers (3, 5-7), scene, join; comma-separated");
    sub->add_flag("--keep-chunks", options->keepChunks,
                  "Keep the chunks' caches after the join (default: removed once joined)");
    sub->add_flag("--wait", options->wait,
                  "Wait for the jobs, then check every file; exit 0 only when all check out");
    sub->add_flag("--check", options->check, "Submit nothing; check the files of the split bake");
    sub->add_option("--poll", options->poll, "Seconds between looks at the jobs while waiting")
        ->check(CLI::Range(0.1, 3600.0));
    sub->add_option("--xsihost", options->xsihost,
                    "The xsihost the jobs run, the same on every node (default: this one)");
    sub->add_flag("--quiet", options->quiet, "Only the job ids and the problems");
    sub->add_option("outdir", options->outDir, "Output folder, shared by every node")->required();
    return Subcommand{farm, [options, sub] {
                          if (!sub->parsed())
                              throw UsageError("farm needs a farm manager: farm slurm");
                          if (options->scene.file.empty())
                              return Farm(*options);
                          // The scene file is read in a watched child (LoadWatch.h), which
                          // reports its own errors as main() does.
                          const MemoryLimit limit = MemoryLimitOf(options->scene.maxMemory);
                          return RunWatchingSceneLoad(
                              options->scene.file,
                              [options] {
                                  try {
                                      return Farm(*options);
                                  } catch (const UsageError& e) {
                                      std::fprintf(stderr, "xsihost: %s\n", e.what());
                                      return kExitUsage;
                                  } catch (const std::exception& e) {
                                      std::fprintf(stderr, "xsihost: %s\n", e.what());
                                      return kExitCommandFailed;
                                  }
                              },
                              limit);
                      }};
}

} // namespace xsihost
