// xsihost list [--scene FILE | --demo] [--keep-units] [--json]
//
// For a scene file, first one line starting with '#': the file's unit and
// frame rate. Then one line per scene item: full name, kind, class id and
// point count, separated by single spaces. With --json, one JSON document
// instead: the scene's facts and every item (SceneJson.h).
#include "Output.h"
#include "SceneJson.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/import/AssimpScene.h"
#include "host/scene/Scene.h"

#include <cstdio>

namespace xsihost {

namespace {

struct ListOptions {
    SceneOptions scene;
    bool json = false;
};

std::string Format(const char* format, double value, const char* text) {
    char line[256];
    std::snprintf(line, sizeof line, format, value, text);
    return line;
}

int List(const ListOptions& options) {
    host::SceneFileInfo info;
    std::unique_ptr<host::Scene> scene = LoadScene(options.scene, &info);
    if (!scene) {
        return kExitOK;
    }
    if (options.json) {
        nlohmann::ordered_json document;
        document["scene"] =
            SceneJson(options.scene, info, *scene, host::HostApp::Get().GetFrameRate());
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (int i = 0; i < scene->ItemCount(); ++i) {
            items.push_back(ItemJson(*scene->GetItem(i)));
        }
        document["items"] = items;
        PrintJson(document);
        return FinishOutput() ? kExitOK : kExitCommandFailed;
    }
    if (!options.scene.file.empty()) {
        if (info.metresPerUnit > 0.0) {
            Print(Format("# unit %g m (%s), ", info.metresPerUnit,
                         options.scene.keepUnits ? "numbers kept" : "baked in metres"));
        } else {
            Print("# unit not declared, ");
        }
        Print(Format("frame rate %g fps (%s)\n", info.frameRate,
                     info.fileFrameRate > 0.0 ? "the file's" : "not declared"));
    }
    for (int i = 0; i < scene->ItemCount(); ++i) {
        const host::Item& item = *scene->GetItem(i);
        Print(Narrow(item.GetFullName()) + " " + item.GetKindName() + " " +
              std::to_string(static_cast<int>(item.GetClassID())) + " " +
              std::to_string(item.GetPointCount()) + "\n");
    }
    return FinishOutput() ? kExitOK : kExitCommandFailed;
}

} // namespace

Subcommand AddListCommand(CLI::App& app) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* sub = app.add_subcommand("list", "List the items of a scene");
    AddSceneOptions(*sub, options->scene);
    sub->add_flag("--json", options->json,
                  "Print one JSON document: the scene's facts and every item");
    return Subcommand{sub, [options] { return List(*options); }};
}

} // namespace xsihost
