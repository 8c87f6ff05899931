// PolygonMesh: the geometry of a polygon-mesh object at one time, with its
// polygons. A PolygonMesh made from a geometry that is not a polygon mesh is
// invalid.
#pragma once

#include "xsi_geometry.h"
#include "xsi_longarray.h"
#include "xsi_vector3array.h"

namespace XSI {

class PolygonMesh : public Geometry {
  public:
    PolygonMesh() = default;
    // The mesh of a geometry, at the geometry's time.
    PolygonMesh(const Geometry& in_geometry);
    // The mesh of a geometry reference, at the current frame.
    explicit PolygonMesh(const CRef& in_ref);

    // The points (in the same order and space as
    // CPointRefArray::GetPositionArray) and the polygons: for each polygon,
    // its point count followed by its point indices, in the order in which
    // they go round the polygon. Fails on an invalid mesh.
    CStatus Get(MATH::CVector3Array& out_vertices, CLongArray& out_polygonData) const;
};

} // namespace XSI
