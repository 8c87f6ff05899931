// Mesh points a point cache's floats cannot hold: the magnitude measured as
// points are made (every lane and the tail of the measuring loop, ranges of
// a threaded evaluation), and the first fault noted in the mesh's own space
// and in world space, at the limits of x, y and z.
#include "host/app/PointFaults.h"
#include "host/scene/Mesh.h"
#include "host/scene/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using host::Vec3;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<float>::max(); // 2^128 - 2^104
constexpr double kMaxZ = 0x1.fffffep+126;                  // the largest float below 2^127

TEST(PointFaults, MeasuresEveryCoordinate) {
    // One special value at each coordinate of 1 to 5 points (12 lanes of 4
    // and a tail of 3): the largest magnitude, and an infinity or NaN found
    // wherever it is.
    for (size_t count = 1; count <= 5; ++count) {
        for (size_t at = 0; at < 3 * count; ++at) {
            SCOPED_TRACE(std::to_string(count) + " points, coordinate " + std::to_string(at));
            for (const double special : {-7.0, kInf, -kInf, kNaN}) {
                std::vector<Vec3> points(count, Vec3{1.0, -2.0, 0.5});
                (&points[0].x)[at] = special;
                const host::PointMagnitude m = host::MeasurePoints(points.data(), count);
                EXPECT_EQ(m.finite, std::isfinite(special)) << special;
                if (m.finite) {
                    EXPECT_EQ(m.largest, 7.0);
                }
            }
        }
    }
    const host::PointMagnitude none = host::MeasurePoints(nullptr, 0);
    EXPECT_TRUE(none.finite);
    EXPECT_EQ(none.largest, 0.0);
}

// A deformed mesh evaluated in ranges on the scene's workers (more points
// than one range): every range counts.
TEST(PointFaults, AThreadedEvaluationMeasuresEveryRange) {
    host::Scene scene;
    host::Item* item = scene.AddMesh(L"Big");
    host::Mesh& mesh = *item->GetMesh();
    constexpr size_t kCount = 3 * 8192 + 5;
    mesh.SetPoints(std::vector<Vec3>(kCount, Vec3{1.0, 1.0, 1.0}));
    std::vector<Vec3> deltas(kCount);
    deltas[kCount - 1].z = -1e300; // in the last, short range
    deltas[8192 + 3].y = 1e308;    // with its weight of 2, past the doubles
    mesh.AddMorphTarget(L"m", deltas);
    mesh.MorphWeight(0).Set(1.0);
    mesh.EvaluateArray(*item, 1.0);
    EXPECT_TRUE(mesh.LastMagnitude().finite);
    EXPECT_EQ(mesh.LastMagnitude().largest, 1e308 + 1.0);
    mesh.MorphWeight(0).Set(2.0);
    mesh.EvaluateArray(*item, 1.0);
    EXPECT_FALSE(mesh.LastMagnitude().finite);
    // The rest points, measured once they change.
    host::Item* still = scene.AddMesh(L"Still");
    still->GetMesh()->SetPoints({{0, 0, kMaxZ}});
    still->GetMesh()->EvaluateArray(*still, 0.0);
    EXPECT_EQ(still->GetMesh()->LastMagnitude().largest, kMaxZ);
    still->GetMesh()->SetPoints({{0, -3, 0}});
    still->GetMesh()->EvaluateArray(*still, 0.0);
    EXPECT_EQ(still->GetMesh()->LastMagnitude().largest, 3.0);
}

TEST(PointFaults, NotesTheFirstPointACacheCannotHold) {
    host::Scene scene;
    const host::Item* item = scene.AddMesh(L"Tri");
    using Matrix = double[3][4];
    const Matrix identity = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    const Matrix scaled = {{1e30, 0, 0, 0}, {0, 1e30, 0, 0}, {0, 0, 1e30, 0}};
    const Matrix huge = {{1e300, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    const Matrix moved = {{1, 0, 0, kMax}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    const Matrix swapped = {{0, 0, 1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}}; // x and z
    enum Expect { None, TooLarge, NotFinite };
    const struct {
        const char* what;
        std::vector<Vec3> points;
        const Matrix& global;
        Expect own, world;
    } cases[] = {
        {"the largest float on x and y", {{kMax, 0, 0}, {0, -kMax, 0}}, identity, None, None},
        {"the largest below 2^127 on z", {{0, 0, -kMaxZ}}, identity, None, None},
        {"2^127 on z", {{0, 0, 0x1p127}}, identity, TooLarge, TooLarge},
        {"2^127 on x, moved to z", {{0x1p127, 0, 0}}, swapped, None, TooLarge},
        {"2^128 on x", {{0x1p128, 0, 0}}, identity, TooLarge, TooLarge},
        {"between the largest float and 2^128, rounding down",
         {{kMax + 0x1p103 - 0x1p75, 0, 0}},
         identity,
         None,
         None},
        {"the midpoint, rounding up", {{kMax + 0x1p103, 0, 0}}, identity, TooLarge, TooLarge},
        {"1e10 scaled by 1e30", {{0, 0, 0}, {1e10, 0, 0}}, scaled, None, TooLarge},
        {"1e10 scaled by 1e300", {{1e10, 0, 0}}, huge, None, NotFinite},
        {"1 moved by the largest float", {{1, 0, 0}}, moved, None, None},
        {"the largest float moved by itself", {{kMax, 0, 0}}, moved, None, TooLarge},
        {"not finite", {{0, kInf, 0}}, identity, NotFinite, NotFinite},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host::PointFaults faults;
        const host::PointMagnitude m = host::MeasurePoints(c.points.data(), c.points.size());
        faults.Note(*item, 7.0, m, c.points.data(), c.points.size(), c.global);
        for (const auto& [fault, expected] :
             {std::pair{&faults.InOwnSpace(), c.own}, std::pair{&faults.InWorldSpace(), c.world}}) {
            EXPECT_EQ(fault->found, expected != None);
            if (expected == None)
                continue;
            EXPECT_EQ(fault->item, L"Tri");
            EXPECT_EQ(fault->frame, 7.0);
            EXPECT_EQ(fault->notFinite, expected == NotFinite);
        }
    }

    // The first fault stays; a later one of another item or frame is not
    // noted over it.
    host::PointFaults faults;
    const host::Item* other = scene.AddMesh(L"Other");
    const std::vector<Vec3> big = {{0, 0, 0x1p127}}, fine = {{1, 2, 3}};
    faults.Note(*item, 1.0, host::MeasurePoints(fine.data(), 1), fine.data(), 1, identity);
    EXPECT_FALSE(faults.InOwnSpace().found);
    faults.Note(*item, 2.0, host::MeasurePoints(big.data(), 1), big.data(), 1, identity);
    faults.Note(*other, 3.0, host::MeasurePoints(big.data(), 1), big.data(), 1, identity);
    ASSERT_TRUE(faults.InOwnSpace().found);
    EXPECT_EQ(faults.InOwnSpace().item, L"Tri");
    EXPECT_EQ(faults.InOwnSpace().frame, 2.0);
    EXPECT_EQ(faults.InWorldSpace().frame, 2.0);
}

} // namespace
