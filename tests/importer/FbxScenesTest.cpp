// FBX scenes of the project's own (data/make_fbx_fixtures.py), one
// behaviour each, loaded by the FBX reader: the points and transforms the
// format defines, worked out here by hand (the comments show how) or by
// formulas of the test's own, in 7.4 and, where the scene has a 6.1 twin,
// in 6.1 text.
#include "ImporterSupport.h"

#include "host/import/fbx/FbxSceneBuilder.h"

#include <functional>
#include <thread>

using namespace importer_test;

namespace {

const std::string kFixtures = ZK_FBX_FIXTURE_DIR "/";

void Load(const std::string& file, bool keepUnits = false) {
    FreshHost();
    host::AssimpLoadOptions options;
    options.keepUnits = keepUnits;
    host::LoadSceneFile(kFixtures + file, options);
}

const host::Item* Item(const std::wstring& name) {
    const host::Item* item = host::HostApp::Get().GetScene()->FindItem(name);
    EXPECT_NE(item, nullptr) << std::string(name.begin(), name.end());
    return item;
}

P3 ToP3(const host::Vec3& v) {
    return {v.x, v.y, v.z};
}

// The mesh's points in world space at a frame, from the scene model itself
// (a global transform with shear included).
std::vector<P3> World(const std::wstring& name, double frame) {
    const host::Item* item = Item(name);
    std::vector<P3> out;
    if (!item || !item->GetMesh()) {
        return out;
    }
    std::vector<host::Vec3> local(static_cast<size_t>(item->GetPointCount()));
    item->EvalPoints(frame, local.data());
    const host::Mat34 g = item->EvalGlobalMatrix(frame);
    for (const host::Vec3& p : local) {
        out.push_back(ToP3(host::Apply(g, p)));
    }
    return out;
}

P3 Position(const std::wstring& name, double frame) {
    const host::Mat34 g = Item(name)->EvalGlobalMatrix(frame);
    return {g.m[0][3], g.m[1][3], g.m[2][3]};
}

// A direction of the item's space in world space.
P3 Direction(const std::wstring& name, double frame, const P3& d) {
    const host::Mat34 g = Item(name)->EvalGlobalMatrix(frame);
    return ToP3(host::Apply(g, {d.x, d.y, d.z})) - Position(name, frame);
}

P3 RotX(const P3& p, double degrees) {
    const double c = std::cos(degrees * kPi / 180.0), s = std::sin(degrees * kPi / 180.0);
    return {p.x, c * p.y - s * p.z, s * p.y + c * p.z};
}
P3 RotY(const P3& p, double degrees) {
    const double c = std::cos(degrees * kPi / 180.0), s = std::sin(degrees * kPi / 180.0);
    return {c * p.x + s * p.z, p.y, -s * p.x + c * p.z};
}
P3 Mul(const P3& a, const P3& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

const std::vector<P3> kTri = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

std::vector<P3> Map(const std::function<P3(const P3&)>& f) {
    std::vector<P3> out;
    for (const P3& p : kTri) {
        out.push_back(f(p));
    }
    return out;
}

} // namespace

TEST(FbxScenes, PivotsAndOffsets) {
    // p goes through each step of T · Roff · Rp · R · Rp⁻¹ · Soff · Sp · S ·
    // Sp⁻¹ from the right: the rotation about Z runs linearly from 0 at
    // frame 0 to 90 degrees at frame 10, and holds.
    const P3 t{10, 0, 0}, roff{0, 1, 0}, rp{1, 0, 0}, soff{0, 0, 2}, sp{0, 1, 0}, s{2, 2, 2};
    for (const char* file : {"pivots.fbx", "pivots_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        for (double frame : {0.0, 5.0, 10.0, 14.0}) {
            const double angle = 9.0 * std::min(frame, 10.0);
            ExpectPoints(World(L"Pivoted", frame), Map([&](const P3& p) {
                             const P3 scaled = Mul(p - sp, s) + sp + soff - rp;
                             return RotZ(scaled, angle) + rp + roff + t;
                         }),
                         frame);
        }
        // By hand at frame 10: (1,0,0) - Sp = (1,-1,0), scaled (2,-2,0), + Sp +
        // Soff - Rp = (1,-1,2), turned (1,1,2), + Rp + Roff + T = (12,2,2).
        EXPECT_P3_NEAR(World(L"Pivoted", 10)[0], (P3{12, 2, 2}), "by hand");
    }
}

TEST(FbxScenes, InheritTypes) {
    // "Parent" turns 90 degrees about Z and scales X by 2; each child sits
    // at (1,0,0) turned 90 degrees about Z. The child's translation goes
    // through the parent's whole transform: (1,0,0) -> (2,0,0) -> (0,2,0).
    // RSrs (the plain product): Rz90 S(2,1,1) Rz90 p; (1,0,0) -> (0,1,0) ->
    //   (0,1,0) -> (-1,0,0); (0,1,0) -> (-1,0,0) -> (-2,0,0) -> (0,-2,0).
    // RrSs: Rz90 Rz90 S(2,1,1) p; (1,0,0) -> (2,0,0) -> (-2,0,0).
    // Rrs: the parent's scaling is not inherited: Rz180 p.
    for (const char* file : {"inherit.fbx", "inherit_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        ExpectPoints(World(L"RSrs", 0), {{-1, 2, 0}, {0, 0, 0}, {0, 2, 1}}, 0);
        ExpectPoints(World(L"RrSs", 0), {{-2, 2, 0}, {0, 1, 0}, {0, 2, 1}}, 0);
        ExpectPoints(World(L"Rrs", 0), {{-1, 2, 0}, {0, 1, 0}, {0, 2, 1}}, 0);
        // Rrs below a parent whose own scaling is not all its global
        // scaling: Grand S(1,2,1) > Middle Rz90 S(2,1,1) > Compensated at
        // (1,0,0). The point takes Middle's global without Middle's own
        // scaling: S(1,2,1) Rz90 p; its translation Middle's whole global:
        // (1,0,0) -> (2,0,0) -> (0,2,0) -> (0,4,0). So (1,0,0) -> (0,1,0) ->
        // (0,2,0) + (0,4,0); (0,1,0) -> (-1,0,0) + (0,4,0); (0,0,1) + (0,4,0).
        ExpectPoints(World(L"Compensated", 0), {{0, 6, 0}, {-1, 4, 0}, {0, 4, 1}}, 0);
    }
}

TEST(FbxScenes, PreAndPostRotationWithOrder) {
    // Active: Rpost⁻¹ (Z -30), then the rotation in ZYX order (Z 60 first,
    // then Y 45, then X 30), then Rpre (X 90). Inactive: the rotation in
    // XYZ order (X first), no pre or post rotation.
    for (const char* file : {"prepost.fbx", "prepost_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        ExpectPoints(World(L"Ordered", 0), Map([](const P3& p) {
                         return RotX(RotX(RotY(RotZ(RotZ(p, -30), 60), 45), 30), 90);
                     }),
                     0);
        ExpectPoints(World(L"Inactive", 0),
                     Map([](const P3& p) { return RotZ(RotY(RotX(p, 30), 45), 60); }), 0);
    }
}

TEST(FbxScenes, GeometricTransformMovesOnlyItsOwnMesh) {
    // Body's points: S(2,1,1), then Z 90, then + (1,0,0), then its node's
    // (0,5,0): (1,0,0) -> (2,0,0) -> (0,2,0) -> (1,2,0) -> (1,7,0).
    // Arm below it: its node's (3,0,0) and Body's (0,5,0), nothing else.
    for (const char* file : {"geometric.fbx", "geometric_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        ExpectPoints(World(L"Body", 0), {{1, 7, 0}, {0, 5, 0}, {1, 5, 1}}, 0);
        ExpectPoints(World(L"Arm", 0), {{4, 5, 0}, {3, 6, 0}, {3, 5, 1}}, 0);
        // The Body item stands where its node does: Arm is 3 along its X.
        EXPECT_P3_NEAR(Position(L"Body", 0), (P3{0, 5, 0}), "body");
        const host::Mat34 local = Item(L"Arm")->EvalLocalMatrix(0);
        EXPECT_P3_NEAR((P3{local.m[0][3], local.m[1][3], local.m[2][3]}), (P3{3, 0, 0}), "arm");
    }
}

TEST(FbxScenes, ExtrapolationModes) {
    // Keys (0, 0), (5, 2), (10, 10), linear: f(t) = 0.4 t up to frame 5,
    // then 2 + 1.6 (t - 5).
    Load("extrapolate.fbx");
    const struct {
        const wchar_t* item;
        double frame;
        double x;
    } cases[] = {
        {L"Constant", 13, 10},    {L"Constant", -3, 0},
        {L"Repetition", 13, 1.2}, {L"Repetition", 27, 5.2}, // f(3), f(7)
        {L"Mirror", 13, 5.2},     {L"Mirror", 23, 1.2},     // f(10 - 3), then f(3)
        {L"KeepSlope", 13, 14.8},                           // 10 + 1.6 * 3
        {L"Relative", 13, 11.2},  {L"Relative", 27, 25.2},  // f(3) + 10, f(7) + 20
        {L"Twice", 27, 5.2},      {L"Twice", 35, 10},       // two cycles, then their end
        {L"Before", -3, 5.2},     {L"Before", 4, 1.6},      // f(7); inside the keys
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(Position(c.item, c.frame).x, c.x, 1e-9)
            << std::string(c.item, c.item + std::wcslen(c.item)) << " frame " << c.frame;
    }
    // Relative repetition before the keys: f(7) - 10.
    EXPECT_NEAR(Position(L"Before", -3).y, -4.8, 1e-9);
    EXPECT_NEAR(Position(L"Before", 13).x, 10, 1e-9); // no post extrapolation: held
}

TEST(FbxScenes, CubicKeys) {
    // Hermite form of a segment of dt = 10 frames (10/24 s): v(u) = h00 v0 +
    // h10 dt s0 + h01 v1 + h11 dt s1. "User": s0 = 48/s, s1 = -24/s, so
    // dt s0 = 20 and dt s1 = -10.
    Load("cubic.fbx");
    const auto hermite = [](double u, double v0, double d0, double v1, double d1) {
        const double u2 = u * u, u3 = u2 * u;
        return (2 * u3 - 3 * u2 + 1) * v0 + (u3 - 2 * u2 + u) * d0 + (-2 * u3 + 3 * u2) * v1 +
               (u3 - u2) * d1;
    };
    for (double frame : {0.0, 2.0, 5.0, 8.0, 10.0}) {
        EXPECT_NEAR(Position(L"User", frame).x, hermite(frame / 10, 0, 20, 10, -10), 1e-9) << frame;
    }
    EXPECT_NEAR(Position(L"User", 5).x, 8.75, 1e-9); // 20/8 + 10/2 + 10/8
    // Weighted tangents (0.2 both, which the file holds in steps of 1/9999:
    // w = 2000/9999): the Bezier's control values are 0 + 48 w 10/24 = 20 w
    // and 10 + 24 w 10/24 = 10 + 10 w; with equal weights the middle of the
    // time is the middle of the curve: (0 + 3 * 20 w + 3 (10 + 10 w) + 10) / 8.
    const double w = 2000.0 / 9999.0;
    EXPECT_NEAR(Position(L"Weighted", 5).x, (40 + 90 * w) / 8, 1e-9);
    // Automatic, clamped: the middle key (10, at an extremum) and the ends
    // are flat.
    EXPECT_NEAR(Position(L"Auto", 2).x, hermite(0.2, 0, 0, 10, 0), 1e-9);
    EXPECT_NEAR(Position(L"Auto", 15).x, 5, 1e-9);
    // Automatic through (0,0), (10,10), (30,30): the middle slope is that
    // of the line through its neighbours, 1 per frame, so dt s = 10 on the
    // first segment and 20 on the second.
    EXPECT_NEAR(Position(L"Smooth", 5).x, hermite(0.5, 0, 0, 10, 10), 1e-9);
    EXPECT_NEAR(Position(L"Smooth", 20).x, hermite(0.5, 10, 20, 30, 0), 1e-9);
    // Constant keys; the middle one holds the next key's value after it.
    for (const auto& [frame, x] :
         {std::pair{5.0, 1.0}, {10.0, 5.0}, {15.0, 7.0}, {20.0, 7.0}, {25.0, 7.0}}) {
        EXPECT_NEAR(Position(L"Steps", frame).x, x, 1e-12) << frame;
    }
}

TEST(FbxScenes, LayersBlend) {
    // Translation X: base 1, + 4 at half weight = 3, then the override at a
    // quarter weight moves a quarter of the way to 11: 5. Rotation Z: 10 +
    // 20 at half weight = 20 degrees. Scaling X: 2 times 4 to the power
    // 1/2 = 4.
    Load("layers.fbx");
    EXPECT_P3_NEAR(Position(L"Layered", 5), (P3{5, 0, 0}), "translation");
    const double c = std::cos(20 * kPi / 180), s = std::sin(20 * kPi / 180);
    EXPECT_P3_NEAR(Direction(L"Layered", 5, {1, 0, 0}), (P3{4 * c, 4 * s, 0}), "X axis");
    EXPECT_P3_NEAR(Direction(L"Layered", 5, {0, 1, 0}), (P3{-s, c, 0}), "Y axis");
}

TEST(FbxScenes, AxisSystemsTurnYUp) {
    // Z-up, front -Y, right X (3ds Max, Blender): the scene's (x, y, z) is
    // the file's (x, z, -y).
    for (const char* file : {"zup.fbx", "zup_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        EXPECT_P3_NEAR(Position(L"Marker", 0), (P3{1, 3, -2}), "marker");
        // (1,0,0) + (1,2,3) = (2,2,3), and so on, each turned.
        ExpectPoints(World(L"Point", 0), {{2, 3, -2}, {1, 3, -3}, {1, 4, -2}}, 0);
    }
    // X up, front +Z, right -Y: the scene's (x, y, z) is (-y, x, z).
    for (const char* file : {"xup.fbx", "xup_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        EXPECT_P3_NEAR(Position(L"Marker", 0), (P3{-2, 1, 3}), "marker");
    }
}

TEST(FbxScenes, UnitsInMetresUnlessKept) {
    for (const char* file : {"inches.fbx", "inches_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        ExpectPoints(World(L"Inch", 0), {{0.2794, 0, 0}, {0.254, 0.0254, 0}, {0.254, 0, 0.0254}},
                     0);
        Load(file, true);
        ExpectPoints(World(L"Inch", 0), {{11, 0, 0}, {10, 1, 0}, {10, 0, 1}}, 0);
    }
}

TEST(FbxScenes, CameraAndLight) {
    for (const char* file : {"camlight.fbx", "camlight_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        // An FBX camera looks along its +X with +Y up; the host's along -Z.
        EXPECT_P3_NEAR(Direction(L"Cam", 0, {0, 0, -1}), (P3{1, 0, 0}), "view");
        EXPECT_P3_NEAR(Direction(L"Cam", 0, {0, 1, 0}), (P3{0, 1, 0}), "up");
        EXPECT_P3_NEAR(Position(L"Cam", 0), (P3{0, 0, 10}), "position");
        // The horizontal angle of a 36 mm film: 2 atan(18 / focal length),
        // the focal length 35 mm at frame 0, 50 at frame 10.
        const double film = 1.417323 * 25.4;
        for (const auto& [frame, focal] : {std::pair{0.0, 35.0}, {5.0, 42.5}, {10.0, 50.0}}) {
            EXPECT_NEAR(Param(L"Cam", L"fov", frame), 2 * std::atan(film / 2 / focal) * 180 / kPi,
                        1e-9)
                << frame;
        }
        EXPECT_EQ(Param(L"Cam", L"fovtype"), 1.0);
        EXPECT_NEAR(Param(L"Cam", L"aspect"), 1920.0 / 1080.0, 1e-12);
        // A spot light; FBX lights shine along their -Y.
        EXPECT_EQ(Param(L"Spot", L"Type"), 2.0);
        EXPECT_EQ(Param(L"Spot", L"LightCone"), 40.0);
        EXPECT_P3_NEAR(Direction(L"Spot", 0, {0, 0, -1}), (P3{0, -1, 0}), "light direction");
        for (const auto& [frame, intensity] : {std::pair{0.0, 1.0}, {5.0, 2.0}, {10.0, 3.0}}) {
            const auto [color, level] = LightValues(L"Spot", frame);
            EXPECT_P3_NEAR(color, (P3{1, 0.5, 0.25}), "colour");
            EXPECT_NEAR(level, intensity, 1e-6) << frame; // the file's percent / 100
        }
    }
}

TEST(FbxScenes, DeepChainsEvaluateAlikeInAnyOrderAndOnAnyThread) {
    // Node k of the chain (k = 0..39) turns by f degrees at frame f and
    // sits at (1,0,0) of its parent (but the first): its global rotation is
    // (k + 1) f and "Tip" (at (1,0,0) of the last) lies at the sum over
    // k = 1..40 of (cos k f, sin k f, 0). Tip turns with the last node
    // (40 f): its first point (1,0,0) adds (cos 40 f, sin 40 f, 0).
    for (const char* file : {"chain.fbx", "chain_6100.fbx"}) {
        SCOPED_TRACE(file);
        Load(file);
        const auto expected = [](double frame, int terms) {
            P3 p{0, 0, 0};
            for (int k = 1; k <= terms; ++k) {
                p = p + RotZ({1, 0, 0}, k * frame);
            }
            return p;
        };
        const std::wstring tip =
            L"J0.J1.J2.J3.J4.J5.J6.J7.J8.J9.J10.J11.J12.J13.J14.J15.J16.J17.J18."
            L"J19.J20.J21.J22.J23.J24.J25.J26.J27.J28.J29.J30.J31.J32.J33.J34."
            L"J35.J36.J37.J38.J39.Tip";
        // Frames in an order that leaves no earlier result to reuse, items
        // deep and shallow in turn.
        for (double frame : {7.0, 3.0, 7.0, 40.0, 0.5, 12.0}) {
            EXPECT_P3_NEAR(Position(tip, frame), expected(frame, 40), "tip at " << frame);
            EXPECT_P3_NEAR(Position(L"J0.J1", frame), expected(frame, 1), "J1 at " << frame);
            EXPECT_P3_NEAR(World(tip, frame)[0], expected(frame, 40) + RotZ({1, 0, 0}, 40 * frame),
                           "point at " << frame);
        }
        // Four threads at once, each its own frames.
        const host::Item* item = Item(tip);
        ASSERT_NE(item, nullptr);
        std::vector<std::thread> threads;
        std::vector<double> worst(4, 0.0);
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 50; ++round) {
                    const double frame = t * 10 + round % 10;
                    const host::Mat34 g = item->EvalGlobalMatrix(frame);
                    const P3 e = expected(frame, 40);
                    worst[t] = std::max({worst[t], std::fabs(g.m[0][3] - e.x),
                                         std::fabs(g.m[1][3] - e.y), std::fabs(g.m[2][3] - e.z)});
                }
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        for (int t = 0; t < 4; ++t) {
            EXPECT_LT(worst[t], 1e-9) << "thread " << t;
        }
    }
}
