// The scene-facing SDK classes over a scene built in the test: names,
// hierarchy, global transforms, parameters, shaders, geometry, time handling
// and invalid references; CVector3Array's shared storage with value semantics.
#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/scene/Scene.h"

#include <xsi_camera.h>
#include <xsi_geometry.h>
#include <xsi_kinematics.h>
#include <xsi_light.h>
#include <xsi_longarray.h>
#include <xsi_polygonmesh.h>
#include <xsi_primitive.h>
#include <xsi_shader.h>
#include <xsi_string.h>
#include <xsi_vector3array.h>
#include <xsi_x3dobject.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace XSI;
using host::HostApp;
using host::Item;

namespace {
std::wstring W(const CString& s) {
    return s.GetWideString();
}
double D(const CValue& v) {
    return static_cast<double>(v);
}
MATH::CVector3Array PositionsAt(const Item* item, double time = DBL_MAX) {
    return X3DObject(host::RefOf(item))
        .GetActivePrimitive()
        .GetGeometry(time)
        .GetPoints()
        .GetPositionArray();
}
MATH::CTransformation GlobalAt(const Item* item, double time = DBL_MAX) {
    return X3DObject(host::RefOf(item)).GetKinematics().GetGlobal().GetTransform(time);
}

// A: at (1,0,0), turned 90 degrees about Z; A.B: mesh at (1,0,0) moving to
// (1,4,0) over frames 0..10, its z set to the frame; A.B.C: scaled 2. Cam
// and Lamp at top level; Bare is a light without shader.
class SdkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HostApp::Get().Reset();
        auto scene = std::make_unique<host::Scene>();
        a = scene->AddNull(L"A");
        a->SetLocal({1, 1, 1}, {0, 0, 90}, {1, 0, 0});
        b = scene->AddMesh(L"B", a);
        b->Translation().SetKey(0, {1, 0, 0});
        b->Translation().SetKey(10, {1, 4, 0});
        b->GetMesh()->SetPoints({{0, 0, 0}, {1, 0, 0}});
        b->GetMesh()->AddDeformer([](double f, const host::Vec3& p, int) {
            return host::Vec3{p.x, p.y, f};
        });
        c = scene->AddNull(L"C", b);
        c->Scaling().Set({2, 2, 2});
        cam = scene->AddCamera(L"Cam");
        cam->GetParam(L"fov")->Value().SetKey(0, 40.0);
        cam->GetParam(L"fov")->Value().SetKey(10, 60.0);
        lamp = scene->AddLight(L"Lamp");
        host::LightShader* s = lamp->GetShaders().front().get();
        s->GetParam(L"color")->ColorValue().SetKey(0, {1, 0, 0, 1});
        s->GetParam(L"color")->ColorValue().SetKey(10, {0, 0, 1, 0.5});
        s->GetParam(L"intensity")->Value().SetFunction([](double f) { return f * 0.5; });
        bare = scene->AddLight(L"Bare", nullptr, false);
        HostApp::Get().SetScene(std::move(scene));
    }
    void TearDown() override { HostApp::Get().Reset(); }

    Item *a = nullptr, *b = nullptr, *c = nullptr, *cam = nullptr, *lamp = nullptr, *bare = nullptr;
};
} // namespace

TEST_F(SdkTest, NamesClassIdsAndHierarchy) {
    X3DObject oc(host::RefOf(c));
    EXPECT_EQ(W(oc.GetName()), L"C");
    EXPECT_EQ(W(host::RefOf(c).GetAsText()), L"A.B.C");
    EXPECT_EQ(W(oc.GetParent().GetFullName()), L"A.B");
    EXPECT_FALSE(X3DObject(host::RefOf(a)).GetParent().IsValid());
    const CRefArray kids = X3DObject(host::RefOf(a)).GetChildren();
    ASSERT_EQ(kids.GetCount(), 1);
    EXPECT_EQ(kids[0], host::RefOf(b));
    EXPECT_EQ(W(oc.GetKinematics().GetGlobal().GetFullName()), L"A.B.C.kine.global");
    EXPECT_EQ(W(X3DObject(host::RefOf(cam)).GetParameter(L"fov").GetFullName()), L"Cam.fov");
    EXPECT_EQ(host::RefOf(b).GetClassID(), siX3DObjectID);
    EXPECT_EQ(host::RefOf(cam).GetClassID(), siCameraID);
    EXPECT_EQ(host::RefOf(lamp).GetClassID(), siLightID);
    EXPECT_EQ(host::RefOf(a).GetClassID(), siNullID);
    // Renaming is refused for a '.', an empty name, a sibling's name or a parameter.
    for (const wchar_t* bad : {L"X.Y", L"", L"Lamp"})
        EXPECT_EQ(X3DObject(host::RefOf(cam)).PutName(bad), CStatus::InvalidArgument);
    EXPECT_EQ(X3DObject(host::RefOf(b)).PutName(L"Body"), CStatus::OK);
    EXPECT_EQ(W(oc.GetFullName()), L"A.Body.C");
    EXPECT_EQ(X3DObject(host::RefOf(cam)).GetParameter(L"fov").PutName(L"zoom"),
              CStatus::AccessDenied);
}

TEST_F(SdkTest, GlobalIsTheProductUpTheChainAndLocalIsTheItemsOwn) {
    // C's origin at frame 5: B local (1,2,0), turned by A (-2,1,0), moved (-1,1,0).
    const MATH::CTransformation g = GlobalAt(c, 5);
    const double want[3][4] = {{0, -2, 0, -1}, {2, 0, 0, 1}, {0, 0, 2, 0}}; // Rz90 x 2
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(g.GetMatrixValue(r, k), want[r][k], 1e-12);
    double x, y, z;
    X3DObject(host::RefOf(b))
        .GetKinematics()
        .GetLocal()
        .GetTransform(5)
        .GetTranslationValues(x, y, z);
    EXPECT_NEAR(y, 2, 1e-12);
}

TEST_F(SdkTest, MatrixFunctionsGiveWholeTransformsShearIncluded) {
    // A's local matrix becomes a shear x += y moving along x with the frame;
    // C (scaled 2 under B) keeps its own transform under it.
    a->SetLocalMatrixFunction([](double f) {
        host::Mat34 m;
        m.m[0][1] = 1.0;
        m.m[0][3] = f;
        return m;
    });
    const MATH::CTransformation g = GlobalAt(c, 5);
    // C's origin: B's (1, 2, 0) sheared to (3, 2, 0), moved by 5.
    EXPECT_NEAR(g.GetMatrixValue(0, 3), 8, 1e-12);
    EXPECT_NEAR(g.GetMatrixValue(1, 3), 2, 1e-12);
    EXPECT_NEAR(g.GetMatrixValue(0, 1), 2, 1e-12); // the shear, scaled by C
    EXPECT_NEAR(g.GetMatrixValue(1, 1), 2, 1e-12);
    EXPECT_NEAR(GlobalAt(a, 5).GetMatrixValue(0, 1), 1, 1e-12);

    // B's global matrix given whole: its local is what is left under A.
    b->SetGlobalMatrixFunction([](double f) {
        host::Mat34 m;
        m.m[1][3] = f;
        return m;
    });
    EXPECT_TRUE(b->HasMatrixFunction());
    EXPECT_NEAR(GlobalAt(c, 3).GetMatrixValue(1, 3), 3, 1e-12);
    EXPECT_NEAR(GlobalAt(c, 3).GetMatrixValue(0, 0), 2, 1e-12);
    double x, y, z;
    X3DObject(host::RefOf(b))
        .GetKinematics()
        .GetLocal()
        .GetTransform(3)
        .GetTranslationValues(x, y, z);
    EXPECT_NEAR(x, -6, 1e-12); // inverse(A at 3) * (0, 3, 0) = (0 - 3 - 3, 3, 0)
    EXPECT_NEAR(y, 3, 1e-12);
    const host::Mat34 local = b->EvalLocalMatrix(3);
    const host::Mat34 back = host::Mul(a->EvalGlobalMatrix(3), local);
    EXPECT_NEAR(back.m[1][3], 3, 1e-12);
    EXPECT_NEAR(back.m[0][3], 0, 1e-12);
}

TEST_F(SdkTest, QueriesAtATimeLeaveTheCurrentFrameAndDefaultToIt) {
    HostApp::Get().SetCurrentFrame(2.0);
    X3DObject camera(host::RefOf(cam));
    Shader shader(Light(host::RefOf(lamp)).GetShaders()[0]);
    EXPECT_DOUBLE_EQ(D(camera.GetParameterValue(L"fov", 10)), 60.0);
    EXPECT_EQ(PositionsAt(b, 8)[0].GetZ(), 8.0);
    GlobalAt(c, 10);
    EXPECT_DOUBLE_EQ(D(shader.GetParameterValue(L"intensity", 6)), 3.0);
    EXPECT_EQ(HostApp::Get().GetCurrentFrame(), 2.0);

    // The default time is the current frame.
    EXPECT_DOUBLE_EQ(D(camera.GetParameterValue(L"fov")), 44.0);
    EXPECT_DOUBLE_EQ(D(camera.GetParameter(L"fov").GetValue()), 44.0);
    EXPECT_EQ(PositionsAt(b)[1].GetZ(), 2.0);
    EXPECT_EQ(GlobalAt(c).GetMatrixValue(1, 3), GlobalAt(c, 2.0).GetMatrixValue(1, 3));
    float r, g, bl, al;
    ASSERT_EQ(shader.GetColorParameterValue(L"color", r, g, bl, al), CStatus::OK);
    EXPECT_FLOAT_EQ(r, 0.8f);
    EXPECT_FLOAT_EQ(bl, 0.2f);
    EXPECT_FLOAT_EQ(al, 0.9f);
    EXPECT_DOUBLE_EQ(D(shader.GetParameterValue(L"intensity")), 1.0);
    HostApp::Get().SetCurrentFrame(6.0);
    EXPECT_DOUBLE_EQ(D(camera.GetParameterValue(L"fov")), 52.0);
}

TEST_F(SdkTest, ParameterTypesAndWrites) {
    X3DObject camera(host::RefOf(cam));
    const CValue type = camera.GetParameterValue(L"fovtype");
    EXPECT_EQ(type.GetType(), CValue::siInt4);
    EXPECT_EQ(static_cast<LONG>(type), 1);
    EXPECT_EQ(camera.GetParameterValue(L"fov").GetType(), CValue::siDouble);
    EXPECT_TRUE(camera.GetParameterValue(L"nosuch").IsEmpty());
    EXPECT_FALSE(camera.GetParameter(L"nosuch").IsValid());
    EXPECT_EQ(static_cast<LONG>(X3DObject(host::RefOf(lamp)).GetParameterValue(L"Type")), 1);
    EXPECT_DOUBLE_EQ(D(X3DObject(host::RefOf(b)).GetParameterValue(L"pposx")), 0);
    // A constant takes the new value, an animated one gets a key, an empty value is refused.
    Parameter fov = camera.GetParameter(L"fov"), aspect = camera.GetParameter(L"aspect");
    EXPECT_EQ(aspect.PutValue(CValue(1.5)), CStatus::OK);
    EXPECT_DOUBLE_EQ(D(aspect.GetValue(123)), 1.5);
    EXPECT_EQ(fov.PutValue(CValue(100.0), 20), CStatus::OK);
    EXPECT_DOUBLE_EQ(D(fov.GetValue(15)), 80.0);
    EXPECT_EQ(camera.GetParameter(L"fovtype").PutValue(CValue()), CStatus::InvalidArgument);
}

TEST_F(SdkTest, LightShadersAndGeometry) {
    Shader shader(Light(host::RefOf(lamp)).GetShaders()[0]);
    EXPECT_EQ(W(shader.GetFullName()), L"Lamp.soft_light");
    float r, g, bl, al;
    ASSERT_EQ(shader.GetColorParameterValue(L"color", r, g, bl, al, 5), CStatus::OK);
    EXPECT_EQ(std::vector<float>({r, g, bl, al}), std::vector<float>({0.5f, 0.0f, 0.5f, 0.75f}));
    EXPECT_NE(shader.GetColorParameterValue(L"intensity", r, g, bl, al, 5), CStatus::OK);
    EXPECT_EQ(r, 0.0f);
    // The light without a shader.
    EXPECT_EQ(Light(host::RefOf(bare)).GetShaders().GetCount(), 0);
    Shader none(Light(host::RefOf(bare)).GetShaders().GetItem(0));
    r = g = bl = al = 7.0f;
    EXPECT_NE(none.GetColorParameterValue(L"color", r, g, bl, al), CStatus::OK);
    EXPECT_EQ(r + g + bl + al, 0.0f);
    EXPECT_TRUE(none.GetParameterValue(L"intensity").IsEmpty());

    const CPointRefArray pts =
        X3DObject(host::RefOf(b)).GetActivePrimitive().GetGeometry(3).GetPoints();
    EXPECT_EQ(pts.GetCount(), 2);
    EXPECT_EQ(pts.GetPositionArray()[1].GetZ(), 3.0);
    EXPECT_FALSE(X3DObject(host::RefOf(cam)).GetActivePrimitive().IsValid());
    EXPECT_EQ(X3DObject(host::RefOf(a)).GetActivePrimitive().GetGeometry().GetPoints().GetCount(),
              0);
}

// While the host hides points, every way the SDK shows a mesh's geometry
// shows none (the deformer, which counts its calls, is never asked), and
// showing them again gives the mesh back unchanged.
TEST_F(SdkTest, HiddenPointsShowEveryMeshEmptyUntilShownAgain) {
    b->GetMesh()->AddPolygon({0, 1, 1});
    int evaluations = 0;
    b->GetMesh()->AddDeformer([&evaluations](double, const host::Vec3& p, int) {
        ++evaluations;
        return p;
    });
    const X3DObject object(host::RefOf(b));
    auto shown = [&](double time, LONG* count, LONG* positions, LONG* polygonData) {
        const Geometry geometry = object.GetActivePrimitive().GetGeometry(time);
        *count = geometry.GetPoints().GetCount();
        *positions = geometry.GetPoints().GetPositionArray().GetCount();
        MATH::CVector3Array vertices;
        CLongArray polygons;
        ASSERT_EQ(PolygonMesh(geometry).Get(vertices, polygons), CStatus::OK);
        ASSERT_EQ(vertices.GetCount(), *positions);
        *polygonData = polygons.GetCount();
    };
    LONG count = 0, positions = 0, polygonData = 0;
    HostApp::Get().Scenes().HidePoints(true);
    for (double time : {DBL_MAX, 0.0, 7.0}) {
        shown(time, &count, &positions, &polygonData);
        EXPECT_EQ(std::vector<LONG>({count, positions, polygonData}), std::vector<LONG>({0, 0, 0}))
            << time;
    }
    EXPECT_EQ(evaluations, 0);
    HostApp::Get().Scenes().HidePoints(false);
    shown(7.0, &count, &positions, &polygonData);
    EXPECT_EQ(std::vector<LONG>({count, positions, polygonData}), std::vector<LONG>({2, 2, 4}));
    EXPECT_EQ(PositionsAt(b, 7.0)[1].GetZ(), 7.0);
    EXPECT_GT(evaluations, 0);
    // A fresh host shows points.
    HostApp::Get().Scenes().HidePoints(true);
    HostApp::Get().Scenes().Reset();
    EXPECT_FALSE(HostApp::Get().Scenes().PointsHidden());
}

TEST_F(SdkTest, InvalidAndStaleReferencesReadAsEmpty) {
    const X3DObject none;
    EXPECT_EQ(W(none.GetFullName()), L"");
    EXPECT_EQ(CRef().GetClassID(), siUnknownClassID);
    EXPECT_TRUE(none.GetParameterValue(L"fov").IsEmpty());
    EXPECT_EQ(none.GetChildren().GetCount(), 0);
    EXPECT_EQ(none.GetKinematics().GetGlobal().GetTransform(3).GetMatrixValue(0, 0), 1.0);
    EXPECT_EQ(none.GetActivePrimitive().GetGeometry().GetPoints().GetPositionArray().GetCount(), 0);
    // A reference of the wrong class is not taken for an item.
    const CRef paramRef = X3DObject(host::RefOf(cam)).GetParameter(L"fov").GetRef();
    EXPECT_FALSE(X3DObject(paramRef).GetKinematics().IsValid());
    // References into a scene that has been replaced are invalid.
    const CRef old = host::RefOf(b);
    const CRef oldState = X3DObject(old).GetKinematics().GetGlobal().GetRef();
    HostApp::Get().SetScene(std::make_unique<host::Scene>());
    EXPECT_EQ(W(SIObject(old).GetFullName()), L"");
    EXPECT_EQ(X3DObject(old).GetActivePrimitive().GetGeometry().GetPoints().GetCount(), 0);
    double x, y, z;
    KinematicState(oldState).GetTransform(1).GetTranslationValues(x, y, z);
    EXPECT_EQ(x + y + z, 0.0);
}

namespace {
using XSI::MATH::CVector3;
using XSI::MATH::CVector3Array;
using Xs = std::vector<double>;
Xs XsOf(const CVector3Array& a) {
    Xs xs;
    for (int i = 0; i < a.GetCount(); ++i)
        xs.push_back(a[i].GetX());
    return xs;
}
CVector3Array Counting(int n) {
    CVector3Array a;
    for (int i = 0; i < n; ++i)
        a.Add(CVector3(i, 0, 0));
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
    for (int i = 0; i < 20; ++i)
        e.Add(e[e.GetCount() - 1]);
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
        return XSI::X3DObject(host::RefOf(mesh))
            .GetActivePrimitive()
            .GetGeometry(f)
            .GetPoints()
            .GetPositionArray();
    };
    CVector3Array first = at(1);
    const CVector3Array second = at(2);
    EXPECT_EQ(std::as_const(first).GetArray(), second.GetArray());
    EXPECT_EQ(static_cast<const void*>(second.GetArray()),
              static_cast<const void*>(mesh->GetMesh()->GetRestPoints().data()));
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
