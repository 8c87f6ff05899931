// The mesh deformations beside linear-blend skinning and dense morph
// targets: dual-quaternion and blended skinning, a skin bound with the
// mesh's own transform, sparse morph targets and point sources (vertex
// caches), against values worked out by hand or by plain formulas.
#include "host/scene/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

using host::Item;
using host::Mat34;
using host::SkinMethod;
using host::Vec3;

namespace {

using Pts = std::vector<Vec3>;

Pts Eval(const Item& item, double frame) {
    Pts out(static_cast<size_t>(item.GetPointCount()));
    item.EvalPoints(frame, out.data());
    return out;
}

void ExpectNear(const Pts& got, const Pts& want, double tolerance = 1e-12) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, tolerance) << "point " << i;
        EXPECT_NEAR(got[i].y, want[i].y, tolerance) << "point " << i;
        EXPECT_NEAR(got[i].z, want[i].z, tolerance) << "point " << i;
    }
}

// A joint J0 at the origin and a joint J1 under it at (0,1,0) that turns
// 90 degrees about Z from frame 0 to 10; the mesh stands at the origin.
class TwistTest : public ::testing::Test {
  protected:
    void SetUp() override {
        j0 = scene.AddNull(L"J0");
        j1 = scene.AddNull(L"J1", j0);
        j1->Translation().Set({0, 1, 0});
        j1->Rotation().SetKey(0, host::QuatFromAxisAngle({0, 0, 1}, 0));
        j1->Rotation().SetKey(10, host::QuatFromAxisAngle({0, 0, 1}, host::DegToRad(90)));
        mesh = scene.AddMesh(L"Arm");
        offsets = {host::Inverse(j0->EvalGlobalMatrix(0)), host::Inverse(j1->EvalGlobalMatrix(0))};
    }

    host::Scene scene;
    Item *j0 = nullptr, *j1 = nullptr, *mesh = nullptr;
    std::vector<Mat34> offsets;
};

// A point one unit from the turning joint, half on each joint: dual
// quaternions turn it by half the angle about the joint, keeping its
// distance; the linear blend cuts the corner. Weights 1:3 turn it by the
// angle of the normalised sum of the two rotations' quaternions.
TEST_F(TwistTest, DualQuaternionsTurnAboutTheJointWithoutShrinking) {
    host::Mesh* m = mesh->GetMesh();
    m->SetPoints({{1, 1, 0}, {1, 1, 0}, {0, 3, 0}, {1, 1, 0}, {4, 4, 4}});
    m->SetSkin({j0, j1}, offsets,
               {{{0, 1.0}, {1, 1.0}}, {{1, 1.0}}, {{0, 1.0}}, {{0, 1.0}, {1, 3.0}}, {}});
    ExpectNear(Eval(*mesh, 10), {{0.5, 1.5, 0}, {0, 2, 0}, {0, 3, 0}, {0.25, 1.75, 0}, {4, 4, 4}});

    m->SetSkinMethod(SkinMethod::DualQuaternion);
    const double h = std::sqrt(0.5);
    const double s45 = std::sin(host::kPi / 4), c45 = std::cos(host::kPi / 4);
    const double theta =
        2.0 * std::atan2(0.75 * std::sin(host::kPi / 4), 0.25 + 0.75 * std::cos(host::kPi / 4));
    ExpectNear(Eval(*mesh, 0), {{1, 1, 0}, {1, 1, 0}, {0, 3, 0}, {1, 1, 0}, {4, 4, 4}});
    ExpectNear(Eval(*mesh, 10), {{h, 1 + h, 0},
                                 {0, 2, 0},
                                 {0, 3, 0},
                                 {std::cos(theta), 1 + std::sin(theta), 0},
                                 {4, 4, 4}});
    // Frame 5: J1 has turned 45 degrees; the half-and-half point 22.5.
    const double a = host::DegToRad(22.5);
    const double theta5 = 2.0 * std::atan2(0.75 * std::sin(a), 0.25 + 0.75 * std::cos(a));
    ExpectNear(Eval(*mesh, 5), {{std::cos(a), 1 + std::sin(a), 0},
                                {c45, 1 + s45, 0},
                                {0, 3, 0},
                                {std::cos(theta5), 1 + std::sin(theta5), 0},
                                {4, 4, 4}});
}

// Two joints at the origin turned +130 and -130 degrees about X: their
// quaternions (both with w >= 0) point to opposite sides, and summed as they
// are they would cancel to no turn at all. Taken on the first one's side,
// half and half turn the point by 180 degrees, the short way between them.
TEST(DualQuaternion, BlendsOnTheShortArcBetweenItsJoints) {
    host::Scene scene;
    Item* a = scene.AddNull(L"A");
    Item* b = scene.AddNull(L"B");
    a->SetLocal({1, 1, 1}, {130, 0, 0}, {0, 0, 0});
    b->SetLocal({1, 1, 1}, {-130, 0, 0}, {0, 0, 0});
    Item* mesh = scene.AddMesh(L"M");
    mesh->GetMesh()->SetPoints({{0, 1, 0}});
    // Bound with both joints unturned.
    mesh->GetMesh()->SetSkin({a, b}, {Mat34{}, Mat34{}}, {{{0, 1.0}, {1, 1.0}}});
    mesh->GetMesh()->SetSkinMethod(SkinMethod::DualQuaternion);
    ExpectNear(Eval(*mesh, 0), {{0, -1, 0}});
}

// Blended: blend weight 0 is the linear result, 1 the dual-quaternion one,
// and a weight in between mixes the two results linearly.
TEST_F(TwistTest, BlendedSkinningMixesTheTwoResultsPerPoint) {
    host::Mesh* m = mesh->GetMesh();
    m->SetPoints({{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 1, 0}});
    m->SetSkin({j0, j1}, offsets,
               {{{0, 1.0}, {1, 1.0}}, {{0, 1.0}, {1, 1.0}}, {{0, 1.0}, {1, 1.0}}, {}});
    m->SetSkinMethod(SkinMethod::Blended, {0.0, 1.0, 0.25, 0.5});
    const double h = std::sqrt(0.5);
    ExpectNear(Eval(*mesh, 10), {{0.5, 1.5, 0},
                                 {h, 1 + h, 0},
                                 {0.75 * 0.5 + 0.25 * h, 0.75 * 1.5 + 0.25 * (1 + h), 0},
                                 {1, 1, 0}});

    EXPECT_THROW(m->SetSkinMethod(SkinMethod::Blended, {0, 0, 0}), std::invalid_argument);
    EXPECT_THROW(m->SetSkinMethod(SkinMethod::Blended, {0, 0, 0, 1.5}), std::invalid_argument);
    EXPECT_THROW(m->SetSkinMethod(SkinMethod::Blended, {0, 0, 0, NAN}), std::invalid_argument);
    EXPECT_THROW(m->SetSkinMethod(SkinMethod::DualQuaternion, {0, 0, 0, 0}), std::invalid_argument);
    EXPECT_THROW(m->SetPoints({{0, 0, 0}}), std::logic_error);
    EXPECT_EQ(m->GetSkinMethod(), SkinMethod::Blended);
}

// With one influence a dual quaternion is the joint's mapping itself,
// whatever scale, shear or mirroring the mapping holds beside its rotation
// (they are applied first): every method gives the linear result.
TEST(DualQuaternion, OneInfluenceIsTheJointsMappingScaleShearAndMirrorIncluded) {
    host::Scene scene;
    Item* joint = scene.AddNull(L"J");
    Item* mesh = scene.AddMesh(L"M");
    mesh->SetLocal({1, 1, 1}, {0, 0, 30}, {0, 0, 2});
    const Pts points = {{1, 2, 3}, {-1, 0.5, 2}, {0, 0, 0}};
    mesh->GetMesh()->SetPoints(points);
    mesh->GetMesh()->SetSkin({joint}, {mesh->EvalGlobalMatrix(0)},
                             {{{0, 1.0}}, {{0, 1.0}}, {{0, 1.0}}});
    struct Case {
        const char* what;
        Mat34 at10;
    };
    Mat34 shear =
        host::MatrixFromSRT({1, 1, 1}, host::QuatFromXYZAngles(0.3, -0.2, 1.1), {1, 2, 3});
    shear.m[0][1] += 0.7; // x grows with y
    const Case cases[] = {
        {"rotation and translation",
         host::MatrixFromSRT({1, 1, 1}, host::QuatFromXYZAngles(0.5, 1.0, -2.0), {3, -1, 2})},
        {"non-uniform scale",
         host::MatrixFromSRT({2, 0.5, 3}, host::QuatFromXYZAngles(0.1, 0.2, 0.3), {0, 1, 0})},
        {"shear", shear},
        {"mirror", host::MatrixFromSRT({-1, 1, 1}, host::QuatFromXYZAngles(0, 0.4, 0), {1, 0, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mat34 at10 = c.at10;
        joint->SetGlobalMatrixFunction([at10](double frame) { return frame < 5 ? Mat34{} : at10; });
        Pts want;
        const Mat34 toMesh = host::Inverse(mesh->EvalGlobalMatrix(10));
        for (const Vec3& p : points) {
            want.push_back(
                host::Apply(toMesh, host::Apply(at10, host::Apply(mesh->EvalGlobalMatrix(0), p))));
        }
        for (SkinMethod method : {SkinMethod::Linear, SkinMethod::DualQuaternion}) {
            mesh->GetMesh()->SetSkinMethod(method);
            ExpectNear(Eval(*mesh, 10), want, 1e-9);
            ExpectNear(Eval(*mesh, 0), points, 1e-12);
        }
    }
}

// A skin bound with the mesh's global transform at bind time maps the
// skinned points back with that matrix: the mesh item's own transform at the
// frame then moves the skinned mesh (without it the skin holds the points
// where the joints put them, wherever the mesh item goes).
TEST_F(TwistTest, ABindMatrixLetsTheMeshsOwnTransformMoveTheSkin) {
    mesh->Translation().SetKey(0, {0, 0, 0});
    mesh->Translation().SetKey(10, {5, 0, 0});
    host::Mesh* m = mesh->GetMesh();
    m->SetPoints({{1, 1, 0}, {0, 3, 0}});
    m->SetSkin({j0, j1}, offsets, {{{1, 1.0}}, {}});
    // Without a bind matrix: point 0 stays at world (0,2,0), local (-5,2,0);
    // the unskinned point moves with the mesh.
    ExpectNear(Eval(*mesh, 10), {{-5, 2, 0}, {0, 3, 0}});
    for (SkinMethod method : {SkinMethod::Linear, SkinMethod::DualQuaternion}) {
        m->SetSkinMethod(method);
        m->SetSkinBindMatrix(Mat34{}); // bound at the origin
        ExpectNear(Eval(*mesh, 10), {{0, 2, 0}, {0, 3, 0}});
    }
    // Bound one unit up: the points were one unit lower than the skin
    // thinks, J1 sees point 0 at (1,1,0) in its bind space, turns it to
    // (0,2,0) world, and the bind matrix takes it back down: (0,1,0).
    m->SetSkinMethod(SkinMethod::Linear);
    Mat34 up;
    up.m[1][3] = 1.0;
    m->SetSkinBindMatrix(up);
    ExpectNear(Eval(*mesh, 10), {{0, 1, 0}, {0, 3, 0}});
    Mat34 singular;
    singular.m[2][2] = 0.0;
    EXPECT_THROW(m->SetSkinBindMatrix(singular), std::invalid_argument);
}

// Dual quaternions blend in world space at bind time: a mesh bound with a
// non-uniform scale turns as the world-space joint does (a circle in world
// space, an ellipse in the mesh's own space), not as the same rotation
// applied in the mesh's squashed space.
TEST_F(TwistTest, DualQuaternionsBlendInWorldSpaceAtBind) {
    host::Mesh* m = mesh->GetMesh();
    Mat34 squash; // x halved
    squash.m[0][0] = 0.5;
    m->SetPoints({{2, 1, 0}}); // world (1,1,0)
    // The offsets map the mesh's bind space to each joint.
    m->SetSkin({j0, j1}, {host::Mul(offsets[0], squash), host::Mul(offsets[1], squash)},
               {{{0, 1.0}, {1, 1.0}}});
    m->SetSkinBindMatrix(squash);
    m->SetSkinMethod(SkinMethod::DualQuaternion);
    // World (1,1,0) turns 45 degrees about (0,1,0): (h, 1 + h, 0); local x
    // doubled.
    const double h = std::sqrt(0.5);
    ExpectNear(Eval(*mesh, 10), {{2 * h, 1 + h, 0}});
}

// Many points with dual-quaternion and blended skinning, a morph target
// and a deformer around it: the same bits on 1, 2 and 3 threads; points
// with a single influence follow their joint's mapping; blend weight 0 is
// the linear skin.
TEST_F(TwistTest, ManyPointsGiveTheSameBitsOnAnyNumberOfThreads) {
    j0->Translation().SetKey(0, {0, 0, 0});
    j0->Translation().SetKey(10, {2, 0, 0});
    const int count = 3 * 8192 + 77;
    Pts points;
    std::vector<std::vector<host::Influence>> influences(count);
    std::vector<double> blend(count);
    for (int i = 0; i < count; ++i) {
        points.push_back({std::sin(i * 0.01), i * 1e-4, std::cos(i * 0.02)});
        blend[i] = (i % 3) * 0.5;
        if (i % 5 == 0)
            continue;
        if (i % 5 == 1) {
            influences[i] = {{1, 2.0}};
            continue;
        }
        influences[i] = {{0, 1.0 + i % 3}, {1, 0.5 + i % 4}};
    }
    Item* linear = scene.AddMesh(L"Linear");
    linear->GetMesh()->SetPoints(points);
    linear->GetMesh()->SetSkin({j0, j1}, offsets, influences);
    const Pts linearOut = Eval(*linear, 7.5);
    for (SkinMethod method : {SkinMethod::DualQuaternion, SkinMethod::Blended}) {
        SCOPED_TRACE(method == SkinMethod::Blended ? "blended" : "dual quaternion");
        Item* item = scene.AddMesh(method == SkinMethod::Blended ? L"Blended" : L"Dq");
        host::Mesh* m = item->GetMesh();
        m->SetPoints(points);
        m->SetSkin({j0, j1}, offsets, influences);
        m->SetSkinMethod(method, method == SkinMethod::Blended ? blend : std::vector<double>{});
        std::vector<Pts> results;
        for (int threads : {1, 2, 3}) {
            scene.SetWorkerCount(threads);
            results.push_back(Eval(*item, 7.5));
        }
        const Mat34 j1At = host::Mul(j1->EvalGlobalMatrix(7.5), offsets[1]);
        for (int i = 0; i < count; ++i) {
            for (size_t r = 1; r < results.size(); ++r) {
                ASSERT_EQ(std::memcmp(&results[0][i], &results[r][i], sizeof(Vec3)), 0)
                    << "point " << i << ", " << r + 1 << " threads";
            }
            Vec3 want = results[0][i];
            if (i % 5 == 0)
                want = points[i];
            else if (i % 5 == 1)
                want = host::Apply(j1At, points[i]);
            else if (method == SkinMethod::Blended && blend[i] == 0.0)
                want = linearOut[i];
            ASSERT_NEAR(results[0][i].x, want.x, 1e-12) << i;
            ASSERT_NEAR(results[0][i].y, want.y, 1e-12) << i;
            ASSERT_NEAR(results[0][i].z, want.z, 1e-12) << i;
        }
    }
}

// A sparse morph target moves the points it names as a dense target with
// zeros elsewhere would; sparse targets, dense ones and their weights add.
TEST(SparseMorph, MovesOnlyItsPointsAndAddsToDenseTargets) {
    host::Scene scene;
    Item* item = scene.AddMesh(L"Face");
    host::Mesh* m = item->GetMesh();
    m->SetPoints({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    const int brow = m->AddMorphTarget(L"brow", {3, 1}, {{0, 0, 1}, {0, 2, 0}});
    const int jaw = m->AddMorphTarget(L"jaw", {1}, {{0, -1, 0}});
    const int all = m->AddMorphTarget(L"all", Pts(4, Vec3{1, 0, 0}));
    ExpectNear(Eval(*item, 0), {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    m->MorphWeight(brow).SetKey(0, 0.0);
    m->MorphWeight(brow).SetKey(10, 1.0);
    m->MorphWeight(jaw).Set(0.5);
    m->MorphWeight(all).Set(2.0);
    // Frame 5: brow 0.5, jaw 0.5, all 2.
    ExpectNear(Eval(*item, 5), {{2, 0, 0}, {3, 0.5, 0}, {4, 0, 0}, {5, 0, 0.5}});
    // Brow alone: the jaw's earlier sum is gone.
    m->MorphWeight(jaw).Set(0.0);
    m->MorphWeight(all).Set(0.0);
    ExpectNear(Eval(*item, 10), {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}, {3, 0, 1}});
    EXPECT_EQ(m->GetMorphTargetName(jaw), L"jaw");

    EXPECT_THROW(m->AddMorphTarget(L"twice", {1, 1}, {{}, {}}), std::invalid_argument);
    EXPECT_THROW(m->AddMorphTarget(L"out", {4}, {{}}), std::invalid_argument);
    EXPECT_THROW(m->AddMorphTarget(L"neg", {-1}, {{}}), std::invalid_argument);
    EXPECT_THROW(m->AddMorphTarget(L"short", {0, 1}, {{}}), std::invalid_argument);
    EXPECT_EQ(m->GetMorphTargetCount(), 3);
}

// A point source that gives the points of a frame as a plain function of
// it, counting its reads.
class WaveSource : public host::PointSource {
  public:
    explicit WaveSource(size_t count) : m_count(count) {}
    size_t GetPointCount() const override { return m_count; }
    void ReadPoints(double frame, Vec3* out) override {
        ++reads;
        for (size_t i = 0; i < m_count; ++i)
            out[i] = Vec3{static_cast<double>(i), frame, 0};
    }
    int reads = 0;

  private:
    size_t m_count;
};

// The source's points replace the rest points before the other stages: a
// mesh with nothing else gets them as they are, morph targets add to them
// and a skin maps them.
TEST_F(TwistTest, APointSourceReplacesTheRestPointsBeforeTheOtherStages) {
    host::Mesh* m = mesh->GetMesh();
    m->SetPoints({{9, 9, 9}, {9, 9, 9}});
    auto source = std::make_shared<WaveSource>(2);
    m->SetPointSource(source);
    EXPECT_TRUE(m->IsDeformed());
    ExpectNear(Eval(*mesh, 3), {{0, 3, 0}, {1, 3, 0}});
    EXPECT_EQ(source->reads, 1);
    // Two frames held at once, as a cache writer holds them.
    const host::PointArray a = m->EvaluateArray(*mesh, 4);
    const host::PointArray b = m->EvaluateArray(*mesh, 5);
    EXPECT_EQ(a[1].y, 4.0);
    EXPECT_EQ(b[1].y, 5.0);

    m->MorphWeight(m->AddMorphTarget(L"push", {{0, 0, 1}, {0, 0, 2}})).Set(0.5);
    ExpectNear(Eval(*mesh, 3), {{0, 3, 0.5}, {1, 3, 1}});
    // Point 1 on J1: at frame 10 the source gives (1,10,0), the target
    // pushes it to (1,10,1), (1,9,1) from J1's bind place, which J1 turns
    // 90 degrees about Z to (-9,1,1) and places at (0,1,0): (-9,2,1).
    m->SetSkin({j0, j1}, offsets, {{}, {{1, 1.0}}});
    ExpectNear(Eval(*mesh, 10), {{0, 10, 0.5}, {-9, 2, 1}});
}

TEST(PointSource, CountMustMatchAndFixesTheCount) {
    host::Scene scene;
    Item* item = scene.AddMesh(L"M");
    host::Mesh* m = item->GetMesh();
    m->SetPoints({{0, 0, 0}, {1, 1, 1}});
    EXPECT_THROW(m->SetPointSource(std::make_shared<WaveSource>(3)), std::invalid_argument);
    m->SetPointSource(std::make_shared<WaveSource>(2));
    EXPECT_THROW(m->AddPoint({0, 0, 0}), std::logic_error);
    m->SetPointSource(nullptr);
    EXPECT_FALSE(m->IsDeformed());
    m->AddPoint({0, 0, 0});
    EXPECT_EQ(m->GetPointCount(), 3);
}

} // namespace
