// xsihost list [--scene FILE | --demo] [--keep-units]
//
// For a scene file, first one line starting with '#': the file's unit and
// frame rate. Then one line per scene item: full name, kind, class id and
// point count, separated by single spaces.
#include "Subcommands.h"

#include "host/import/AssimpScene.h"
#include "host/scene/Scene.h"

#include <cstdio>

namespace xsihost {

namespace {

int List(const SceneOptions& options) {
    host::SceneFileInfo info;
    std::unique_ptr<host::Scene> scene = LoadScene(options, &info);
    if (!scene) {
        return kExitOK;
    }
    if (!options.file.empty()) {
        if (info.metresPerUnit > 0.0) {
            std::printf("# unit %g m (%s), ", info.metresPerUnit,
                        options.keepUnits ? "numbers kept" : "baked in metres");
        } else {
            std::printf("# unit not declared, ");
        }
        std::printf("frame rate %g fps (%s)\n", info.frameRate,
                    info.fileFrameRate > 0.0 ? "the file's" : "not declared");
    }
    for (int i = 0; i < scene->ItemCount(); ++i) {
        const host::Item& item = *scene->GetItem(i);
        std::printf("%s %s %d %ld\n", Narrow(item.GetFullName()).c_str(), item.GetKindName(),
                    static_cast<int>(item.GetClassID()), static_cast<long>(item.GetPointCount()));
    }
    return std::fflush(stdout) == 0 ? kExitOK : kExitCommandFailed;
}

} // namespace

Subcommand AddListCommand(CLI::App& app) {
    auto options = std::make_shared<SceneOptions>();
    CLI::App* sub = app.add_subcommand("list", "List the items of a scene");
    AddSceneOptions(*sub, *options);
    return Subcommand{sub, [options] { return List(*options); }};
}

} // namespace xsihost
