// What the importer reads from a scene file itself, beside Assimp: the
// file's own meshes (to map Assimp's corners back onto its vertices) and its
// declared unit, frame rate and animation starts.
#pragma once

#include "host/import/ColladaCurves.h"
#include "host/import/ColladaLensLight.h"
#include "host/import/ColladaSkins.h"
#include "host/import/FileSettings.h"
#include "host/import/VertexMapping.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace host {

struct FileFacts {
    FileSettings settings;
    // The unit length Assimp has already scaled the scene by (Collada's root
    // node), 1 for none.
    double unitAppliedByAssimp = 1.0;
    // Maps mesh nodes onto the file's vertices; null for formats whose
    // vertices Assimp already keeps (glTF and every format without a reader).
    std::unique_ptr<VertexMapper> mapper;
    // OBJ: the meshes of the objects Assimp makes of the file, one per node
    // below the root, in order (ObjFile); null for other formats.
    std::unique_ptr<VertexMapper> objects;
    // The file's own curves of the nodes whose animation Assimp's keys do
    // not follow, by node name (Collada).
    std::map<std::string, std::shared_ptr<const ColladaNodeCurves>> curves;
    // Collada: the targets of channels of library nodes that are not read.
    std::vector<std::string> unreadCurves;
    // Collada: Assimp names nodes by their ids, which the file's channels
    // name; and the skins of the nodes that show one, by node id.
    bool collada = false;
    std::map<std::string, std::shared_ptr<const ColladaSkin>> skins;
    // Collada: the animated lenses and light colours, and the channels no
    // one reads.
    ColladaLensLight lensLight;
};

// Reads the bytes of a scene file (the ones Assimp read), of the Assimp
// source format given (the scene's AI_METADATA_SOURCE_FORMAT). Throws
// FileMeshError.
FileFacts ReadFileFacts(std::string_view bytes, const std::string& sourceFormat);

} // namespace host
