// xsihost bake [--scene FILE | --demo] [--plugins DIR] [--fps RATE] [--frames A:B]
//              [--items a,b,...] [--prefix P] [--local] [--motion-files] [--keep-units]
//              [--quiet] OUTDIR
//
// Runs ZK_XSI_Baker with every output switched on under OUTDIR: mdd/, lwo/,
// emdl/, scene.lws, scene.mel, scene.fxs and scene.zsc, motion sampled for
// every kind and keyed into the scene files, or with --motion-files written
// as LightWave motion files into motion/ instead. It bakes every item of the
// scene (or --items) over the scene's frame range (or --frames), creates the
// folders first and prints each file it wrote.
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/scene/Item.h"
#include "host/scene/Scene.h"
#include "host/scene/SceneCommands.h"
#include "host/ui/Terminal.h"

#include <xsi_application.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

namespace xsihost {

namespace {

namespace fs = std::filesystem;

struct BakeOptions {
    SceneOptions scene;
    std::string plugins;
    double fps = 0.0;
    bool haveFps = false;
    std::string frames;
    std::string items;
    std::string prefix;
    bool local = false;
    bool motionFiles = false;
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
        throw UsageError("--frames takes A:B, two whole numbers (got \"" + text + "\")");
    if (last < first)
        throw UsageError("--frames " + text + ": the last frame is before the first");
}

// Size and modification time of every file below a folder, to tell which
// files a run wrote.
using FileStamps = std::map<std::string, std::pair<long long, uintmax_t>>;

FileStamps Stamp(const fs::path& root) {
    FileStamps stamps;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        struct stat st;
        if (it->is_regular_file(ec) && stat(it->path().c_str(), &st) == 0)
            stamps[it->path().string()] = {
                static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
                static_cast<uintmax_t>(st.st_size)};
    }
    return stamps;
}

void MakeFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        throw UsageError("cannot create the folder \"" + folder.string() +
                         "\": " + (ec ? ec.message() : std::string("not a folder")));
}

int Bake(const BakeOptions& o) {
    if (!o.scene.demo && o.scene.file.empty())
        throw UsageError("bake needs a scene: --scene FILE or --demo");

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
        first = static_cast<int>(std::floor(scene.GetStartFrame()));
        last = static_cast<int>(std::ceil(scene.GetEndFrame()));
    }
    // Values read "at the current time" (lens, pivots) are those of the
    // first baked frame.
    app.SetCurrentFrame(first);

    std::string items = o.items;
    if (items.empty()) {
        for (int i = 0; i < scene.ItemCount(); ++i) {
            const std::string name = Narrow(scene.GetItem(i)->GetFullName());
            if (name.find(',') != std::string::npos)
                throw UsageError("the item name \"" + name +
                                 "\" holds a comma; name the items with --items");
            items += (items.empty() ? "" : ",") + name;
        }
        if (items.empty())
            throw UsageError("the scene holds no item to bake");
    }

    const fs::path out(o.outDir);
    MakeFolder(out / "mdd");
    MakeFolder(out / "lwo");
    MakeFolder(out / "emdl");
    if (o.motionFiles)
        MakeFolder(out / "motion");

    host::RegisterSceneCommands(app);
    app.LoadPlugins(o.plugins.empty() ? ExecutableFolder() : o.plugins);

    auto text = [](const std::string& s) { return XSI::CValue(XSI::CString(Widen(s).c_str())); };
    auto path = [&](const char* name) { return text((out / name).string()); };
    const XSI::CValue on(true), off(false);
    XSI::CValueArray args;
    args.Add(text(items));                                          // ZK_ObjString
    args.Add(path("mdd"));                                          // ZK_FilePath
    args.Add(XSI::CValue(static_cast<XSI::LONG>(first)));           // ZK_StartFrame
    args.Add(XSI::CValue(static_cast<XSI::LONG>(last)));            // ZK_EndFrame
    args.Add(text(o.prefix));                                       // ZK_ObjPreFix
    args.Add(on);                                                   // ZK_MDDAct
    args.Add(on);                                                   // ZK_LWOAct
    args.Add(path("lwo"));                                          // ZK_LWOString
    args.Add(on);                                                   // ZK_EMDLAct
    args.Add(path("emdl"));                                         // ZK_EMDLString
    args.Add(on);                                                   // ZK_LWSAct
    args.Add(path("scene.lws"));                                    // ZK_LWSString
    args.Add(on);                                                   // ZK_MELAct
    args.Add(path("scene.mel"));                                    // ZK_MELString
    args.Add(on);                                                   // ZK_FXSAct
    args.Add(path("scene.fxs"));                                    // ZK_FXSString
    args.Add(off);                                                  // ZK_XSIAct
    args.Add(text(""));                                             // ZK_XSIString
    args.Add(on);                                                   // ZK_MAXAct
    args.Add(path("scene.zsc"));                                    // ZK_MAXString
    args.Add(on);                                                   // ZK_MOTAct
    args.Add(o.motionFiles ? on : off);                             // ZK_MOTSep
    args.Add(path("motion"));                                       // ZK_MOTString
    args.Add(on);                                                   // ZK_CAMAct
    args.Add(on);                                                   // ZK_LIGHTAct
    args.Add(on);                                                   // ZK_NULLAct
    args.Add(on);                                                   // ZK_OBJECTAct
    args.Add(XSI::CValue(static_cast<XSI::LONG>(o.local ? 1 : 0))); // ZK_LOCALSPACE

    host::CommandSignature signature;
    if (!app.GetCommandSignature(L"ZK_XSI_Baker", signature))
        throw UsageError("the ZK_XSI_Baker plug-in is not installed beside xsihost");

    const FileStamps before = Stamp(out);
    XSI::CValue ret;
    const XSI::CStatus status = XSI::Application().ExecuteCommand(L"ZK_XSI_Baker", args, ret);
    host::ui::FinishProgress();

    for (const auto& [file, stamp] : Stamp(out)) {
        auto it = before.find(file);
        if (it == before.end() || it->second != stamp)
            std::printf("%s\n", file.c_str());
    }
    std::fflush(stdout);

    if (status != XSI::CStatus::OK) {
        std::fprintf(stderr, "xsihost: ZK_XSI_Baker failed: status 0x%08X\n",
                     static_cast<unsigned>(status.GetCode()));
        return kExitCommandFailed;
    }
    return kExitOK;
}

} // namespace

Subcommand AddBakeCommand(CLI::App& app) {
    auto options = std::make_shared<BakeOptions>();
    CLI::App* sub =
        app.add_subcommand("bake", "Bake a scene with ZK_XSI_Baker, every output switched on");
    AddSceneOptions(*sub, options->scene);
    sub->add_option("--plugins", options->plugins,
                    "Folder of the plug-ins to load (default: beside xsihost)")
        ->check(CLI::ExistingDirectory);
    sub->add_option("--fps", options->fps, "Frames per second (default: the scene file's, else 30)")
        ->check(CLI::PositiveNumber)
        ->each([options](const std::string&) { options->haveFps = true; });
    sub->add_option("--frames", options->frames, "Frame range A:B (default: the scene's)");
    sub->add_option("--items", options->items, "Items to bake, a,b,... (default: all)");
    sub->add_option("--prefix", options->prefix, "Prefix of the MDD file names");
    sub->add_flag("--local", options->local, "Cache points in object space, not world space");
    sub->add_flag("--motion-files", options->motionFiles,
                  "Write the motion to LightWave motion files in motion/");
    sub->add_flag("--quiet", options->quiet, "Hide the progress bar and informational lines");
    sub->add_option("outdir", options->outDir, "Output folder")->required();
    return Subcommand{sub, [options] { return Bake(*options); }};
}

} // namespace xsihost
