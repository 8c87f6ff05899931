// xsihost list [--scene FILE | --demo]
//
// One line per scene item, no header: full name, kind, class id and point
// count, separated by single spaces.
#include "Subcommands.h"

#include "host/scene/Scene.h"

#include <cstdio>

namespace xsihost {

namespace {

int List(const SceneOptions& options) {
    std::unique_ptr<host::Scene> scene = LoadScene(options);
    if (!scene) {
        return kExitOK;
    }
    for (size_t i = 0; i < scene->ItemCount(); ++i) {
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
