// The checks an imported scene passes before the host builds items from it:
// its node hierarchy is at most kMaxSceneNesting levels deep, and every
// number the host reads from it is finite (points, morph targets, bone
// offsets and weights, node transforms, animation keys and their times,
// camera and light values, numeric metadata). A NaN or an infinity would
// otherwise run through every frame into the baked files.
#pragma once

struct aiScene;

namespace host {

// Throws SceneLoadError naming the item and the value that is wrong.
void ValidateImportedScene(const aiScene& scene);

} // namespace host
