// A file's cameras and lights as the host's parameters.
//
// Cameras: "fov" in degrees and "fovtype": for glTF, whose importer reports
// yfov x aspect as the horizontal angle, the file's vertical angle with
// fovtype 0; for other formats the horizontal angle with fovtype 1. "aspect"
// from the file when it gives one.
//
// Lights: directional, point and spot lights get "Type" 0, 1 and 2 (other
// kinds: 1). Assimp hands the colour multiplied by the intensity: the shader's
// "intensity" is the largest colour component and its "color" the colour
// divided by it (alpha 1); a black light gets intensity 0, colour black.
#pragma once

struct aiCamera;
struct aiLight;

#include "host/scene/Math.h"

namespace host {

class Item;

void SetCameraParams(const aiCamera& c, bool isGltf, Item* item);
void SetLightParams(const aiLight& l, Item* item);

// A light's colour (Assimp's: colour times intensity) as the shader's
// "color" and "intensity", as above; components that are no finite number
// count as 0.
void SplitLightColor(const double rgb[3], Color* color, double* intensity);

} // namespace host
