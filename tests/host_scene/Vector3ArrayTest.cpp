// CVector3Array keeps value semantics while copies share storage, and the
// position array of a mesh without deformation shares its rest points.
#include "host/app/HostApp.h"
#include "host/scene/Scene.h"

#include <xsi_geometry.h>
#include <xsi_primitive.h>
#include <xsi_vector3array.h>
#include <xsi_x3dobject.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using XSI::MATH::CVector3;
using XSI::MATH::CVector3Array;

namespace {
std::vector<double> Xs(const CVector3Array& a) {
    std::vector<double> xs;
    for (int i = 0; i < a.GetCount(); ++i) {
        xs.push_back(a[i].GetX());
    }
    return xs;
}

CVector3Array Counting(int n) {
    CVector3Array a;
    for (int i = 0; i < n; ++i) {
        a.Add(CVector3(i, 0, 0));
    }
    return a;
}

XSI::MATH::CVector3Array PositionsAt(const host::Item* item, double frame) {
    return XSI::X3DObject(item->GetRef())
        .GetActivePrimitive()
        .GetGeometry(frame)
        .GetPoints()
        .GetPositionArray();
}
} // namespace

TEST(Vector3Array, CopiesNeverSeeEachOthersChanges) {
    const CVector3Array a = Counting(3);
    CVector3Array b = a;
    EXPECT_EQ(std::as_const(b).GetArray(), a.GetArray()); // const access shares
    b[1].PutX(10);
    b.Add(CVector3(3, 0, 0));
    EXPECT_EQ(Xs(a), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(Xs(b), (std::vector<double>{0, 10, 2, 3}));

    // Shrinking a copy and growing it again must not write into the storage
    // the original still reads.
    CVector3Array c = a;
    c.Resize(1);
    c.Add(CVector3(7, 0, 0));
    c.Resize(4);
    EXPECT_EQ(Xs(c), (std::vector<double>{0, 7, 0, 0}));
    EXPECT_EQ(Xs(a), (std::vector<double>{0, 1, 2}));

    CVector3Array d;
    d = a;
    d.GetArray()[2].PutX(-1);
    EXPECT_EQ(Xs(a), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(Xs(d), (std::vector<double>{0, 1, -1}));
}

TEST(Vector3Array, ElementsHandedOutForWritingAreNotShared) {
    CVector3Array a = Counting(2);
    CVector3& first = a[0];
    const CVector3Array copy = a; // must copy: `first` can still change a
    first.PutX(5);
    EXPECT_EQ(Xs(copy), (std::vector<double>{0, 1}));
    EXPECT_EQ(Xs(a), (std::vector<double>{5, 1}));

    CVector3Array moved = std::move(a);
    first.PutX(6); // still an element of the moved-to array
    EXPECT_EQ(Xs(moved), (std::vector<double>{6, 1}));
    EXPECT_EQ(Xs(copy), (std::vector<double>{0, 1}));
}

TEST(Vector3Array, SizesZeroFillAndAddOfOwnElement) {
    CVector3Array a(2);
    EXPECT_EQ(Xs(a), (std::vector<double>{0, 0}));
    a.Resize(-3);
    EXPECT_EQ(a.GetCount(), 0);
    a = Counting(1);
    for (int i = 0; i < 20; ++i) { // reallocates while reading its argument
        a.Add(a[a.GetCount() - 1]);
    }
    EXPECT_EQ(a.GetCount(), 21);
    EXPECT_EQ(a[20].GetX(), 0.0);
    EXPECT_EQ(CVector3Array(0).GetArray(), nullptr);
}

TEST(Vector3Array, UndeformedPositionsShareTheRestPointsAsValues) {
    host::HostApp::Get().Reset();
    auto scene = std::make_unique<host::Scene>();
    host::Item* mesh = scene->AddMesh(L"m");
    mesh->GetMesh()->SetPoints({{1, 2, 3}, {4, 5, 6}});
    host::HostApp::Get().SetScene(std::move(scene));

    CVector3Array first = PositionsAt(mesh, 1);
    const CVector3Array second = PositionsAt(mesh, 2);
    EXPECT_EQ(std::as_const(first).GetArray(), second.GetArray());
    EXPECT_EQ(second.GetArray(), mesh->GetMesh()->GetRestPoints().GetArray());

    // Changes on either side stay on that side.
    first[0].PutX(-1);
    EXPECT_EQ(PositionsAt(mesh, 3)[0].GetX(), 1.0);
    mesh->GetMesh()->AddPoint({7, 8, 9});
    mesh->GetMesh()->SetPoints({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(Xs(second), (std::vector<double>{1, 4}));
    EXPECT_EQ(Xs(PositionsAt(mesh, 4)), (std::vector<double>{0, 0, 0}));

    // A deformed mesh gives a new array each time.
    mesh->GetMesh()->AddDeformer([](double f, const host::Vec3& p, int i) {
        return host::Vec3{p.x + f + i, p.y, p.z};
    });
    EXPECT_EQ(Xs(PositionsAt(mesh, 5)), (std::vector<double>{5, 6, 7}));
    EXPECT_EQ(Xs(PositionsAt(mesh, 1)), (std::vector<double>{1, 2, 3}));
    host::HostApp::Get().Reset();
}
