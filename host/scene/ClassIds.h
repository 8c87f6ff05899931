// The class ids the scene reports for its objects: the numbers a reference
// to the object carries (a mesh item 72, a null 73, a camera 80, a light 81,
// a light shader 90, a parameter 91).
#pragma once

namespace host {

enum ClassId : int {
    kMeshClassId = 72,
    kNullClassId = 73,
    kCameraClassId = 80,
    kLightClassId = 81,
    kShaderClassId = 90,
    kParameterClassId = 91,
};

} // namespace host
