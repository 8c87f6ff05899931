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
// (or --frames). An item whose full name is longer than the command's
// records hold (254 characters) is left out of "every item", with one
// warning line naming it; it still moves and deforms the items baked.
// --items naming one is refused.
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
// a symbolic link, or anything but a regular file, where an output or an
// output folder goes; files that would not fit the free space of OUTDIR's
// file system (the caches' sizes, the other files' estimated); caches that
// the open-file limit cannot hold open at once; and an OUTDIR another bake
// is writing into (BakeFiles.h: one bake per folder).
//
// The command writes each file under a temporary name beside it
// (BakeFiles.h). After the run each one is judged: a point cache is
// complete when its header holds the frame count asked and its size is
// exactly 8 + 4F + 12P(F + 1) for its header's F frames and P points; any
// other file when the command returned OK, was not cancelled, and the file
// is a non-empty regular file. A complete file is put in place; an
// incomplete one too when no file was there before (and named as
// incomplete), else it is dropped and the earlier file is left as it was
// (and named so). A file the command did not write is neither; after a
// command that returned OK it is named as not written and the bake fails.
// stdout lists the files completed. Folders the bake created and left empty
// are removed. With --json, stdout holds one JSON document instead
// (BakeReport.h).
//
// While the command runs, the first interrupt says at once what the run
// still writes; a second removes the temporary files, names the earlier
// files left as they were and ends the process.
#include "BakeFiles.h"
#include "BakeOutputs.h"
#include "BakeReport.h"
#include "Output.h"
#include "RunArguments.h"
#include "SceneJson.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/scene/Item.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"
#include "host/import/AssimpScene.h"
#include "host/ui/Clock.h"
#include "host/ui/Terminal.h"

#include <xsi_application.h>

#include <sys/resource.h>
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
// The longest full name the command's item records hold (255 bytes with the
// terminating zero, one byte per character).
constexpr size_t kMaxNameChars = 254;

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
    bool json = false;
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

// Why the command's records cannot hold an item's full name, or "".
std::string NameTooLong(const host::Item& item) {
    const size_t length = item.GetFullName().size();
    if (length <= kMaxNameChars)
        return "";
    return "its full name has " + std::to_string(length) +
           " characters; the baker's records hold " + std::to_string(kMaxNameChars);
}

// The items to bake: every --items name resolved as the command resolves it
// (exact full name, else a unique short name), or every item of the scene
// whose full name the command's records hold; each item left out is named in
// one warning line (it still moves and deforms the others).
std::vector<const host::Item*> ResolveItems(const host::Scene& scene, bool given,
                                            const std::string& list) {
    std::vector<const host::Item*> items;
    if (!given) {
        for (int i = 0; i < scene.ItemCount(); ++i) {
            const host::Item* item = scene.GetItem(i);
            const std::string name = Narrow(item->GetFullName());
            if (const std::string why = NameTooLong(*item); !why.empty()) {
                host::HostApp::Get().Log(
                    Widen("left out of the bake: " + Quote(name) + " (" + why + ")").c_str(),
                    XSI::siWarningMsg);
                continue;
            }
            if (name.find(',') != std::string::npos)
                throw UsageError("the item name " + Quote(name) +
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
        if (const std::string why = NameTooLong(*item); !why.empty())
            throw UsageError("--items: " + Quote(name) + " cannot be baked: " + why);
        items.push_back(item);
    }
    return items;
}

// A file the bake is to write (or, linked, to link without writing it), the
// item it belongs to, and for a point cache its point count.
struct Expected {
    std::string path;
    bool cache = false;
    long long points = 0;
    bool linked = false;
    bool meshFile = false; // LWO or EMDL
    std::string item;
    // Its size in bytes: a cache's exactly, any other file's estimated from
    // its items, points and frames.
    unsigned long long bytes = 0;
};

// 8 + 4F + 12P(F + 1): a point cache of F frames and P points. Saturates
// instead of wrapping.
unsigned long long CacheBytes(long long frames, long long points) {
    const long double bytes =
        8.0L + 4.0L * frames + 12.0L * static_cast<long double>(points) * (frames + 1);
    return bytes >= 1.8e19L ? ~0ULL : static_cast<unsigned long long>(bytes);
}

// About what the writers spend per item and frame of motion keyed into each
// scene file and motion file (a little under what the demo scene's items
// take), and per point of a mesh file: an estimate for the free-space check,
// low rather than high, so that a bake that fits is never refused.
constexpr double kLwsBytesPerKey = 300, kMelBytesPerKey = 140, kFxsBytesPerKey = 420,
                 kZscBytesPerKey = 48, kMotBytesPerKey = 250, kEnvBytesPerKey = 30,
                 kMeshFileBytesPerPoint = 16;

unsigned long long Saturated(long double bytes) {
    return bytes >= 1.8e19L ? ~0ULL : static_cast<unsigned long long>(bytes);
}

std::vector<Expected> ExpectedFiles(const fs::path& out,
                                    const std::vector<const host::Item*>& items,
                                    const std::string& prefix, bool motionFiles,
                                    const BakeOutputs& on, bool linkCaches, long long frames) {
    std::vector<Expected> files;
    std::set<std::string> seen;
    std::string owner; // the item whose files are added
    auto add = [&](const fs::path& path, bool cache, long long points, bool linked = false,
                   bool meshFile = false, long double bytes = 0) {
        if (seen.insert(path.string()).second)
            files.push_back({path.string(), cache, points, linked, meshFile, owner,
                             cache ? CacheBytes(frames, points) : Saturated(bytes)});
    };
    const long double keys = static_cast<long double>(frames) * items.size();
    for (const host::Item* item : items) {
        const std::string name = Narrow(item->GetFullName());
        CheckNamePart(name, "the item name");
        const std::string kind = item->GetKindName();
        owner = name;
        if (kind == "mesh") {
            if (on.mdd || linkCaches)
                add(out / "mdd" / (prefix + name + ".mdd"), true, item->GetPointCount(),
                    linkCaches);
            const long double meshBytes =
                kMeshFileBytesPerPoint * static_cast<long double>(item->GetPointCount());
            if (on.lwo)
                add(out / "lwo" / (name + ".lwo"), false, 0, false, true, meshBytes);
            if (on.emdl)
                add(out / "emdl" / (name + ".emdl"), false, 0, false, true, meshBytes);
        }
        if (motionFiles) {
            add(out / "motion" / (name + ".mot"), false, 0, false, false, kMotBytesPerKey * frames);
            if (kind == "camera")
                add(out / "motion" / (name + "_zoom.env"), false, 0, false, false,
                    kEnvBytesPerKey * frames);
        }
    }
    owner.clear();
    // With the motion in motion files, the LightWave scene and the ZSC file
    // hold no keys.
    const struct {
        bool wanted;
        const char* name;
        double bytesPerKey;
    } scenes[] = {{on.lws, "scene.lws", motionFiles ? 0.0 : kLwsBytesPerKey},
                  {on.mel, "scene.mel", kMelBytesPerKey},
                  {on.fxs, "scene.fxs", kFxsBytesPerKey},
                  {on.zsc, "scene.zsc", motionFiles ? 0.0 : kZscBytesPerKey}};
    for (const auto& scene : scenes)
        if (scene.wanted)
            add(out / scene.name, false, 0, false, false, scene.bytesPerKey * keys);
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

// The files must fit the free space of the file system that holds (or will
// hold) the output folder: the caches' exact sizes and the other files'
// estimates.
void CheckFreeSpace(const fs::path& out, const std::vector<Expected>& files) {
    unsigned long long need = 0, caches = 0;
    for (const Expected& file : files) {
        if (file.linked)
            continue;
        need = std::min(~0ULL - 1, need + file.bytes);
        if (file.cache)
            caches = std::min(~0ULL - 1, caches + file.bytes);
    }
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
        throw UsageError("the files need about " + std::to_string(need) + " bytes (" +
                         std::to_string(caches) + " of them point caches), but " +
                         Quote(probe.string()) + " has " + std::to_string(free) +
                         " bytes free; bake fewer frames or items");
}

// The files a bake may need open at once besides its caches: a scene or mesh
// file being written, the scene file, the libraries the companion loads.
constexpr long long kSpareFiles = 16;

// The command keeps every point cache it writes open for the whole walk
// over the frames: they must fit the open-file limit (xsihost raised its
// soft limit to the hard one when it started), with the files open now.
void CheckOpenFiles(const std::vector<Expected>& files) {
    long long caches = 0;
    for (const Expected& file : files)
        caches += file.cache && !file.linked ? 1 : 0;
    struct rlimit limit;
    if (caches == 0 || getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return;
    long long open = 0;
    std::error_code ec;
    for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++open;
    const long long need = caches + open + kSpareFiles;
    if (need > static_cast<long long>(limit.rlim_cur))
        throw UsageError("the bake keeps its " + std::to_string(caches) +
                         " point caches open at once and needs " + std::to_string(need) +
                         " open files in all, but xsihost may open " +
                         std::to_string(static_cast<long long>(limit.rlim_cur)) +
                         " (the hard limit of open files, ulimit -Hn); bake fewer meshes at a "
                         "time with --items, or raise the limit");
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

// Whether a cache holds the frames asked: its header's frame count and a
// size of exactly 8 + 4F + 12P(F + 1).
bool CacheComplete(const std::string& path, const Stamp& stamp, long long frames) {
    long long f = 0, p = 0;
    return ReadCacheHeader(path.c_str(), &f, &p) && f == frames && stamp.size == CacheBytes(f, p);
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

// What the bars of ZK_XSI_Baker mean: the cache walk's steps are frames,
// each writing 12 bytes per point of every cache; and what a first
// interrupt leaves the run to do in each stage.
void DescribeBakerBars(double bytesPerFrame) {
    host::ui::DescribeBars({
        {L"Zelkin Mesh Processing....", "frames", bytesPerFrame,
         "xsihost: cancelled: the point caches end at the frame reached; writing the scene "
         "files (Ctrl-C again: stop at once)"},
        {L"Zelkin Export Processing....", "", 0.0,
         "xsihost: cancelled: finishing the scene files (Ctrl-C again: stop at once)"},
    });
    host::ui::SetInterruptNotes(
        "xsihost: cancelled: the point caches will hold no frame; the scene files are still "
        "written (Ctrl-C again: stop at once)",
        "xsihost: ZK_XSI_Baker was stopped at once by a second interrupt");
}

int Bake(const BakeOptions& o) {
    const double started = host::ui::Now();
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
    host::ui::SetInterruptNotes(
        "xsihost: cancelled: nothing is written yet; stopping before the bake begins (Ctrl-C "
        "again: stop at once)",
        "xsihost: stopped at once by a second interrupt; nothing was written");
    host::ui::InstallInterruptHandler(o.quiet);
    // A scene file's frame range depends on the frame rate: set it first.
    SceneOptions sceneOptions = o.scene;
    if (o.haveFps) {
        app.SetFrameRate(o.fps);
        sceneOptions.frameRate = o.fps;
    }
    host::SceneFileInfo info;
    app.SetScene(LoadScene(sceneOptions, &info));
    host::Scene& scene = *app.GetScene();
    const double loaded = host::ui::Now();

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
        ExpectedFiles(out, items, o.prefix, o.motionFiles, on, o.linkCaches, frames);
    if (std::any_of(files.begin(), files.end(), [](const Expected& f) { return f.cache; }))
        CheckCacheTimes(first, last, app.GetFrameRate(),
                        o.frames.empty() ? "the scene's frame range " + std::to_string(first) +
                                               ":" + std::to_string(last)
                                         : "--frames " + o.frames);
    CheckUnder(out, files);
    const std::pair<bool, const char*> folders[] = {
        {on.mdd, "mdd"}, {on.lwo, "lwo"}, {on.emdl, "emdl"}, {o.motionFiles, "motion"}};
    std::vector<std::string> folderPaths, written;
    for (const auto& [wanted, folder] : folders)
        if (wanted)
            folderPaths.push_back((out / folder).string());
    for (const Expected& file : files)
        if (!file.linked)
            written.push_back(file.path);
    CheckOutputPlaces(folderPaths, written);
    CheckFreeSpace(out, files);
    CheckOpenFiles(files);

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

    // OUTDIR first, to hold the lock; then, under the lock, the folders.
    // Cancelled while the scene loaded: nothing is made.
    std::vector<fs::path> created;
    std::unique_ptr<OutDirLock> lock;
    if (!host::ui::IsInterrupted()) {
        MakeFolder(out, created);
        try {
            lock = std::make_unique<OutDirLock>(out.string());
            RemoveStaleTemporaries(folderPaths);
            RemoveStaleTemporaries({out.string()});
            for (const std::string& folder : folderPaths)
                MakeFolder(folder, created);
        } catch (...) {
            lock.reset();
            RemoveEmptyFolders(created);
            throw;
        }
    }

    // Every file the command writes goes under a temporary name beside it
    // until it is judged (BakeFiles.h); a second interrupt removes those and
    // names the earlier files it leaves as they were.
    StagedFiles staged(written);
    std::vector<WatchedFile> watched;
    double bytesPerFrame = 0.0;
    for (size_t i = 0, k = 0; i < files.size(); ++i) {
        if (files[i].linked)
            continue; // never written: its cache writes go into a sink
        struct stat st;
        watched.push_back(
            {files[i].path, staged.Temporary(k++), lstat(files[i].path.c_str(), &st) == 0});
        if (files[i].cache)
            bytesPerFrame += 12.0 * static_cast<double>(files[i].points);
    }
    DescribeBakerBars(bytesPerFrame);
    LeaveEarlierFilesOnQuit(std::move(watched));

    // Cancelled while the scene loaded: the command does not run at all.
    const bool ran = !host::ui::IsInterrupted();
    app.Points().Reset();
    const double commandStarted = host::ui::Now();
    XSI::CValue ret;
    XSI::CStatus status = XSI::CStatus::OK;
    std::vector<std::string> unopened;
    if (!ran) {
        status = XSI::CStatus::Fail;
    } else if (!o.linkCaches) {
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
    staged.Finish();
    const double commandEnded = host::ui::Now();
    const bool cancelled = host::ui::IsInterrupted();
    const bool succeeded = status == XSI::CStatus::OK && !cancelled;
    // Points a 32-bit float cannot hold (in the space the caches store, or
    // in the meshes' own, which the mesh files store): nothing this bake
    // wrote is put in place.
    const host::PointFaults::Fault& ownSpace = app.Points().InOwnSpace();
    const host::PointFaults::Fault& worldSpace = app.Points().InWorldSpace();
    const host::PointFaults::Fault* badPoints = !o.local && worldSpace.found ? &worldSpace
                                                : ownSpace.found             ? &ownSpace
                                                                             : nullptr;

    // Each file the command wrote goes into place when it is complete, or
    // when no file was there before; else the earlier file stays.
    std::vector<BakeFile> report;
    for (size_t i = 0, k = 0; i < files.size(); ++i) {
        BakeFile file{files[i].path, files[i].item, files[i].cache, files[i].points,
                      FileState::Linked};
        if (files[i].linked) {
            report.push_back(file);
            continue;
        }
        const size_t staging = k++;
        struct stat st;
        const bool earlier = lstat(file.path.c_str(), &st) == 0;
        const std::string temp = staged.Written(staging);
        if (temp.empty() || badPoints) {
            staged.Discard(staging);
            file.state = earlier ? FileState::Kept : FileState::NotWritten;
        } else {
            const Stamp stamp = StampOf(temp);
            const bool whole = stamp.regular && (files[i].cache ? CacheComplete(temp, stamp, frames)
                                                                : succeeded && stamp.size > 0);
            std::string error;
            if (!whole && earlier) {
                staged.Discard(staging);
                file.state = FileState::Kept;
            } else if (!staged.Commit(staging, &error)) {
                std::fprintf(stderr, "xsihost: cannot put %s in place: %s\n", file.path.c_str(),
                             error.c_str());
                file.state = FileState::Incomplete;
            } else {
                file.state = whole ? FileState::Complete : FileState::Incomplete;
            }
        }
        report.push_back(file);
    }
    lock.reset(); // its file goes: a folder that holds nothing else goes too
    RemoveEmptyFolders(created);
    std::sort(report.begin(), report.end(),
              [](const BakeFile& a, const BakeFile& b) { return a.path < b.path; });
    size_t incomplete = 0, notWritten = 0, kept = 0;
    for (const BakeFile& file : report) {
        incomplete += file.state == FileState::Incomplete ? 1 : 0;
        notWritten += file.state == FileState::NotWritten ? 1 : 0;
        kept += file.state == FileState::Kept ? 1 : 0;
    }
    const int exitStatus = cancelled                                 ? kExitCancelled
                           : status != XSI::CStatus::OK || badPoints ? kExitCommandFailed
                           : incomplete > 0 || notWritten > 0 || kept > 0 || !unopened.empty()
                               ? kExitCommandFailed
                               : kExitOK;

    if (o.json) {
        BakeSummary summary;
        summary.scene = SceneJson(o.scene, info, scene, app.GetFrameRate());
        summary.outDir = o.outDir;
        summary.firstFrame = first;
        summary.lastFrame = last;
        for (const host::Item* item : items)
            summary.items.push_back(Narrow(item->GetFullName()));
        summary.files = report;
        summary.ran = ran;
        summary.commandStatus = static_cast<unsigned>(status.GetCode());
        summary.cancelled = cancelled;
        summary.exitStatus = exitStatus;
        summary.started = started;
        summary.loaded = loaded;
        summary.commandStarted = commandStarted;
        summary.commandEnded = commandEnded;
        summary.ended = host::ui::Now();
        PrintJson(BakeJson(summary));
    } else {
        for (const BakeFile& file : report)
            if (file.state == FileState::Complete)
                Print(file.path + "\n");
    }
    FinishOutput();
    for (const BakeFile& file : report)
        if (file.state == FileState::Incomplete)
            std::fprintf(stderr, "xsihost: incomplete: %s\n", file.path.c_str());
    // The files there before the bake that it did not complete again.
    for (const BakeFile& file : report)
        if (file.state == FileState::Kept)
            std::fprintf(stderr, "xsihost: left as it was: %s\n", file.path.c_str());

    if (!ran) {
        std::fprintf(stderr, "xsihost: cancelled before ZK_XSI_Baker ran; nothing was written\n");
    } else if (cancelled) {
        std::fprintf(stderr, "xsihost: ZK_XSI_Baker was cancelled (status 0x%08X)\n",
                     static_cast<unsigned>(status.GetCode()));
    } else if (status != XSI::CStatus::OK) {
        std::fprintf(stderr, "xsihost: ZK_XSI_Baker failed: status 0x%08X\n",
                     static_cast<unsigned>(status.GetCode()));
    } else if (badPoints) {
        std::fprintf(stderr,
                     "xsihost: the points of %s %s at frame %.17g%s; nothing this bake wrote was "
                     "put in place\n",
                     Narrow(badPoints->item).c_str(),
                     badPoints->notFinite ? "are not finite" : "leave the range of 32-bit floats",
                     badPoints->frame, badPoints == &worldSpace ? " in world space" : "");
    } else if (incomplete > 0 || notWritten > 0 || kept > 0 || !unopened.empty()) {
        // The command said OK: every file it was asked for must be there whole.
        for (const BakeFile& file : report)
            if (file.state == FileState::NotWritten)
                std::fprintf(stderr, "xsihost: not written: %s\n", file.path.c_str());
        for (const std::string& file : unopened)
            std::fprintf(stderr, "xsihost: the scene files' run did not open the cache %s\n",
                         file.c_str());
        std::fprintf(stderr,
                     "xsihost: ZK_XSI_Baker returned OK but %zu files are incomplete or missing\n",
                     incomplete + notWritten + kept + unopened.size());
    }
    return exitStatus;
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
    sub->add_option("--frames", options->frames, "Frame range A:B (default: the scene's)")
        ->type_name("A:B");
    sub->add_option("--items", options->items, "Items to bake, a,b,... (default: all)")
        ->type_name("NAMES")
        ->each([options](const std::string&) { options->haveItems = true; });
    sub->add_option("--prefix", options->prefix, "Prefix of the MDD file names")
        ->type_name("PREFIX");
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
    sub->add_flag("--json", options->json,
                  "Print one JSON document on stdout instead of the completed files: every file "
                  "with its state, the command's status and the timings");
    sub->add_option("outdir", options->outDir, "Output folder")->required();
    return Subcommand{sub, [options] { return Bake(*options); }};
}

} // namespace xsihost
