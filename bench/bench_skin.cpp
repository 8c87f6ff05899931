// Linear-blend skinning speed: a 500,000-point mesh, every point influenced
// by 4 of 8 joints, built as Assimp data in memory and imported as a scene
// file would be, then evaluated frame after frame on one core.
//
// BM_SkinEvaluate evaluates into a buffer made once (what a baker that keeps
// its buffer pays per frame) and counts the heap allocations made while it
// runs: "allocs/frame" must stay 0. BM_SkinPositionArray goes through the
// SDK's CPointRefArray::GetPositionArray, which returns a new array per call.
// The argument is the number of threads the scene evaluates on. One thread
// is timed by its CPU time (the figure per core, steady on a shared
// machine), two by the wall clock; "influences/s/thread" divides the rate by
// the threads.
#include "TimeBakes.h"
#include "geometry/MDDFile.h"
#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/import/AssimpScene.h"
#include "host/scene/Scene.h"

#include <xsi_geometry.h>
#include <xsi_primitive.h>
#include <xsi_x3dobject.h>

#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

std::atomic<long> g_allocations{0};

} // namespace

// Every allocation of the process (the host library's too) goes through this
// operator new. g++ cannot see that the matching deletes below free what this
// malloc gave, hence the pragma.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr unsigned kPoints = 500000;
constexpr unsigned kJoints = 8;
constexpr unsigned kInfluences = 4;

// A chain of kJoints joints under the root, each turning about its own axis
// over 100 frames, and a mesh node of `points` points, each following 4
// neighbouring joints of the chain.
std::unique_ptr<aiScene> MakeSkinnedScene(unsigned points = kPoints) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Root");
    aiAnimation* anim = new aiAnimation();
    anim->mTicksPerSecond = 30.0;
    anim->mDuration = 100.0;
    anim->mNumChannels = kJoints;
    anim->mChannels = new aiNodeAnim*[kJoints];
    scene->mNumAnimations = 1;
    scene->mAnimations = new aiAnimation* [1] { anim };

    aiNode* parent = scene->mRootNode;
    for (unsigned j = 0; j < kJoints; ++j) {
        aiNode* joint = new aiNode("Joint" + std::to_string(j));
        aiMatrix4x4::Translation(aiVector3D(0, j == 0 ? 0.0f : 1.0f, 0), joint->mTransformation);
        aiNode* children[1] = {joint};
        parent->addChildren(1, children);
        parent = joint;

        aiNodeAnim* ch = new aiNodeAnim();
        ch->mNodeName = joint->mName;
        ch->mNumRotationKeys = 2;
        ch->mRotationKeys = new aiQuatKey[2];
        const aiVector3D axis(j % 3 == 0, j % 3 == 1, j % 3 == 2);
        ch->mRotationKeys[0] = aiQuatKey(0.0, aiQuaternion(axis, 0.0f));
        ch->mRotationKeys[1] = aiQuatKey(100.0, aiQuaternion(axis, 0.5f));
        anim->mChannels[j] = ch;
    }

    aiNode* body = new aiNode("Body");
    body->mNumMeshes = 1;
    body->mMeshes = new unsigned[1]{0};
    aiNode* children[1] = {body};
    scene->mRootNode->addChildren(1, children);

    aiMesh* mesh = new aiMesh();
    scene->mNumMeshes = 1;
    scene->mMeshes = new aiMesh* [1] { mesh };
    mesh->mNumVertices = points;
    mesh->mVertices = new aiVector3D[points];
    for (unsigned i = 0; i < points; ++i) {
        const float u = static_cast<float>(i) / points;
        mesh->mVertices[i] = aiVector3D(std::cos(u * 1000.0f), u * kJoints, std::sin(u * 1000.0f));
    }
    // Point i follows joints b .. b + 3, b = its height's joint clamped to the
    // chain, weights 0.4, 0.3, 0.2, 0.1.
    std::vector<std::vector<aiVertexWeight>> weights(kJoints);
    const float w[kInfluences] = {0.4f, 0.3f, 0.2f, 0.1f};
    for (unsigned i = 0; i < points; ++i) {
        const unsigned b = std::min(i * kJoints / points, kJoints - kInfluences);
        for (unsigned k = 0; k < kInfluences; ++k) {
            weights[b + k].push_back(aiVertexWeight(i, w[k]));
        }
    }
    mesh->mNumBones = kJoints;
    mesh->mBones = new aiBone*[kJoints];
    for (unsigned j = 0; j < kJoints; ++j) {
        aiBone* bone = new aiBone();
        bone->mName = "Joint" + std::to_string(j);
        aiMatrix4x4::Translation(aiVector3D(0, -static_cast<float>(j), 0), bone->mOffsetMatrix);
        bone->mNumWeights = static_cast<unsigned>(weights[j].size());
        bone->mWeights = new aiVertexWeight[bone->mNumWeights];
        std::copy(weights[j].begin(), weights[j].end(), bone->mWeights);
        mesh->mBones[j] = bone;
    }
    return scene;
}

const host::Item* LoadBody(int threads, unsigned points = kPoints,
                           host::SkinMethod method = host::SkinMethod::Linear) {
    host::HostApp& app = host::HostApp::Get();
    app.Reset();
    app.SetEchoLog(false);
    app.SetFrameRate(30.0);
    const host::Item* found = app.GetScene() ? app.GetScene()->FindItem(L"Body") : nullptr;
    if (!found || found->GetPointCount() != static_cast<int>(points)) {
        app.SetScene(host::BuildAssimpScene(*MakeSkinnedScene(points), {}, false, nullptr));
    }
    app.GetScene()->SetWorkerCount(threads);
    host::Item* body = app.GetScene()->FindItem(L"Body");
    body->GetMesh()->SetSkinMethod(method);
    return body;
}

// The least of the repetitions: on a shared machine other work only ever
// adds time, so the minimum is the steadiest figure beside the median.
double Least(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void CountRates(benchmark::State& state, int threads) {
    const double perFrame = static_cast<double>(kPoints) * kInfluences;
    state.counters["influences/s"] =
        benchmark::Counter(perFrame, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["influences/s/thread"] =
        benchmark::Counter(perFrame / threads, benchmark::Counter::kIsIterationInvariantRate);
}

// Evaluates the body's points a frame per iteration (the first call, before
// the timing, sizes the scratch buffers) and fails the run if an iteration
// allocates.
void EvaluateFrames(benchmark::State& state, const host::Item* body, int threads) {
    std::vector<host::Vec3> out(body->GetPointCount());
    double frame = 0.0;
    body->EvalPoints(frame, out.data()); // first call sizes the scratch buffers
    const long before = g_allocations.load();
    for (auto _ : state) {
        body->EvalPoints(frame, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        frame = frame >= 100.0 ? 0.0 : frame + 1.0;
    }
    const long allocations = g_allocations.load() - before;
    state.counters["allocs/frame"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    CountRates(state, threads);
    if (allocations != 0) {
        state.SkipWithError("heap allocation during per-frame evaluation");
    }
}

void BM_SkinEvaluate(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    EvaluateFrames(state, LoadBody(threads), threads);
}
BENCHMARK(BM_SkinEvaluate)
    ->ArgName("threads")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);
BENCHMARK(BM_SkinEvaluate)
    ->ArgName("threads")
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

// The same mesh with dual-quaternion skinning: each point's joints blended as
// unit dual quaternions, normalised, and the point turned and moved.
void BM_SkinEvaluateDualQuaternion(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    EvaluateFrames(state, LoadBody(threads, kPoints, host::SkinMethod::DualQuaternion), threads);
}
BENCHMARK(BM_SkinEvaluateDualQuaternion)
    ->ArgName("threads")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

void BM_SkinPositionArray(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const host::Item* body = LoadBody(threads);
    const XSI::X3DObject obj(host::RefOf(body));
    double frame = 0.0;
    for (auto _ : state) {
        const XSI::MATH::CVector3Array a =
            obj.GetActivePrimitive(frame).GetGeometry(frame).GetPoints().GetPositionArray();
        benchmark::DoNotOptimize(a.GetArray());
        frame = frame >= 100.0 ? 0.0 : frame + 1.0;
    }
    CountRates(state, threads);
}
BENCHMARK(BM_SkinPositionArray)
    ->ArgName("threads")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);
BENCHMARK(BM_SkinPositionArray)
    ->ArgName("threads")
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

// A whole cache bake of the skinned mesh, as the plug-in's MDD-only run does
// it after the scene is loaded (WriteHeader, the walk over the frames,
// closing): 100 frames of 200,000 points in world space into a new file,
// the host evaluating on `threads` threads. Wall time per bake.
void BM_BakeSkinned(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    constexpr unsigned kBakePoints = 200000;
    constexpr int kFrames = 100;
    const host::Item* body = LoadBody(threads, kBakePoints);
    std::vector<ObjectData> objects(1);
    std::strcpy(objects[0].name, "Body");
    objects[0].pointCount = static_cast<int>(kBakePoints);
    objects[0].ref = host::RefOf(body);
    TimeBakes(state, objects, 0, kFrames - 1);
    state.counters["points_x_frames/s"] = benchmark::Counter(
        static_cast<double>(kBakePoints) * kFrames, benchmark::Counter::kIsIterationInvariantRate);
    host::HostApp::Get().Reset();
}
BENCHMARK(BM_BakeSkinned)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

} // namespace

BENCHMARK_MAIN();
