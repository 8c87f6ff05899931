// The FBX reader on any bytes: the node tree (binary of either byte order,
// text), the objects and connections, the curves and layers, the scene
// built from them, and the scene evaluated at a few frames (transforms,
// points, camera and light parameters).
#include "host/import/fbx/FbxSceneBuilder.h"
#include "host/scene/Scene.h"

#include <cmath>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::unique_ptr<host::Scene> scene;
    try {
        host::FbxWarnings warnings;
        scene = host::BuildFbxScene(std::string(reinterpret_cast<const char*>(data), size), "", {},
                                    nullptr, &warnings);
        warnings.Lines();
    } catch (const host::SceneLoadError&) {
        return 0;
    }
    const double start = scene->GetStartFrame();
    const double end = scene->GetEndFrame();
    std::vector<host::Vec3> points;
    for (int i = 0; i < scene->ItemCount(); ++i) {
        const host::Item* item = scene->GetItem(i);
        for (double frame : {start, 0.5 * (start + end), end + 1.0}) {
            item->EvalGlobalMatrix(frame);
            points.resize(static_cast<size_t>(item->GetPointCount()));
            item->EvalPoints(frame, points.data());
            for (const auto& p : item->GetParams()) {
                p->EvalNumber(frame);
            }
        }
    }
    return 0;
}
