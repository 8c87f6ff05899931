// xsihost bake [--scene FILE | --demo] [--plugins DIR] [--fps RATE] [--frames A:B]
//              [--items a,b,...] [--prefix P] [--local] [--motion-files] [--keep-units]
//              [--outputs mdd,lwo,...] [--link-caches] [--quiet] OUTDIR
//
// Runs ZK_XSI_Baker with its outputs switched on under OUTDIR: mdd/, lwo/,
// emdl/, scene.lws, scene.mel, scene.fxs and scene.zsc (--outputs names
// some of them: mdd, lwo, emdl, lws, mel, fxs, zsc; default all), motion
// sampled for every kind and keyed into the scene files, or with
// --motion-files written as LightWave motion files into motion/ instead. It
// bakes every item of the scene (or --items) over the scene's frame range
// (or --frames).
//
// --link-caches: the scene files link the caches mdd/ is to hold, but the
// caches are not written (they come from bakes of parts of the range joined
// with `xsihost join`). The mesh files are made by a run of their own; the
// scene files by a run whose cache (and mesh file) writes go nowhere and in
// which no mesh is evaluated (BakeOutputs.h), so the bake costs about what
// the files it writes cost, whatever the points and frames. Every file it
// writes is the one a bake of the same range with the caches writes; mdd/
// is neither created nor touched.
//
// Before anything is written it refuses (one line, exit 2): an OUTDIR that
// is empty or holds a control character or a backslash; a prefix or item
// name holding a path separator, "..", or a control character; an --items
// name that names no item (or more than one by its short name); a scene
// whose own range is longer than kMaxSceneFrames; any file path that would
// not lie under OUTDIR or would not fit the command's 255-byte path field;
// and caches that would not fit the free space of OUTDIR's file system.
//
// After the run it prints on stdout each file it completed, and names on
// stderr each file it wrote but did not complete. A point cache is complete
// when its header holds the frame count asked and its size is exactly
// 8 + 4F + 12P(F + 1) for its header's F frames and P points; any other
// file when the command returned OK, was not cancelled, and the file is a
// non-empty regular file. A file this run did not write (absent, or
// unchanged since before the run) is neither; after a command that returned
// OK it is named as not written and the bake fails. Folders the bake created
// and left empty are removed.
#include "BakeOutputs.h"
#include "RunArguments.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/scene/Item.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"
#include "host/ui/Terminal.h"

#include <xsi_application.h>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace xsihost {

namespace {

namespace fs = std::filesystem;

// The longest frame range a scene may give on its own; a longer one must be
// narrowed with --frames.
constexpr long long kMaxSceneFrames = 1000000;
// The longest path the command takes: its path fields hold 255 bytes with
// the terminating zero.
constexpr size_t kMaxPathBytes = 254;

struct BakeOptions {
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
    bool linkCaches = false;
    bool quiet = false;
    std::string outDir;
};

// "A:B" with whole numbers A <= B.
void ParseFrames(const std::string& text, int& first, int& last) {
    const size_t colon = text.find(':');
    auto whole = [&](const std::string& part, int& out) {
        if (part.empty())
            return false;
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(part.c_str(), &end, 10);
        if (*end != '\0' || errno == ERANGE || v < -1000000000L || v > 1000000000L)
            return false;
        out = static_cast<int>(v);
        return true;
    };
    if (colon == std::string::npos || !whole(text.substr(0, colon), first) ||
        !whole(text.substr(colon + 1), last))
        throw UsageError("--frames takes A:B, two whole numbers (got " + Quote(text) + ")");
    if (last < first)
        throw UsageError("--frames " + text + ": the last frame is before the first");
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const unsigned char b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

void CheckOutDir(const std::string& out) {
    if (out.empty())
        throw UsageError("the output folder is empty; name a folder");
    if (HasControlCharacter(out))
        throw UsageError("the output folder " + Quote(out) + " holds a control character");
    if (out.find('\\') != std::string::npos)
        throw UsageError("the output folder " + Quote(out) +
                         " holds a backslash, which the command takes as a separator");
}

// A prefix or an item name becomes part of a file name under OUTDIR.
void CheckNamePart(const std::string& text, const std::string& what) {
    const char* problem = nullptr;
    if (text.find('/') != std::string::npos || text.find('\\') != std::string::npos)
        problem = "a path separator";
    else if (text.find("..") != std::string::npos)
        problem = "\"..\"";
    else if (HasControlCharacter(text))
        problem = "a control character";
    if (problem)
        throw UsageError(what + " " + Quote(text) + " holds " + problem +
                         "; it must name a file inside the output folder");
}

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> pieces(1);
    for (char c : list) {
        if (c == ',')
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    return pieces;
}

// The items to bake: every --items name resolved as the command resolves it
// (exact full name, else a unique short name), or every item of the scene.
std::vector<const host::Item*> ResolveItems(const host::Scene& scene, bool given,
                                            const std::string& list) {
    std::vector<const host::Item*> items;
    if (!given) {
        for (int i = 0; i < scene.ItemCount(); ++i) {
            const host::Item* item = scene.GetItem(i);
            if (Narrow(item->GetFullName()).find(',') != std::string::npos)
                throw UsageError("the item name " + Quote(Narrow(item->GetFullName())) +
                                 " holds a comma; name the items with --items");
            items.push_back(item);
        }
        if (items.empty())
            throw UsageError("the scene holds no item to bake");
        return items;
    }
    for (const std::string& name : SplitList(list)) {
        CheckNamePart(name, "the item name");
        const host::Item* item = scene.FindItem(Widen(name));
        if (!item) {
            int sameShortName = 0;
            for (int i = 0; i < scene.ItemCount(); ++i)
                sameShortName += scene.GetItem(i)->GetName() == Widen(name) ? 1 : 0;
            throw UsageError("--items: " + Quote(name) +
                             (sameShortName > 1
                                  ? " is the short name of more than one item; "
                                    "give the full name"
                                  : " names no item of the scene (see xsihost list)"));
        }
        items.push_back(item);
    }
    return items;
}

// A file the bake is to write (or, linked, to link without writing it), and
// for a point cache its point count.
struct Expected {
    std::string path;
    bool cache = false;
    long long points = 0;
    bool linked = false;
    bool meshFile = false; // LWO or EMDL
};

std::vector<Expected> ExpectedFiles(const fs::path& out,
                                    const std::vector<const host::Item*>& items,
                                    const std::string& prefix, bool motionFiles,
                                    const BakeOutputs& on, bool linkCaches) {
    std::vector<Expected> files;
    std::set<std::string> seen;
    auto add = [&](const fs::path& path, bool cache, long long points, bool linked = false,
                   bool meshFile = false) {
        if (seen.insert(path.string()).second)
            files.push_back({path.string(), cache, points, linked, meshFile});
    };
    for (const host::Item* item : items) {
        const std::string name = Narrow(item->GetFullName());
        CheckNamePart(name, "the item name");
        const std::string kind = item->GetKindName();
        if (kind == "mesh") {
            if (on.mdd || linkCaches)
                add(out / "mdd" / (prefix + name + ".mdd"), true, item->GetPointCount(),
                    linkCaches);
            if (on.lwo)
                add(out / "lwo" / (name + ".lwo"), false, 0, false, true);
            if (on.emdl)
                add(out / "emdl" / (name + ".emdl"), false, 0, false, true);
        }
        if (motionFiles) {
            add(out / "motion" / (name + ".mot"), false, 0);
            if (kind == "camera")
                add(out / "motion" / (name + "_zoom.env"), false, 0);
        }
    }
    const std::pair<bool, const char*> scenes[] = {
        {on.lws, "scene.lws"}, {on.mel, "scene.mel"}, {on.fxs, "scene.fxs"}, {on.zsc, "scene.zsc"}};
    for (const auto& [wanted, scene] : scenes)
        if (wanted)
            add(out / scene, false, 0);
    return files;
}

// Every path must lie under the output folder once "." and ".." are read,
// and fit the command's path field.
void CheckUnder(const fs::path& out, const std::vector<Expected>& files) {
    const fs::path root = out.lexically_normal();
    for (const Expected& file : files) {
        const fs::path rel = fs::path(file.path).lexically_normal().lexically_relative(root);
        const bool inside =
            !rel.empty() && *rel.begin() != ".." && *rel.begin() != "." && rel.is_relative();
        if (!inside)
            throw UsageError("the output path " + Quote(file.path) +
                             " would not lie inside the output folder");
        if (file.path.size() > kMaxPathBytes)
            throw UsageError("the output path " + Quote(file.path) + " is longer than " +
                             std::to_string(kMaxPathBytes) + " bytes");
    }
}

// 8 + 4F + 12P(F + 1): a point cache of F frames and P points. Saturates
// instead of wrapping.
unsigned long long CacheBytes(long long frames, long long points) {
    const long double bytes =
        8.0L + 4.0L * frames + 12.0L * static_cast<long double>(points) * (frames + 1);
    return bytes >= 1.8e19L ? ~0ULL : static_cast<unsigned long long>(bytes);
}

// The caches must fit the free space of the file system that holds (or will
// hold) the output folder.
void CheckFreeSpace(const fs::path& out, const std::vector<Expected>& files, long long frames) {
    unsigned long long need = 0;
    for (const Expected& file : files)
        if (file.cache && !file.linked)
            need = std::min(~0ULL - 1, need + CacheBytes(frames, file.points));
    fs::path probe = fs::absolute(out);
    std::error_code ec;
    while (!fs::exists(probe, ec) && probe.has_relative_path())
        probe = probe.parent_path();
    struct statvfs vfs;
    if (statvfs(probe.c_str(), &vfs) != 0)
        return; // the folder creation reports what is wrong with the place
    const unsigned long long free = static_cast<unsigned long long>(vfs.f_bavail) *
                                    static_cast<unsigned long long>(vfs.f_frsize);
    if (need > free)
        throw UsageError("the point caches need " + std::to_string(need) + " bytes, but " +
                         Quote(probe.string()) + " has " + std::to_string(free) +
                         " bytes free; bake fewer frames or items");
}

// Creates a folder and its missing parents; each folder it created is added
// to created (parents first).
void MakeFolder(const fs::path& folder, std::vector<fs::path>& created) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    fs::create_directories(folder, ec);
    created.insert(created.end(), missing.rbegin(), missing.rend());
    if (ec || !fs::is_directory(folder))
        throw UsageError("cannot create the folder " + Quote(folder.string()) + ": " +
                         (ec ? ec.message() : std::string("not a folder")));
}

// Removes the folders the bake created that it left empty, deepest first.
void RemoveEmptyFolders(const std::vector<fs::path>& created) {
    for (auto it = created.rbegin(); it != created.rend(); ++it) {
        std::error_code ec;
        if (fs::is_directory(*it, ec) && fs::is_empty(*it, ec))
            fs::remove(*it, ec);
    }
}

// Size and modification time of a file, to tell whether a run wrote it.
struct Stamp {
    bool exists = false;
    bool regular = false;
    long long modified = 0;
    unsigned long long size = 0;
    bool operator==(const Stamp& o) const {
        return exists == o.exists && regular == o.regular && modified == o.modified &&
               size == o.size;
    }
};

Stamp StampOf(const std::string& path) {
    Stamp stamp;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.regular = S_ISREG(st.st_mode);
    stamp.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    stamp.size = static_cast<unsigned long long>(st.st_size);
    return stamp;
}

enum class Outcome { NotWritten, Complete, Incomplete };

// Whether a cache holds the frames asked: its header's frame count and a
// size of exactly 8 + 4F + 12P(F + 1).
bool CacheComplete(const std::string& path, const Stamp& stamp, long long frames) {
    unsigned char header[8];
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(header), sizeof header))
        return false;
    auto big = [&](int at) {
        return static_cast<long long>((static_cast<uint32_t>(header[at]) << 24) |
                                      (static_cast<uint32_t>(header[at + 1]) << 16) |
                                      (static_cast<uint32_t>(header[at + 2]) << 8) |
                                      static_cast<uint32_t>(header[at + 3]));
    };
    const long long f = big(0), p = big(4);
    return f == frames && stamp.size == CacheBytes(f, p);
}

Outcome Judge(const Expected& file, const Stamp& before, long long frames, bool succeeded) {
    const Stamp after = StampOf(file.path);
    if (!after.exists || after == before)
        return Outcome::NotWritten;
    if (!after.regular)
        return Outcome::Incomplete;
    const bool complete =
        file.cache ? CacheComplete(file.path, after, frames) : succeeded && after.size > 0;
    return complete ? Outcome::Complete : Outcome::Incomplete;
}

// The command's arguments, NAME=VALUE: the outputs `on` switched on under
// out (the MDD switch as mdd says), the motion files when motionFiles.
// Motion is sampled when a scene file or the motion files take it.
std::vector<std::string> BakerArguments(const BakeOptions& o, const fs::path& out,
                                        const std::string& items, int first, int last,
                                        const BakeOutputs& on, bool mdd, bool motionFiles) {
    auto path = [&](const char* name) { return (out / name).string(); };
    auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
    const std::map<std::string, std::string> values = {
        {"ZK_ObjString", items},
        {"ZK_FilePath", path("mdd")},
        {"ZK_StartFrame", std::to_string(first)},
        {"ZK_EndFrame", std::to_string(last)},
        {"ZK_ObjPreFix", o.prefix},
        {"ZK_MDDAct", flag(mdd)},
        {"ZK_LWOAct", flag(on.lwo)},
        {"ZK_LWOString", path("lwo")},
        {"ZK_EMDLAct", flag(on.emdl)},
        {"ZK_EMDLString", path("emdl")},
        {"ZK_LWSAct", flag(on.lws)},
        {"ZK_LWSString", path("scene.lws")},
        {"ZK_MELAct", flag(on.mel)},
        {"ZK_MELString", path("scene.mel")},
        {"ZK_FXSAct", flag(on.fxs)},
        {"ZK_FXSString", path("scene.fxs")},
        {"ZK_XSIAct", "false"},
        {"ZK_XSIString", ""},
        {"ZK_MAXAct", flag(on.zsc)},
        {"ZK_MAXString", path("scene.zsc")},
        {"ZK_MOTAct", flag(on.AnySceneFile() || motionFiles)},
        {"ZK_MOTSep", flag(motionFiles)},
        {"ZK_MOTString", path("motion")},
        {"ZK_CAMAct", "true"},
        {"ZK_LIGHTAct", "true"},
        {"ZK_NULLAct", "true"},
        {"ZK_OBJECTAct", "true"},
        {"ZK_LOCALSPACE", o.local ? "1" : "0"},
    };
    std::vector<std::string> args;
    for (const BakerArgument& argument : kBakerArguments)
        args.push_back(std::string(argument.name) + "=" + values.at(argument.name));
    return args;
}

int Bake(const BakeOptions& o) {
    if (!o.scene.demo && o.scene.file.empty())
        throw UsageError("bake needs a scene: --scene FILE or --demo");
    CheckOutDir(o.outDir);
    CheckNamePart(o.prefix, "the prefix");
    BakeOutputs on = o.haveOutputs ? ParseOutputs(o.outputs) : BakeOutputs();
    if (o.linkCaches) {
        if (o.haveOutputs && on.mdd)
            throw UsageError("--link-caches writes no cache: leave mdd out of --outputs");
        on.mdd = false;
    }

    host::HostApp& app = host::HostApp::Get();
    app.SetQuiet(o.quiet);
    host::ui::InstallInterruptHandler(o.quiet);
    // A scene file's frame range depends on the frame rate: set it first.
    SceneOptions sceneOptions = o.scene;
    if (o.haveFps) {
        app.SetFrameRate(o.fps);
        sceneOptions.frameRate = o.fps;
    }
    app.SetScene(LoadScene(sceneOptions));
    host::Scene& scene = *app.GetScene();

    int first = 0, last = 0;
    if (!o.frames.empty()) {
        ParseFrames(o.frames, first, last);
    } else {
        const double start = std::floor(scene.GetStartFrame());
        const double end = std::ceil(scene.GetEndFrame());
        if (!(end - start < static_cast<double>(kMaxSceneFrames)) || !(start > -1e9)) {
            char range[96];
            std::snprintf(range, sizeof range, "%.0f:%.0f", start, end);
            throw UsageError("the scene's frame range " + std::string(range) + " is longer than " +
                             std::to_string(kMaxSceneFrames) +
                             " frames; bake a part of it with --frames A:B");
        }
        first = static_cast<int>(start);
        last = static_cast<int>(end);
    }
    const long long frames = static_cast<long long>(last) - first + 1;
    // Values read "at the current time" (lens, pivots) are those of the
    // first baked frame.
    app.SetCurrentFrame(first);

    const std::vector<const host::Item*> items = ResolveItems(scene, o.haveItems, o.items);
    std::string itemList = o.items;
    if (!o.haveItems)
        for (const host::Item* item : items)
            itemList += (itemList.empty() ? "" : ",") + Narrow(item->GetFullName());

    const fs::path out(o.outDir);
    const std::vector<Expected> files =
        ExpectedFiles(out, items, o.prefix, o.motionFiles, on, o.linkCaches);
    CheckUnder(out, files);
    CheckFreeSpace(out, files, frames);

    host::RegisterSceneCommands(app);
    app.LoadPlugins(PluginFolder(o.plugins));
    host::CommandSignature signature;
    if (!app.GetCommandSignature(L"ZK_XSI_Baker", signature))
        throw UsageError("the ZK_XSI_Baker plug-in is not installed beside xsihost");
    auto arguments = [&](const BakeOutputs& switches, bool mdd, bool motionFiles) {
        return MapArguments(
            "ZK_XSI_Baker", signature,
            BakerArguments(o, out, itemList, first, last, switches, mdd, motionFiles));
    };
    const XSI::CValueArray args = arguments(on, on.mdd || o.linkCaches, o.motionFiles);

    std::vector<fs::path> created;
    const std::pair<bool, const char*> folders[] = {
        {on.mdd, "mdd"}, {on.lwo, "lwo"}, {on.emdl, "emdl"}, {o.motionFiles, "motion"}};
    for (const auto& [wanted, folder] : folders)
        if (wanted)
            MakeFolder(out / folder, created);
    // Made out of OUTDIR's own folder when nothing else is written there.
    MakeFolder(out, created);

    std::vector<Stamp> before;
    for (const Expected& file : files)
        before.push_back(StampOf(file.path));

    XSI::CValue ret;
    XSI::CStatus status = XSI::CStatus::OK;
    std::vector<std::string> unopened;
    if (!o.linkCaches) {
        status = XSI::Application().ExecuteCommand(L"ZK_XSI_Baker", args, ret);
    } else {
        // The mesh files first, by a run of their own: the scene files' run
        // shows the meshes without points. Then the scene files, by a run
        // that opens and fills the caches and makes the mesh files as a
        // whole bake does, every one of them into a sink.
        if (on.lwo || on.emdl) {
            BakeOutputs meshes;
            meshes.mdd = meshes.lws = meshes.mel = meshes.fxs = meshes.zsc = false;
            meshes.lwo = on.lwo;
            meshes.emdl = on.emdl;
            status = XSI::Application().ExecuteCommand(L"ZK_XSI_Baker",
                                                       arguments(meshes, false, false), ret);
        }
        if (!host::ui::IsInterrupted()) {
            std::vector<std::string> sinks;
            for (const Expected& file : files)
                if (file.linked || file.meshFile)
                    sinks.push_back(file.path);
            const SceneFilesRun run(sinks);
            const XSI::CStatus scenes =
                XSI::Application().ExecuteCommand(L"ZK_XSI_Baker", args, ret);
            if (status == XSI::CStatus::OK)
                status = scenes;
            // Each cache opened and headed: F times, no points.
            for (const Expected& file : files)
                if (file.linked &&
                    run.BytesWritten(file.path) != static_cast<long long>(CacheBytes(frames, 0)))
                    unopened.push_back(file.path);
        }
    }
    host::ui::FinishProgress();
    const bool cancelled = host::ui::IsInterrupted();
    const bool succeeded = status == XSI::CStatus::OK && !cancelled;

    std::vector<std::string> complete, incomplete, notWritten;
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].linked)
            continue;
        switch (Judge(files[i], before[i], frames, succeeded)) {
        case Outcome::Complete:
            complete.push_back(files[i].path);
            break;
        case Outcome::Incomplete:
            incomplete.push_back(files[i].path);
            break;
        case Outcome::NotWritten:
            notWritten.push_back(files[i].path);
            break;
        }
    }
    RemoveEmptyFolders(created);
    std::sort(complete.begin(), complete.end());
    std::sort(incomplete.begin(), incomplete.end());
    std::sort(notWritten.begin(), notWritten.end());
    for (const std::string& file : complete)
        std::printf("%s\n", file.c_str());
    std::fflush(stdout);
    for (const std::string& file : incomplete)
        std::fprintf(stderr, "xsihost: incomplete: %s\n", file.c_str());

    if (cancelled) {
        std::fprintf(stderr, "xsihost: ZK_XSI_Baker was cancelled (status 0x%08X)\n",
                     static_cast<unsigned>(status.GetCode()));
        return kExitCancelled;
    }
    if (status != XSI::CStatus::OK) {
        std::fprintf(stderr, "xsihost: ZK_XSI_Baker failed: status 0x%08X\n",
                     static_cast<unsigned>(status.GetCode()));
        return kExitCommandFailed;
    }
    // The command said OK: every file it was asked for must be there whole.
    for (const std::string& file : notWritten)
        std::fprintf(stderr, "xsihost: not written: %s\n", file.c_str());
    for (const std::string& file : unopened)
        std::fprintf(stderr, "xsihost: the scene files' run did not open the cache %s\n",
                     file.c_str());
    if (!incomplete.empty() || !notWritten.empty() || !unopened.empty()) {
        std::fprintf(stderr,
                     "xsihost: ZK_XSI_Baker returned OK but %zu files are incomplete or missing\n",
                     incomplete.size() + notWritten.size() + unopened.size());
        return kExitCommandFailed;
    }
    return kExitOK;
}

} // namespace

Subcommand AddBakeCommand(CLI::App& app) {
    auto options = std::make_shared<BakeOptions>();
    CLI::App* sub =
        app.add_subcommand("bake", "Bake a scene with ZK_XSI_Baker, every output switched on "
                                   "(or those --outputs names)");
    AddSceneOptions(*sub, options->scene);
    sub->add_option("--plugins", options->plugins,
                    "Folder of the plug-ins to load (default: ../lib/zk_xsi_baker from "
                    "xsihost, else beside xsihost)")
        ->check(CLI::ExistingDirectory);
    sub->add_option("--fps", options->fps,
                    "Frames per second, 0.001 to 100000 (default: the scene file's, else 30)")
        ->check(FrameRateValidator())
        ->each([options](const std::string&) { options->haveFps = true; });
    sub->add_option("--frames", options->frames, "Frame range A:B (default: the scene's)");
    sub->add_option("--items", options->items, "Items to bake, a,b,... (default: all)")
        ->each([options](const std::string&) { options->haveItems = true; });
    sub->add_option("--prefix", options->prefix, "Prefix of the MDD file names");
    sub->add_flag("--local", options->local, "Cache points in object space, not world space");
    sub->add_flag("--motion-files", options->motionFiles,
                  "Write the motion to LightWave motion files in motion/");
    sub->add_option("--outputs", options->outputs,
                    "Outputs to make, a,b,... of mdd, lwo, emdl, lws, mel, fxs, zsc (default: all)")
        ->each([options](const std::string&) { options->haveOutputs = true; });
    sub->add_flag("--link-caches", options->linkCaches,
                  "Link the caches of mdd/ from the scene files without writing them (they "
                  "come from bakes of parts of the range, joined with xsihost join)");
    sub->add_flag("--quiet", options->quiet, "Hide the progress bar and informational lines");
    sub->add_option("outdir", options->outDir, "Output folder")->required();
    return Subcommand{sub, [options] { return Bake(*options); }};
}

} // namespace xsihost
