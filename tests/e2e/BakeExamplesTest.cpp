// The example scenes baked by xsihost, their MDD caches checked point by
// point, frame by frame, against the closed-form motion each scene is built
// from (examples/make_scenes.py; the same formulas as the importer's tests),
// in world and in local space.
#include "E2eSupport.h"

using namespace e2e;

namespace {

struct P3 {
    double x, y, z;
};

P3 Add(const P3& a, const P3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
P3 Sub(const P3& a, const P3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
P3 Scale(const P3& a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}
P3 RotZ(const P3& p, double degrees) {
    const double a = degrees * 3.14159265358979323846 / 180.0;
    return {std::cos(a) * p.x - std::sin(a) * p.y, std::sin(a) * p.x + std::cos(a) * p.y, p.z};
}
double Clamp01(double v) {
    return std::min(std::max(v, 0.0), 1.0);
}
// Piecewise-linear value of keys at t, holding the ends.
double PiecewiseLinear(const std::vector<double>& times, const std::vector<double>& values,
                       double t) {
    if (t <= times.front()) {
        return values.front();
    }
    for (size_t i = 1; i < times.size(); ++i) {
        if (t <= times[i]) {
            const double u = (t - times[i - 1]) / (times[i] - times[i - 1]);
            return values[i - 1] + (values[i] - values[i - 1]) * u;
        }
    }
    return values.back();
}

// Bakes a scene file (world space, or local with --local) and returns the
// mesh's cache, checked for its frame range, rate and point count.
ZK_MddFile BakeMesh(const fs::path& dir, const std::string& scene, const std::string& mesh,
                    const std::vector<std::string>& options, int firstFrame, int lastFrame,
                    float rate, int points) {
    const fs::path out = dir / (options.empty() ? "world" : "local");
    std::vector<std::string> args = {"bake", "--scene", Example(scene), "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(out.string());
    const RunResult r = Xsihost(args, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const ZK_MddFile mdd = ReadMdd(out / "mdd" / (mesh + ".mdd"));
    const int frames = lastFrame - firstFrame + 1;
    EXPECT_EQ(mdd.frameCount, frames);
    EXPECT_EQ(mdd.pointCount, points);
    EXPECT_TRUE(mdd.complete);
    if (mdd.times.size() == static_cast<size_t>(frames)) {
        for (int i = 0; i < frames; ++i) {
            EXPECT_EQ(mdd.times[i], static_cast<float>(firstFrame + i) / rate) << "time " << i;
        }
    }
    return mdd;
}

// Every point of every block against the expected position (z stored
// negated); block 0 is the lead block, a copy of the first frame.
template <typename Expected>
void ExpectCache(const ZK_MddFile& mdd, int firstFrame, Expected expected) {
    ASSERT_TRUE(mdd.complete);
    for (int64_t block = 0; block < mdd.blockCount; ++block) {
        const int frame = firstFrame + static_cast<int>(block == 0 ? 0 : block - 1);
        for (int i = 0; i < mdd.pointCount; ++i) {
            const P3 e = expected(frame, i);
            const Stored p = MddPoint(mdd, block, i);
            EXPECT_NEAR(p.x, e.x, 1e-4) << "frame " << frame << " point " << i;
            EXPECT_NEAR(p.y, e.y, 1e-4) << "frame " << frame << " point " << i;
            EXPECT_NEAR(p.z, -e.z, 1e-4) << "frame " << frame << " point " << i;
        }
    }
}

} // namespace

// skinned.gltf at 24 fps: one second, frames 0 to 24. A strip of 10 points
// at x = +-0.5, y = 1 .. 3, bound to two bones; Bone1 turns about (0, 2, 0)
// from 0 to 90 degrees. The mesh node sits at (5, 0, 0).
TEST(BakeExamples, SkinnedStripFollowsTheBentJoint) {
    const fs::path dir = TestDir();
    auto world = [](int frame, int i) {
        const double angle = 90.0 * Clamp01(frame / 24.0);
        const P3 rest{i % 2 == 0 ? -0.5 : 0.5, 1.0 + 0.5 * (i / 2), 0.0};
        const double w1 = rest.y <= 1.5 ? 0.0 : rest.y == 2.0 ? 0.5 : 1.0;
        const P3 bent = Add(RotZ(Sub(rest, {0, 2, 0}), angle), {0, 2, 0});
        return Add(Scale(rest, 1 - w1), Scale(bent, w1));
    };
    const std::vector<std::string> fps = {"--fps", "24"};
    {
        SCOPED_TRACE("world");
        ExpectCache(BakeMesh(dir, "skinned.gltf", "SkinMesh", fps, 0, 24, 24.0f, 10), 0, world);
    }
    {
        SCOPED_TRACE("local");
        std::vector<std::string> options = fps;
        options.push_back("--local");
        ExpectCache(BakeMesh(dir, "skinned.gltf", "SkinMesh", options, 0, 24, 24.0f, 10), 0,
                    [&](int frame, int i) {
                        return Sub(world(frame, i), {5, 0, 0});
                    });
    }
}

// morph.gltf at the default 30 fps: two seconds, frames 0 to 60. A triangle
// at (0, 0, 1) with two morph targets whose weights run 0, 1, 0 and 0, 0.5, 1
// at 0, 1 and 2 s.
TEST(BakeExamples, MorphedTriangleFollowsItsWeights) {
    const fs::path dir = TestDir();
    const P3 rest[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const P3 delta0[3] = {{0, 0, 1}, {0, 0, 0}, {0, 0, 0}};
    const P3 delta1[3] = {{0, 0, 0}, {1, 1, 0}, {0, 0, -1}};
    auto local = [&](int frame, int i) {
        const double t = frame / 30.0;
        const double w0 = PiecewiseLinear({0, 1, 2}, {0, 1, 0}, t);
        const double w1 = PiecewiseLinear({0, 1, 2}, {0, 0.5, 1}, t);
        return Add(rest[i], Add(Scale(delta0[i], w0), Scale(delta1[i], w1)));
    };
    {
        SCOPED_TRACE("world");
        ExpectCache(BakeMesh(dir, "morph.gltf", "Blob", {}, 0, 60, 30.0f, 3), 0,
                    [&](int frame, int i) {
                        return Add(local(frame, i), {0, 0, 1});
                    });
    }
    {
        SCOPED_TRACE("local");
        ExpectCache(BakeMesh(dir, "morph.gltf", "Blob", {"--local"}, 0, 60, 30.0f, 3), 0, local);
    }
}
