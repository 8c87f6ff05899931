// Mesh evaluation: rest points, morph targets, linear-blend skinning and
// procedural deformers, checked against points worked out by hand.
#include "host/scene/Scene.h"

#include <xsi_vector3array.h>

#include <gtest/gtest.h>

#include <stdexcept>

using host::Influence;
using host::Item;
using host::Mat34;
using host::Scene;
using host::Vec3;

namespace {
std::vector<Vec3> Points(const Item& item, double frame) {
    XSI::MATH::CVector3Array out(item.GetPointCount());
    item.EvalPoints(frame, out.GetArray());
    std::vector<Vec3> v;
    for (int i = 0; i < out.GetCount(); ++i) {
        v.push_back({out[i].GetX(), out[i].GetY(), out[i].GetZ()});
    }
    return v;
}

void ExpectVec(const Vec3& p, double x, double y, double z) {
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
    EXPECT_NEAR(p.z, z, 1e-12);
}

host::Quat RotZ(double degrees) {
    return host::QuatFromAxisAngle({0, 0, 1}, host::DegToRad(degrees));
}
} // namespace

TEST(Deform, UndeformedMeshGivesItsRestPointsAtEveryFrame) {
    Scene scene;
    Item* m = scene.AddMesh(L"M");
    m->GetMesh()->SetPoints({{1, 2, 3}, {-4, 5, -6}});
    m->Translation().SetKey(0, {0, 0, 0});
    m->Translation().SetKey(10, {9, 9, 9}); // moving the object does not move local points
    for (double f : {0.0, 5.0, 10.0}) {
        const auto p = Points(*m, f);
        ASSERT_EQ(p.size(), 2u);
        ExpectVec(p[0], 1, 2, 3);
        ExpectVec(p[1], -4, 5, -6);
    }
}

TEST(Deform, MorphTargetsAddWeightedDeltas) {
    Scene scene;
    Item* m = scene.AddMesh(L"M");
    host::Mesh* mesh = m->GetMesh();
    mesh->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const int smile = mesh->AddMorphTarget(L"smile", {{0, 0, 1}, {0, 0, 0}, {2, 0, 0}});
    const int blink = mesh->AddMorphTarget(L"blink", {{1, 0, 0}, {0, 4, 0}, {0, 0, 0}});
    mesh->MorphWeight(smile).SetKey(0, 0.0);
    mesh->MorphWeight(smile).SetKey(10, 1.0);
    mesh->MorphWeight(blink).Set(0.25);

    auto p = Points(*m, 0);
    ExpectVec(p[0], 0.25, 0, 0);
    ExpectVec(p[1], 1, 1, 0);
    ExpectVec(p[2], 0, 1, 0);
    p = Points(*m, 5); // smile 0.5
    ExpectVec(p[0], 0.25, 0, 0.5);
    ExpectVec(p[1], 1, 1, 0);
    ExpectVec(p[2], 1, 1, 0);
}

// Two joints: J0 at the origin, J1 under J0 at (0,1,0). From frame 0 to 10
// J0 moves to (2,0,0) and J1 turns 90 degrees about Z. The mesh sits at
// (0,0,1); the offsets are the bind-time inverse(joint) * mesh.
class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        j0 = scene.AddNull(L"J0");
        j0->Translation().SetKey(0, {0, 0, 0});
        j0->Translation().SetKey(10, {2, 0, 0});
        j1 = scene.AddNull(L"J1", j0);
        j1->Translation().Set({0, 1, 0});
        j1->Rotation().SetKey(0, RotZ(0));
        j1->Rotation().SetKey(10, RotZ(90));
        mesh = scene.AddMesh(L"Body");
        mesh->Translation().Set({0, 0, 1});
        mesh->GetMesh()->SetPoints({{1, 0, 0}, {1, 1, 0}, {5, 5, 5}});
    }
    std::vector<Mat34> BindOffsets() const {
        const Mat34 meshBind = mesh->EvalGlobalMatrix(0);
        return {host::Mul(host::Inverse(j0->EvalGlobalMatrix(0)), meshBind),
                host::Mul(host::Inverse(j1->EvalGlobalMatrix(0)), meshBind)};
    }

    Scene scene;
    Item* j0 = nullptr;
    Item* j1 = nullptr;
    Item* mesh = nullptr;
};

TEST_F(SkinTest, LinearBlendFollowsTheJointsInMeshSpace) {
    // Point 0: J0 only. Point 1: J0 and J1 equally (weights 3 and 3 are
    // normalised). Point 2: no influence, stays put.
    mesh->GetMesh()->SetSkin({j0, j1}, BindOffsets(), {{{0, 1.0}}, {{0, 3.0}, {1, 3.0}}, {}});

    // At bind time the points are the rest points.
    auto p = Points(*mesh, 0);
    ExpectVec(p[0], 1, 0, 0);
    ExpectVec(p[1], 1, 1, 0);
    ExpectVec(p[2], 5, 5, 5);

    // Frame 10. Point 0 in world (1,0,1) moves with J0 by (2,0,0): (3,0,1),
    // local (3,0,0). Point 1 in world (1,1,1): by J0 (3,1,1); by J1, in J1's
    // bind space (1,0,1), turned (0,1,1), placed at J1 (2,1,0): (2,2,1).
    // Blend (2.5,1.5,1), local (2.5,1.5,0).
    p = Points(*mesh, 10);
    ExpectVec(p[0], 3, 0, 0);
    ExpectVec(p[1], 2.5, 1.5, 0);
    ExpectVec(p[2], 5, 5, 5);
}

TEST_F(SkinTest, MorphsApplyBeforeSkinningAndDeformersAfter) {
    host::Mesh* m = mesh->GetMesh();
    const int t = m->AddMorphTarget(L"push", {{1, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    m->MorphWeight(t).Set(1.0);
    m->SetSkin({j0, j1}, BindOffsets(), {{{1, 1.0}}, {}, {}});
    std::vector<int> seen;
    m->AddDeformer([&seen](double frame, const Vec3& p, int index) {
        seen.push_back(index);
        return Vec3{p.x, p.y, p.z + frame};
    });

    // Frame 10, point 0: morphed (2,0,0), world (2,0,1); J1 bind space
    // (2,-1,1), turned (1,2,1), placed at (2,1,0): (3,3,1), local (3,3,0);
    // the deformer adds 10 to z.
    const auto p = Points(*mesh, 10);
    ExpectVec(p[0], 3, 3, 10);
    ExpectVec(p[1], 1, 1, 10);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST_F(SkinTest, BuilderRefusesInconsistentData) {
    host::Mesh* m = mesh->GetMesh();
    EXPECT_THROW(m->SetSkin({j0}, BindOffsets(), {{}, {}, {}}), std::invalid_argument);
    EXPECT_THROW(m->SetSkin({j0, j1}, BindOffsets(), {{}, {}}), std::invalid_argument);
    EXPECT_THROW(m->SetSkin({j0, j1}, BindOffsets(), {{{2, 1.0}}, {}, {}}), std::invalid_argument);
    EXPECT_THROW(m->SetSkin({j0, j1}, BindOffsets(), {{{0, -1.0}}, {}, {}}), std::invalid_argument);
    EXPECT_THROW(m->AddMorphTarget(L"short", {{0, 0, 0}}), std::invalid_argument);
    EXPECT_THROW(m->AddPolygon({0, 3}), std::invalid_argument);
    m->AddPolygon({0, 1, 2});
    EXPECT_THROW(m->SetPoints({{0, 0, 0}}), std::invalid_argument); // polygon uses point 2
    m->AddMorphTarget(L"t", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    EXPECT_THROW(m->AddPoint({0, 0, 0}), std::logic_error);
    // Same count: new rest positions are fine.
    m->SetPoints({{0, 0, 0}, {0, 0, 0}, {1, 1, 1}});
    EXPECT_EQ(m->GetPointCount(), 3);
}
