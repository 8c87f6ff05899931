// The deformers of FBX meshes: none is evaluated yet; each kind met gets a
// warning naming the mesh.
#include "host/import/fbx/FbxDeformers.h"

namespace host {

void ApplyFbxDeformers(const FbxMeshContext& context, const FbxObject& model,
                       const FbxObject& geometry, Item* item) {
    (void)item;
    const FbxScene& file = context.file;
    std::vector<const FbxObject*> deformers = file.Sources(geometry.id, "Deformer");
    if (file.IsVersion6() && geometry.node->Child("Shape")) {
        context.warnings.Warn("shape",
                              "the blend shapes of mesh \"" + model.name + "\" are not evaluated");
    }
    for (const FbxObject* d : deformers) {
        const std::string& kind = d->subclass;
        const std::string what = kind == "Skin"                  ? "skin"
                                 : kind == "BlendShape"          ? "blend shapes"
                                 : kind == "VertexCacheDeformer" ? "vertex cache"
                                                                 : "deformer \"" + kind + "\"";
        context.warnings.Warn("deformer " + kind,
                              "the " + what + " of mesh \"" + model.name + "\" is not evaluated");
    }
}

} // namespace host
