// The skins of a Collada file, as the file has them.
//
// A skin controller lists its joints by sid (a <Name_array>) or by id (an
// <IDREF_array>), and each node that shows it (<instance_controller>) says
// where to look for them: its <skeleton> roots. Assimp 5.2 looks a joint up
// by name, id or sid in the whole scene and takes the first node it finds,
// so two copies of a rig with the same bone sids bind both skins to the
// first rig. Here a joint is found as Collada means: by sid below the
// instance's skeleton roots (then by name or id there), and only when none
// of them holds it, in the whole scene (the first in document order).
//
// The weights are those of the skin's <vertex_weights>, one list per vertex
// of the geometry the skin deforms (its <vertices>, which are the points of
// the mesh item); each joint's offset is its inverse bind matrix times the
// skin's bind shape matrix, in the file's numbers.
#pragma once

#include "host/scene/Math.h"

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host {

struct ColladaSkin {
    std::string geometry; // the id of the geometry it deforms
    // Per joint: the id of its node ("" when no node of the scene is it, or
    // the node has no id) and its offset.
    std::vector<std::string> jointNodes;
    std::vector<std::string> jointNames; // as the skin lists them
    std::vector<Mat34> offsets;
    // Per vertex of the geometry, its influences: start[v] .. start[v + 1]
    // of joint and weight (weights of 0 or less left out).
    std::vector<int> start{0};
    std::vector<int> joint;
    std::vector<double> weight;
    // Influences that name no joint of the list (the bind shape's -1 among
    // them), which are left out.
    size_t dropped = 0;
};

// The skins of the nodes that show one, by node id. Throws FileMeshError
// for a skin whose data is broken (missing or short arrays, text that is no
// number).
std::map<std::string, std::shared_ptr<const ColladaSkin>>
ReadColladaSkins(const pugi::xml_document& doc);

} // namespace host
