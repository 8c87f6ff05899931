// The scene facts and items that `list --json` and `bake --json` print, in
// one shape for both (the keys are listed in the README).
#pragma once

#include "Subcommands.h"

#include <nlohmann/json.hpp>

namespace host {
class Item;
} // namespace host

namespace xsihost {

// What the scene options loaded: the file (null for the demo scene), the
// unit it declares, the frame rate the scene runs at and the file's own,
// the frame range, and the file's animations with the one played.
nlohmann::ordered_json SceneJson(const SceneOptions& options, const host::SceneFileInfo& info,
                                 const host::Scene& scene, double frameRate);

// One item: full name, short name, kind, class id, point count, parent's
// full name (null at the top).
nlohmann::ordered_json ItemJson(const host::Item& item);

} // namespace xsihost
