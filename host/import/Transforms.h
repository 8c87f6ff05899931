// Assimp's values as the scene model's, and the transform helpers the
// importer shares: splitting a matrix into scaling, rotation and translation,
// and the frame a file gives a camera or light.
#pragma once

#include "host/scene/Math.h"

#include <assimp/matrix4x4.h>
#include <assimp/quaternion.h>
#include <assimp/vector3.h>

namespace host {

Vec3 ToVec3(const aiVector3D& v);
Quat ToQuat(const aiQuaternion& q);
Mat34 ToMat34(const aiMatrix4x4& m);
bool IsIdentity(const Mat34& m);

// Scaling, rotation and translation of a transform.
struct SRT {
    Vec3 s{1.0, 1.0, 1.0};
    Quat r;
    Vec3 t;
};

// Splits an affine matrix into scaling, rotation and translation. A matrix
// with shear keeps its column lengths and the rotation of its columns.
SRT Decompose(const Mat34& m);

// Whether the axes of a matrix (its first three columns) are not at right
// angles to each other, beyond rounding: no scaling, rotation and
// translation make it.
bool HasShear(const Mat34& m);

// The frame of a camera or light of the file, seen from its node: placed at
// position, looking along lookAt, up towards up. The host's cameras and
// lights look along their -Z axis with +Y up; the identity for the file's
// usual frame (glTF's, for one).
Mat34 FileFrame(const Vec3& position, const Vec3& lookAt, const Vec3& up);

} // namespace host
