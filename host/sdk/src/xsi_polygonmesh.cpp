// PolygonMesh over the scene model: the points of a mesh item at the
// geometry's time and its polygons.
#include "host/app/HostApp.h"
#include "host/sdk/src/SceneRefs.h"

#include <xsi_pointrefarray.h>
#include <xsi_polygonmesh.h>

namespace XSI {

namespace {
// The mesh item behind a geometry reference; nullptr when the reference is
// not a geometry or its item holds no mesh.
const host::Item* MeshItem(const CRef& ref) {
    const host::Item* item = host::sdkref::OwnerItemOf(ref, siGeometryID);
    return item && item->GetMesh() ? item : nullptr;
}

CRef MeshRef(const CRef& ref) {
    return MeshItem(ref) ? ref : CRef();
}
} // namespace

PolygonMesh::PolygonMesh(const Geometry& in_geometry)
    : Geometry(MeshRef(in_geometry.GetRef()), in_geometry.GetTime()) {}

PolygonMesh::PolygonMesh(const CRef& in_ref) : Geometry(MeshRef(in_ref), kDefaultTime) {}

CStatus PolygonMesh::Get(MATH::CVector3Array& out_vertices, CLongArray& out_polygonData) const {
    out_vertices.Resize(0);
    out_polygonData.Clear();
    const host::Item* item = MeshItem(m_ref);
    if (!item) {
        return CStatus::Fail;
    }
    if (host::HostApp::Get().Scenes().PointsHidden()) {
        return CStatus::OK; // a mesh shown without points has no polygons either
    }
    out_vertices = CPointRefArray(m_ref, GetTime()).GetPositionArray();
    const host::Mesh& mesh = *item->GetMesh();
    const std::vector<int>& sizes = mesh.GetPolygonSizes();
    const std::vector<int>& points = mesh.GetPolygonPoints();
    out_polygonData.Resize(static_cast<LONG>(sizes.size() + points.size()));
    LONG at = 0;
    size_t next = 0;
    for (int size : sizes) {
        out_polygonData[at++] = size;
        for (int k = 0; k < size; ++k) {
            out_polygonData[at++] = points[next++];
        }
    }
    return CStatus::OK;
}

} // namespace XSI
