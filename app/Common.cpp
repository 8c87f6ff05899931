// What the subcommands share: scene options, the frame-rate check, the
// executable's folder.
#include "LoadWatch.h"
#include "RunArguments.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/import/AssimpScene.h"
#include "host/import/DemoScene.h"
#include "host/scene/Scene.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace xsihost {

void AddSceneOptions(CLI::App& sub, SceneOptions& options) {
    CLI::Option* scene =
        sub.add_option("--scene", options.file, "Scene file to load")->type_name("FILE");
    CLI::Option* demo = sub.add_flag("--demo", options.demo, "Use the built-in demo scene");
    scene->excludes(demo);
    demo->excludes(scene);
    sub.add_option("--anim", options.animation,
                   "Animation of the scene file to play, by name or index (default: the first)")
        ->type_name("NAME|INDEX")
        ->needs(scene);
    sub.add_flag("--keep-units", options.keepUnits,
                 "Keep the scene file's own units (default: metres where the file names its unit)")
        ->needs(scene);
    sub.add_flag("--any-reader", options.anyReader,
                 "Read the scene file with any of Assimp's readers (default: glTF, FBX, Collada "
                 "and OBJ only)")
        ->needs(scene);
    sub.add_option("--max-memory", options.maxMemory,
                   "Memory the process that reads the scene file may hold: a size such as 512M "
                   "or 8G, or none (default: three quarters of the memory available)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                MemoryLimit limit;
                if (!ParseMemoryLimit(text, &limit)) {
                    return "takes a size of at least " + MemoryText(kMinMemoryLimit) +
                           " (a number of bytes, or with K, M, G or T) or none, not " + Quote(text);
                }
                return std::string();
            },
            "SIZE"))
        ->needs(scene);
}

std::vector<std::string> LoadLimitArguments(const SceneOptions& options) {
    std::vector<std::string> args;
    if (options.anyReader) {
        args.push_back("--any-reader");
    }
    if (!options.maxMemory.empty()) {
        args.insert(args.end(), {"--max-memory", options.maxMemory});
    }
    return args;
}

std::unique_ptr<host::Scene> LoadScene(const SceneOptions& options, host::SceneFileInfo* info) {
    if (options.demo) {
        return host::MakeDemoScene();
    }
    if (options.file.empty()) {
        return nullptr;
    }
    // Tell a missing or unreadable file apart from one that does not import.
    // Without waiting: a FIFO must be refused, not read.
    int fd = open(options.file.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        throw UsageError("cannot read scene file \"" + options.file +
                         "\": " + std::strerror(errno));
    }
    struct stat st = {};
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    if (!regular) {
        throw UsageError("cannot read scene file \"" + options.file + "\": not a regular file");
    }
    host::AssimpLoadOptions load;
    load.animation = options.animation;
    load.keepUnits = options.keepUnits;
    load.frameRate = options.frameRate;
    load.anyReader = options.anyReader;
    host::SceneFileInfo fileInfo;
    try {
        SceneLoadStarts();
        std::unique_ptr<host::Scene> scene;
        try {
            scene = host::LoadAssimpScene(options.file, load, &fileInfo);
        } catch (...) {
            SceneLoadEnded();
            throw;
        }
        SceneLoadEnded();
        host::HostApp::Get().SetFrameRate(fileInfo.frameRate);
        if (info) {
            *info = fileInfo;
        }
        return scene;
    } catch (const host::SceneLoadError& e) {
        throw UsageError(e.what()); // names the file and what is wrong
    } catch (const std::bad_alloc&) {
        throw UsageError(options.file +
                         ": cannot read the scene: the system refused its reader memory; the "
                         "file is damaged, or the machine is short of memory");
    }
}

void CheckCacheTimes(long long first, long long last, double fps, const std::string& what) {
    // As the cache writer computes them. The time is monotonic in the
    // frame, so times that do not increase are two neighbours that are
    // equal; past 2^24 the frame itself is no longer exact, so the walk
    // meets such a pair within about 2^25 frames of its start.
    const float rate = static_cast<float>(fps);
    float time = static_cast<float>(first) / rate;
    for (long long frame = first; frame < last; ++frame) {
        const float next = static_cast<float>(frame + 1) / rate;
        if (!(next > time)) {
            char shown[96];
            std::snprintf(shown, sizeof shown, "%.9g s: frame / %g fps", static_cast<double>(time),
                          fps);
            throw UsageError(what + ": frames " + std::to_string(frame) + " and " +
                             std::to_string(frame + 1) + " get the same time in an MDD cache (" +
                             shown + " as a 32-bit float); bake frames nearer 0");
        }
        time = next;
    }
}

CLI::Validator FrameRateValidator() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            XSI::CValue value;
            if (!ConvertArgumentValue(text, ArgumentKind::Number, &value) ||
                static_cast<double>(value) < kMinFrameRate ||
                static_cast<double>(value) > kMaxFrameRate) {
                return "takes a number of frames per second from 0.001 to 100000, not " +
                       Quote(text);
            }
            return std::string();
        },
        "RATE");
}

std::string ExecutableFolder() {
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(buf.data(), static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string PluginFolder(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    const std::string self = ExecutableFolder();
    const std::string installed = self + "/../lib/zk_xsi_baker";
    struct stat st;
    if (stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return installed;
    }
    return self;
}

} // namespace xsihost
