#include "SceneJson.h"

#include "Output.h"

#include "host/import/AssimpScene.h"
#include "host/scene/Item.h"
#include "host/scene/Scene.h"

namespace xsihost {

namespace {

// A number JSON has, else null.
nlohmann::ordered_json Number(double value) {
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json();
}

} // namespace

nlohmann::ordered_json SceneJson(const SceneOptions& options, const host::SceneFileInfo& info,
                                 const host::Scene& scene, double frameRate) {
    using nlohmann::ordered_json;
    ordered_json facts;
    facts["file"] = options.demo ? ordered_json() : ordered_json(JsonText(options.file));
    facts["demo"] = options.demo;
    facts["metresPerUnit"] = info.metresPerUnit > 0.0 ? Number(info.metresPerUnit) : ordered_json();
    facts["unitsKept"] = options.keepUnits;
    facts["frameRate"] = Number(frameRate);
    facts["fileFrameRate"] = info.fileFrameRate > 0.0 ? Number(info.fileFrameRate) : ordered_json();
    facts["startFrame"] = Number(scene.GetStartFrame());
    facts["endFrame"] = Number(scene.GetEndFrame());
    ordered_json animations = ordered_json::array();
    for (const std::string& name : info.animations) {
        animations.push_back(JsonText(name));
    }
    facts["animations"] = animations;
    facts["animation"] = info.animation >= 0 ? ordered_json(info.animation) : ordered_json();
    facts["itemCount"] = scene.ItemCount();
    return facts;
}

nlohmann::ordered_json ItemJson(const host::Item& item) {
    using nlohmann::ordered_json;
    ordered_json out;
    out["fullName"] = JsonText(item.GetFullName());
    out["name"] = JsonText(item.GetName());
    out["kind"] = item.GetKindName();
    out["classId"] = static_cast<int>(item.GetClassID());
    out["pointCount"] = item.GetPointCount();
    out["parent"] =
        item.GetParent() ? ordered_json(JsonText(item.GetParent()->GetFullName())) : ordered_json();
    return out;
}

} // namespace xsihost
