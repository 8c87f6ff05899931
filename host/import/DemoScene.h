// The built-in demo scene (xsihost --demo), frames 1 to 48:
//
//   Grid      mesh, 32 x 32 points (31 x 31 quads) on a 10 x 10 square in
//             the XZ plane, rows along x, row after row along z; a travelling
//             wave deformer moves each point to
//             y = 0.5 sin(2 pi (x / 5 - (frame - 1) / 24)) (two periods over
//             the range, so it loops).
//   Rig       null at (0, 1, 0), turning about Y: 0 degrees at frame 1, 90 at
//             24, 180 at 48 (rotation keys).
//   Rig.Cube  mesh, a unit cube (8 points, 6 quads) under Rig; translation
//             keys (3, 0, 0) at 1, (3, 2, 0) at 24, (3, 0, 0) at 48; rotation
//             keys (XYZ degrees) (0, 0, 0) at 1, (0, 90, 30) at 24,
//             (0, 180, 0) at 48.
//   Camera    camera at (0, 4, 16) tilted down 12 degrees; "fov" keyed 60 at
//             frame 1 to 30 at 48 (linear); "aspect" 1.777778.
//   Spot      spot light ("Type" 2) at (4, 8, 4) pointing down; its shader's
//             "color" keyed (1, 0.9, 0.8, 1) at 1, (1, 0.3, 0.2, 1) at 24,
//             (0.2, 0.4, 1, 1) at 48, "intensity" keyed 0.5, 1.5, 0.75 at
//             the same frames.
#pragma once

#include "host/scene/Scene.h"

#include <memory>

namespace host {

std::unique_ptr<Scene> MakeDemoScene();

} // namespace host
