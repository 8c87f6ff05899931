// Key interpolation (linear, step, hold outside the keys, functions of the
// frame, rotations on the short arc) and mesh evaluation (rest points, morph
// targets, linear-blend skinning, procedural deformers) against values worked
// out by hand.
#include "host/scene/Animated.h"
#include "host/scene/Scene.h"
#include "host/scene/Workers.h"

#include <xsi_vector3array.h>

#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <set>
#include <vector>

using host::Animated;
using host::Item;
using host::Quat;
using host::Vec3;

namespace {
// Signed angle in degrees of a rotation about an axis.
double AngleAbout(const Quat& q, const Vec3& a) {
    return 2.0 * std::atan2(q.x * a.x + q.y * a.y + q.z * a.z, q.w) * 180.0 / host::kPi;
}
using Pts = std::vector<Vec3>;

void ExpectPoints(const Item& item, double frame, const Pts& want) {
    std::vector<Vec3> out(static_cast<size_t>(item.GetPointCount()));
    item.EvalPoints(frame, out.data());
    ASSERT_EQ(out.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(out[i].x, want[i].x, 1e-12) << "frame " << frame << " point " << i;
        EXPECT_NEAR(out[i].y, want[i].y, 1e-12) << "frame " << frame << " point " << i;
        EXPECT_NEAR(out[i].z, want[i].z, 1e-12) << "frame " << frame << " point " << i;
    }
}
} // namespace

TEST(Animated, LinearAndStepKeysHoldOutsideTheRange) {
    Animated<double> a(4.0);
    EXPECT_EQ(a.Eval(-100.0), 4.0);
    EXPECT_FALSE(a.IsAnimated());
    a.SetKey(20.0, 3.0); // out of order: sorted
    a.SetKey(10.0, 1.0);
    a.SetKey(30.0, 9.0, host::Interp::Step);
    a.SetKey(40.0, 5.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double table[][2] = {{12.5, 1.5}, {15, 2},   {10, 1}, {20, 3}, {5, 1},
                               {30, 9},     {39.9, 9}, {40, 5}, {99, 5}, {nan, 1}};
    for (const auto& t : table)
        EXPECT_DOUBLE_EQ(a.Eval(t[0]), t[1]) << t[0];
    EXPECT_THROW(a.SetKey(nan, 0.0), std::invalid_argument);
    a.SetKey(20.0, 5.0); // replaces the key at 20
    EXPECT_EQ(a.GetKeys().size(), 4u);
    EXPECT_DOUBLE_EQ(a.Eval(15.0), 3.0);
}

TEST(Animated, FunctionOfTheFrameThenKeysThenConstant) {
    Animated<Vec3> a(Vec3{1, 1, 1});
    a.SetFunction([](double f) { return Vec3{f, 2 * f, -f}; });
    EXPECT_EQ(a.Eval(3.5).y, 7.0);
    a.SetKey(0.0, Vec3{0, 0, 0}); // keys replace the function
    a.SetKey(2.0, Vec3{2, 4, 6});
    EXPECT_DOUBLE_EQ(a.Eval(1.0).z, 3.0);
    a.Set(Vec3{9, 9, 9});
    EXPECT_FALSE(a.IsAnimated());
    EXPECT_EQ(a.Eval(1.0).x, 9.0);
}

TEST(Animated, RotationsSlerpOnTheShortArc) {
    Animated<Quat> r;
    r.SetKey(0.0, host::QuatFromAxisAngle({0, 0, 1}, 0.0));
    r.SetKey(10.0, host::QuatFromAxisAngle({0, 0, 1}, host::DegToRad(120.0)));
    // A normalised linear blend would give about 27.8 degrees at a quarter.
    EXPECT_NEAR(AngleAbout(r.Eval(2.5), {0, 0, 1}), 30.0, 1e-9);
    const Quat q = r.Eval(7.5);
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-12);

    Animated<Quat> back; // 0 to 350 degrees is a turn of -10
    back.SetKey(0.0, Quat{});
    back.SetKey(10.0, host::QuatFromAxisAngle({0, 1, 0}, host::DegToRad(350.0)));
    EXPECT_NEAR(AngleAbout(back.Eval(5.0), {0, 1, 0}), -5.0, 1e-9);
    Animated<Quat> same; // -q is q: no spin in between
    same.SetKey(0.0, Quat{0, 0, 0, 1});
    same.SetKey(10.0, Quat{0, 0, 0, -1});
    EXPECT_NEAR(std::fabs(same.Eval(5.0).w), 1.0, 1e-12);
}

TEST(Deform, RestPointsThenWeightedMorphDeltas) {
    host::Scene scene;
    Item* m = scene.AddMesh(L"M");
    host::Mesh* mesh = m->GetMesh();
    mesh->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    m->Translation().SetKey(0, {0, 0, 0});
    m->Translation().SetKey(10, {9, 9, 9}); // does not move local points
    ExpectPoints(*m, 5, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});

    const int smile = mesh->AddMorphTarget(L"smile", {{0, 0, 1}, {0, 0, 0}, {2, 0, 0}});
    const int blink = mesh->AddMorphTarget(L"blink", {{1, 0, 0}, {0, 4, 0}, {0, 0, 0}});
    mesh->MorphWeight(smile).SetKey(0, 0.0);
    mesh->MorphWeight(smile).SetKey(10, 1.0);
    mesh->MorphWeight(blink).Set(0.25);
    ExpectPoints(*m, 0, {{0.25, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    ExpectPoints(*m, 5, {{0.25, 0, 0.5}, {1, 1, 0}, {1, 1, 0}}); // smile 0.5

    // Each frame's points stay as they were while a caller holds them; the
    // next evaluation takes the storage again only once they are let go.
    const host::PointArray frame0 = mesh->EvaluateArray(*m, 0);
    host::PointArray frame10 = mesh->EvaluateArray(*m, 10);
    EXPECT_NE(frame0.data(), frame10.data());
    EXPECT_EQ(frame0[0].z, 0.0);
    EXPECT_EQ(frame10[0].z, 1.0);
    const Vec3* reused = frame10.data();
    frame10 = host::PointArray();
    EXPECT_EQ(mesh->EvaluateArray(*m, 5).data(), reused);
    EXPECT_EQ(frame0[0].z, 0.0);
}

// A caller that holds each frame's array until it has asked for the next
// one (a cache writer still reading the last frame) gets two storages in
// turn, with the held frame's points intact; no new memory per frame.
TEST(Deform, TwoStoragesTakeTurnsWhileTheLastFrameIsHeld) {
    host::Scene scene;
    Item* m = scene.AddMesh(L"M");
    host::Mesh* mesh = m->GetMesh();
    mesh->SetPoints({{0, 0, 0}, {1, 0, 0}});
    const int lift = mesh->AddMorphTarget(L"lift", {{0, 0, 1}, {0, 0, 1}});
    mesh->MorphWeight(lift).SetKey(0, 0.0);
    mesh->MorphWeight(lift).SetKey(10, 10.0);
    host::PointArray last;
    std::set<const Vec3*> storages;
    for (int frame = 0; frame <= 10; ++frame) {
        host::PointArray next = mesh->EvaluateArray(*m, frame);
        EXPECT_EQ(next[1].z, frame);
        if (frame > 0) {
            EXPECT_NE(next.data(), last.data());
            EXPECT_EQ(last[1].z, frame - 1) << "the held frame is unchanged";
        }
        storages.insert(next.data());
        last = next;
    }
    EXPECT_EQ(storages.size(), 2u);
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
        j1->Rotation().SetKey(0, host::QuatFromAxisAngle({0, 0, 1}, 0));
        j1->Rotation().SetKey(10, host::QuatFromAxisAngle({0, 0, 1}, host::DegToRad(90)));
        mesh = scene.AddMesh(L"Body");
        mesh->Translation().Set({0, 0, 1});
        mesh->GetMesh()->SetPoints({{1, 0, 0}, {1, 1, 0}, {5, 5, 5}});
        const host::Mat34 bind = mesh->EvalGlobalMatrix(0);
        offsets = {host::Mul(host::Inverse(j0->EvalGlobalMatrix(0)), bind),
                   host::Mul(host::Inverse(j1->EvalGlobalMatrix(0)), bind)};
    }

    host::Scene scene;
    Item *j0 = nullptr, *j1 = nullptr, *mesh = nullptr;
    std::vector<host::Mat34> offsets;
};

TEST_F(SkinTest, LinearBlendFollowsTheJointsInMeshSpace) {
    // Point 0: J0 only. Point 1: J0 and J1 equally (3 and 3 are normalised).
    // Point 2: no influence.
    mesh->GetMesh()->SetSkin({j0, j1}, offsets, {{{0, 1.0}}, {{0, 3.0}, {1, 3.0}}, {}});
    ExpectPoints(*mesh, 0, {{1, 0, 0}, {1, 1, 0}, {5, 5, 5}}); // bind time: rest points
    // Frame 10. Point 0, world (1,0,1), moves with J0 by (2,0,0): local
    // (3,0,0). Point 1, world (1,1,1): by J0 (3,1,1); by J1, in its bind
    // space (1,0,1), turned (0,1,1), placed at J1 (2,1,0): (2,2,1). Blend
    // (2.5,1.5,1), local (2.5,1.5,0).
    ExpectPoints(*mesh, 10, {{3, 0, 0}, {2.5, 1.5, 0}, {5, 5, 5}});
}

// The same skin given as one list: zero weights dropped, the rest
// normalised per point.
TEST_F(SkinTest, OneListOfInfluencesBlendsAlike) {
    mesh->GetMesh()->SetSkinWeights({j0, j1}, offsets,
                                    {{0, 1, 4, 4}, {0, 1, 0, 1}, {1.0, 0.0, 3.0, 3.0}});
    ExpectPoints(*mesh, 10, {{3, 0, 0}, {2.5, 1.5, 0}, {5, 5, 5}});
}

TEST_F(SkinTest, MorphsApplyBeforeSkinningAndDeformersAfter) {
    host::Mesh* m = mesh->GetMesh();
    m->MorphWeight(m->AddMorphTarget(L"push", {{1, 0, 0}, {0, 0, 0}, {0, 0, 0}})).Set(1.0);
    m->SetSkin({j0, j1}, offsets, {{{1, 1.0}}, {}, {}});
    std::vector<int> seen;
    m->AddDeformer([&seen](double frame, const Vec3& p, int index) {
        seen.push_back(index);
        return Vec3{p.x, p.y, p.z + frame};
    });
    // Point 0: morphed (2,0,0), world (2,0,1); J1 bind space (2,-1,1),
    // turned (1,2,1), placed (3,3,1), local (3,3,0); then z + 10.
    ExpectPoints(*mesh, 10, {{3, 3, 10}, {1, 1, 10}, {5, 5, 15}});
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST_F(SkinTest, BuilderRefusesInconsistentData) {
    host::Mesh* m = mesh->GetMesh();
    EXPECT_THROW(m->SetSkin({j0}, offsets, {{}, {}, {}}), std::invalid_argument);
    EXPECT_THROW(m->SetSkin({j0, j1}, offsets, {{}, {}}), std::invalid_argument);
    EXPECT_THROW(m->SetSkin({j0, j1}, offsets, {{{2, 1.0}}, {}, {}}), std::invalid_argument);
    EXPECT_THROW(m->SetSkin({j0, j1}, offsets, {{{0, -1.0}}, {}, {}}), std::invalid_argument);
    // The influences in one list: start must run from 0 to the list's end,
    // never backwards, one entry per point and one more.
    const std::vector<std::vector<int>> badStarts = {
        {0, 1, 1}, {1, 1, 1, 1}, {0, 1, 0, 1}, {0, 0, 0, 2}, {0, 0, 0, 0}};
    for (const std::vector<int>& start : badStarts) {
        EXPECT_THROW(m->SetSkinWeights({j0, j1}, offsets, {start, {0}, {1.0}}),
                     std::invalid_argument);
    }
    EXPECT_THROW(m->SetSkinWeights({j0, j1}, offsets, {{0, 1, 1, 1}, {0}, {}}),
                 std::invalid_argument);
    EXPECT_THROW(m->SetPolygons({3, 0}, {0, 1, 2}), std::invalid_argument);
    EXPECT_THROW(m->SetPolygons({3}, {0, 1, 2, 0}), std::invalid_argument);
    EXPECT_THROW(m->SetPolygons({2}, {0, 3}), std::invalid_argument);
    EXPECT_FALSE(m->HasSkin());
    EXPECT_THROW(m->AddMorphTarget(L"short", {{0, 0, 0}}), std::invalid_argument);
    EXPECT_THROW(m->AddPolygon({0, 3}), std::invalid_argument);
    m->AddPolygon({0, 1, 2});
    EXPECT_THROW(m->SetPoints({{0, 0, 0}}), std::invalid_argument); // polygon uses point 2
    m->AddMorphTarget(L"t", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    EXPECT_THROW(m->AddPoint({0, 0, 0}), std::logic_error);
    m->SetPoints({{0, 0, 0}, {0, 0, 0}, {1, 1, 1}}); // same count: fine
    EXPECT_EQ(m->GetPointCount(), 3);
}

// A mesh of many points is evaluated in fixed ranges on the scene's worker
// threads: 1, 2 and 3 threads give the same bits, and the blend matches the
// joints' mappings weighted and summed one influence at a time (the order
// of the sums may differ, the values by rounding only). Both with a morph
// target and a deformer around the skinning and with skinning alone, which
// takes a loop of its own.
TEST_F(SkinTest, ManyPointsGiveTheSameBitsOnAnyNumberOfThreads) {
    const int count = 3 * 8192 + 1001; // several ranges, a short last one
    std::vector<Vec3> points;
    std::vector<std::vector<host::Influence>> influences(count);
    for (int i = 0; i < count; ++i) {
        points.push_back({std::sin(i * 0.01), i * 1e-4, std::cos(i * 0.02)});
        if (i % 5 == 0 || i == count - 1) // these follow only the mesh
            continue;
        influences[i] = {{0, 1.0 + i % 3}, {1, 0.5 + i % 4}};
        if (i % 7 == 0) // three influences, the same joint twice
            influences[i].push_back({0, 0.25});
    }
    for (bool alone : {false, true}) {
        SCOPED_TRACE(alone ? "skinning alone" : "morph, skinning, deformer");
        Item* item = scene.AddMesh(alone ? L"Alone" : L"Layered");
        item->Translation().Set({0, 0, 1});
        host::Mesh* m = item->GetMesh();
        m->SetPoints(points);
        m->SetSkin({j0, j1}, offsets, influences);
        const Vec3 lift = alone ? Vec3{0, 0, 0} : Vec3{0, 0.125, 0};
        if (!alone) {
            m->MorphWeight(m->AddMorphTarget(L"lift", Pts(count, Vec3{0, 0.5, 0}))).Set(0.25);
            m->AddDeformer([](double f, const Vec3& p, int i) {
                return Vec3{p.x, p.y, p.z + f * (i % 2)};
            });
        }

        const double frame = 7.5;
        std::vector<std::vector<Vec3>> results;
        for (int threads : {1, 2, 3}) {
            scene.SetWorkerCount(threads);
            EXPECT_EQ(scene.GetWorkers().GetThreadCount(), threads);
            std::vector<Vec3> out(static_cast<size_t>(count));
            item->EvalPoints(frame, out.data());
            results.push_back(out);
        }
        const host::Mat34 toMesh = host::Inverse(item->EvalGlobalMatrix(frame));
        const host::Mat34 joint[2] = {
            host::Mul(toMesh, host::Mul(j0->EvalGlobalMatrix(frame), offsets[0])),
            host::Mul(toMesh, host::Mul(j1->EvalGlobalMatrix(frame), offsets[1]))};
        for (int i = 0; i < count; ++i) {
            for (size_t r = 1; r < results.size(); ++r) {
                ASSERT_EQ(std::memcmp(&results[0][i], &results[r][i], sizeof(Vec3)), 0)
                    << "point " << i << ", " << r + 1 << " threads";
            }
            Vec3 p = points[i] + lift;
            if (!influences[i].empty()) {
                double sum = 0.0;
                for (const host::Influence& inf : influences[i])
                    sum += inf.weight;
                Vec3 blend{0, 0, 0};
                for (const host::Influence& inf : influences[i])
                    blend = blend + host::Apply(joint[inf.joint], p) * (inf.weight / sum);
                p = blend;
            }
            if (!alone)
                p.z += frame * (i % 2);
            ASSERT_NEAR(results[0][i].x, p.x, 1e-12) << i;
            ASSERT_NEAR(results[0][i].y, p.y, 1e-12) << i;
            ASSERT_NEAR(results[0][i].z, p.z, 1e-12) << i;
        }
    }
}

TEST(WorkerPool, EveryIndexOnceAndTheFirstErrorThrownToTheCaller) {
    for (int threads : {1, 2, 4}) {
        host::WorkerPool pool(threads);
        for (size_t count : {0u, 1u, 99u, 100u, 101u, 1000u}) {
            std::vector<std::atomic<int>> hits(count);
            pool.ForRanges(count, 100, [&](size_t begin, size_t end) {
                EXPECT_EQ(begin % 100, 0u);
                EXPECT_EQ(end, std::min(count, begin + 100));
                for (size_t i = begin; i < end; ++i)
                    hits[i]++;
            });
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(hits[i].load(), 1) << threads << " " << i;
        }
        EXPECT_THROW(pool.ForRanges(1000, 10,
                                    [](size_t begin, size_t) {
                                        if (begin == 500)
                                            throw std::runtime_error("range 50");
                                    }),
                     std::runtime_error);
        // Still usable after an error.
        std::atomic<size_t> sum{0};
        pool.ForRanges(1000, 10, [&sum](size_t begin, size_t end) { sum += end - begin; });
        EXPECT_EQ(sum.load(), 1000u);
    }
}

// A job that a batch system gives fewer CPUs than the machine has sizes its
// pool from those: the count follows the process's affinity mask.
TEST(WorkerPool, DefaultCountFollowsTheCpusTheProcessMayRunOn) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    const int allowed = CPU_COUNT(&all);
    EXPECT_EQ(host::AllowedCpuCount(), static_cast<unsigned>(allowed));

    int first = 0;
    while (!CPU_ISSET(first, &all))
        ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned narrowed = host::AllowedCpuCount();
    const char* given = std::getenv("ZK_HOST_THREADS");
    const int workers = host::DefaultWorkerCount();
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(narrowed, 1u);
    if (!given || !*given) {
        EXPECT_EQ(workers, 1);
    }
}

// A Slurm job's --cpus-per-task caps the count where the cluster leaves the
// mask whole; a share as large as the mask or larger, or a value that is no
// whole number, leaves the mask's count.
TEST(WorkerPool, ASlurmJobsCpusPerTaskCapTheCount) {
    const unsigned allowed = host::AllowedCpuCount();
    const char* before = std::getenv("SLURM_CPUS_PER_TASK");
    const std::string kept = before ? before : "";
    const struct {
        std::string value;
        unsigned expected;
    } cases[] = {
        {"1", 1u},
        {std::to_string(allowed), allowed},
        {std::to_string(allowed + 1), allowed},
        {"0", allowed},
        {"-2", allowed},
        {"2x", allowed},
        {"", allowed},
        {"99999999999999999999999", allowed},
    };
    for (const auto& c : cases) {
        setenv("SLURM_CPUS_PER_TASK", c.value.c_str(), 1);
        EXPECT_EQ(host::AllowedCpuCount(), c.expected) << '"' << c.value << '"';
    }
    if (allowed > 2) {
        setenv("SLURM_CPUS_PER_TASK", "2", 1);
        EXPECT_EQ(host::AllowedCpuCount(), 2u);
    }
    if (before)
        setenv("SLURM_CPUS_PER_TASK", kept.c_str(), 1);
    else
        unsetenv("SLURM_CPUS_PER_TASK");
}
