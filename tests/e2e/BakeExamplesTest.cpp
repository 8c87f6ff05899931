// The example scenes baked by xsihost, their MDD caches checked point by
// point, frame by frame, against the closed-form motion each scene is built
// from (examples/make_scenes.py), in world and in local space.
#include "E2eSupport.h"

#include <functional>

using namespace e2e;

namespace {

// Bakes examples/<scene> (world space, then local space) and checks the
// mesh's cache: frames 0 to last at the rate, and every point of every block
// within 1e-4 of expected(local, frame, point), z stored negated; block 0,
// the lead block, holds frame 0.
void ExpectBakes(const std::string& scene, const std::string& mesh, const Strings& options,
                 int last, float rate, int points,
                 const std::function<P3(bool, int, int)>& expected) {
    const fs::path dir = TestDir();
    for (const bool local : {false, true}) {
        SCOPED_TRACE(local ? "local" : "world");
        const fs::path out = dir / (local ? "local" : "world");
        Strings args = {"--scene", std::string(ZK_EXAMPLES_DIR) + "/" + scene};
        args.insert(args.end(), options.begin(), options.end());
        if (local)
            args.push_back("--local");
        const RunResult r = Bake(args, out, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const ZK_MddFile mdd = ReadMdd(out / "mdd" / (mesh + ".mdd"));
        ASSERT_TRUE(mdd.complete);
        ASSERT_EQ(mdd.frameCount, last + 1);
        ASSERT_EQ(mdd.pointCount, points);
        for (int i = 0; i <= last; ++i)
            EXPECT_EQ(mdd.times[i], float(i) / rate) << "time " << i;
        for (int64_t block = 0; block < mdd.blockCount; ++block) {
            const int frame = block == 0 ? 0 : int(block) - 1;
            for (int i = 0; i < points; ++i) {
                const P3 e = expected(local, frame, i), p = MddPoint(mdd, block, i);
                EXPECT_NEAR(p[0], e[0], 1e-4) << "frame " << frame << " point " << i;
                EXPECT_NEAR(p[1], e[1], 1e-4) << "frame " << frame << " point " << i;
                EXPECT_NEAR(p[2], -e[2], 1e-4) << "frame " << frame << " point " << i;
            }
        }
    }
}

} // namespace

// skinned.gltf at 24 fps: one second, frames 0 to 24. A strip of 10 points
// at x = +-0.5, y = 1 .. 3 (step 0.5), bound to two bones: weight 0 on Bone1
// up to y = 1.5, 0.5 at y = 2, 1 above. Bone1 turns about z through (0, 2, 0)
// from 0 to 90 degrees. The mesh node sits at (5, 0, 0): local points are the
// world points less (5, 0, 0).
TEST(BakeExamples, SkinnedStripFollowsTheBentJoint) {
    ExpectBakes("skinned.gltf", "SkinMesh", {"--fps", "24"}, 24, 24.0f, 10,
                [](bool local, int frame, int i) -> P3 {
                    const double a = 90.0 * frame / 24.0 * 3.14159265358979323846 / 180.0;
                    const double x = i % 2 == 0 ? -0.5 : 0.5, y = 1.0 + 0.5 * (i / 2);
                    const double w = y <= 1.5 ? 0.0 : y == 2.0 ? 0.5 : 1.0;
                    const double bx = std::cos(a) * x - std::sin(a) * (y - 2);
                    const double by = std::sin(a) * x + std::cos(a) * (y - 2) + 2;
                    return {(1 - w) * x + w * bx - (local ? 5 : 0), (1 - w) * y + w * by, 0};
                });
}

// morph.gltf at the default 30 fps: two seconds, frames 0 to 60. A triangle
// at (0, 0, 1) with two morph targets whose weights run 0, 1, 0 and 0, 0.5, 1
// at 0, 1 and 2 s.
TEST(BakeExamples, MorphedTriangleFollowsItsWeights) {
    ExpectBakes("morph.gltf", "Blob", {}, 60, 30.0f, 3, [](bool local, int frame, int i) -> P3 {
        const double t = frame / 30.0, w0 = t <= 1 ? t : 2 - t, w1 = t / 2;
        const P3 rest[3] = {P3{0, 0, 0}, P3{1, 0, 0}, P3{0, 1, 0}};
        const P3 delta0[3] = {P3{0, 0, 1}, P3{0, 0, 0}, P3{0, 0, 0}};
        const P3 delta1[3] = {P3{0, 0, 0}, P3{1, 1, 0}, P3{0, 0, -1}};
        P3 p;
        for (int k = 0; k < 3; ++k)
            p[k] = rest[i][k] + w0 * delta0[i][k] + w1 * delta1[i][k];
        p[2] += local ? 0 : 1;
        return p;
    });
}
