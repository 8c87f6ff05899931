// The example scenes baked by xsihost, their MDD caches checked point by
// point, frame by frame, against the closed-form motion each scene is built
// from (examples/make_scenes.py), in world and in local space.
#include "E2eSupport.h"

#include <fstream>
#include <functional>
#include <utility>

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
namespace {

P3 SkinnedStripPoint(bool local, int frame, int i) {
    const double a = 90.0 * frame / 24.0 * 3.14159265358979323846 / 180.0;
    const double x = i % 2 == 0 ? -0.5 : 0.5, y = 1.0 + 0.5 * (i / 2);
    const double w = y <= 1.5 ? 0.0 : y == 2.0 ? 0.5 : 1.0;
    const double bx = std::cos(a) * x - std::sin(a) * (y - 2);
    const double by = std::sin(a) * x + std::cos(a) * (y - 2) + 2;
    return {(1 - w) * x + w * bx - (local ? 5 : 0), (1 - w) * y + w * by, 0};
}

} // namespace

TEST(BakeExamples, SkinnedStripFollowsTheBentJoint) {
    ExpectBakes("skinned.gltf", "SkinMesh", {"--fps", "24"}, 24, 24.0f, 10, SkinnedStripPoint);
}

// The same rig with names so long that Bone1's full name (Armature.Bone0.Bone1)
// no longer fits the baker's records: the bake leaves Bone1 out with one
// warning naming it, writes every other output, and the strip still bends
// with Bone1; --items naming Bone1 is refused before anything is written.
TEST(BakeExamples, ItemsPastTheNameLimitAreLeftOutButStillDeform) {
    const fs::path dir = TestDir();
    std::string text = ReadFile(std::string(ZK_EXAMPLES_DIR) + "/skinned.gltf");
    const std::string armature(100, 'A'), bone0(100, 'B'), bone1(53, 'C');
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"Armature", armature},
                                   {"Bone0", bone0},
                                   {"Bone1", bone1}}) {
        const std::string quoted = "\"" + from + "\"";
        ASSERT_NE(text.find(quoted), std::string::npos) << from;
        text.replace(text.find(quoted), quoted.size(), "\"" + to + "\"");
    }
    const fs::path scene = dir / "deep.gltf";
    std::ofstream(scene, std::ios::binary) << text;
    const std::string deep = armature + "." + bone0 + "." + bone1; // 254 + 1 characters
    ASSERT_EQ(deep.size(), 255u);

    const RunResult r = Bake({"--scene", scene.string(), "--fps", "24"}, dir / "out", dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Strings warnings = Lines(r.err);
    ASSERT_EQ(warnings.size(), 1u) << r.err;
    EXPECT_TRUE(Contains(warnings[0], "WARNING: left out of the bake: \"" + deep + "\"")) << r.err;
    EXPECT_TRUE(Contains(warnings[0], "255 characters")) << r.err;
    EXPECT_EQ(EntriesBelow(dir / "out", true),
              (Strings{"emdl/SkinMesh.emdl", "lwo/SkinMesh.lwo", "mdd/SkinMesh.mdd", "scene.fxs",
                       "scene.lws", "scene.mel", "scene.zsc"}));
    EXPECT_FALSE(Contains(ReadFile(dir / "out" / "scene.lws"), bone1));
    EXPECT_TRUE(Contains(ReadFile(dir / "out" / "scene.lws"), armature + "." + bone0));
    const ZK_MddFile mdd = ReadMdd(dir / "out" / "mdd" / "SkinMesh.mdd");
    ASSERT_TRUE(mdd.complete);
    ASSERT_EQ(mdd.pointCount, 10);
    for (int64_t block = 1; block < mdd.blockCount; ++block) {
        const int frame = int(block) - 1;
        for (int i = 0; i < 10; ++i) {
            const P3 e = SkinnedStripPoint(false, frame, i), p = MddPoint(mdd, block, i);
            EXPECT_NEAR(p[0], e[0], 1e-4) << "frame " << frame << " point " << i;
            EXPECT_NEAR(p[1], e[1], 1e-4) << "frame " << frame << " point " << i;
        }
    }

    const RunResult named =
        Bake({"--scene", scene.string(), "--items", "SkinMesh," + bone1}, dir / "named", dir);
    EXPECT_EQ(named.exitCode, 2) << named.err;
    EXPECT_TRUE(Contains(named.err, "255 characters")) << named.err;
    EXPECT_FALSE(fs::exists(dir / "named"));
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
