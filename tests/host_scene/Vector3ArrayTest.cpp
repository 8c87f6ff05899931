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
using Xs = std::vector<double>;

namespace {
Xs XsOf(const CVector3Array& a) {
    Xs xs;
    for (int i = 0; i < a.GetCount(); ++i) xs.push_back(a[i].GetX());
    return xs;
}
CVector3Array Counting(int n) {
    CVector3Array a;
    for (int i = 0; i < n; ++i) a.Add(CVector3(i, 0, 0));
    return a;
}
} // namespace

TEST(Vector3Array, CopiesShareStorageButNeverEachOthersChanges) {
    const CVector3Array a = Counting(3);
    CVector3Array b = a;
    EXPECT_EQ(std::as_const(b).GetArray(), a.GetArray()); // const access shares
    b[1].PutX(10);
    b.Add(CVector3(3, 0, 0));
    CVector3Array c = a; // shrink and regrow must not write into a's storage
    c.Resize(1);
    c.Add(CVector3(7, 0, 0));
    c.Resize(4);
    CVector3Array d;
    d = a;
    d.GetArray()[2].PutX(-1);
    EXPECT_EQ(XsOf(a), (Xs{0, 1, 2}));
    EXPECT_EQ(XsOf(b), (Xs{0, 10, 2, 3}));
    EXPECT_EQ(XsOf(c), (Xs{0, 7, 0, 0}));
    EXPECT_EQ(XsOf(d), (Xs{0, 1, -1}));

    // An element handed out for writing is never shared, also after a move.
    CVector3Array e = Counting(2);
    CVector3& first = e[0];
    const CVector3Array copy = e;
    first.PutX(5);
    CVector3Array moved = std::move(e);
    first.PutX(6);
    EXPECT_EQ(XsOf(copy), (Xs{0, 1}));
    EXPECT_EQ(XsOf(moved), (Xs{6, 1}));

    // Zero fill, negative size, and adding its own element while reallocating.
    EXPECT_EQ(XsOf(CVector3Array(2)), (Xs{0, 0}));
    EXPECT_EQ(CVector3Array(0).GetArray(), nullptr);
    e = Counting(1);
    e.Resize(-3);
    EXPECT_EQ(e.GetCount(), 0);
    e = Counting(1);
    for (int i = 0; i < 20; ++i) e.Add(e[e.GetCount() - 1]);
    EXPECT_EQ(e.GetCount(), 21);
    EXPECT_EQ(e[20].GetX(), 0.0);
}

TEST(Vector3Array, UndeformedPositionsShareTheRestPointsAsValues) {
    host::HostApp::Get().Reset();
    auto scene = std::make_unique<host::Scene>();
    host::Item* mesh = scene->AddMesh(L"m");
    mesh->GetMesh()->SetPoints({{1, 2, 3}, {4, 5, 6}});
    host::HostApp::Get().SetScene(std::move(scene));
    auto at = [mesh](double f) {
        return XSI::X3DObject(mesh->GetRef()).GetActivePrimitive().GetGeometry(f).GetPoints()
            .GetPositionArray();
    };
    CVector3Array first = at(1);
    const CVector3Array second = at(2);
    EXPECT_EQ(std::as_const(first).GetArray(), second.GetArray());
    EXPECT_EQ(second.GetArray(), mesh->GetMesh()->GetRestPoints().GetArray());
    // Changes on either side stay on that side.
    first[0].PutX(-1);
    EXPECT_EQ(at(3)[0].GetX(), 1.0);
    mesh->GetMesh()->AddPoint({7, 8, 9});
    mesh->GetMesh()->SetPoints({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(XsOf(second), (Xs{1, 4}));
    EXPECT_EQ(XsOf(at(4)), (Xs{0, 0, 0}));
    // A deformed mesh gives a new array each time.
    mesh->GetMesh()->AddDeformer([](double f, const host::Vec3& p, int i) {
        return host::Vec3{p.x + f + i, p.y, p.z};
    });
    EXPECT_EQ(XsOf(at(5)), (Xs{5, 6, 7}));
    EXPECT_EQ(XsOf(at(1)), (Xs{1, 2, 3}));
    host::HostApp::Get().Reset();
}
