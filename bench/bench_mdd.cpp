// Speed of the MDD frame blocks: a rigid mesh of 1,000,000 points, moving and
// turning, baked in world space (every point mapped) with RecordData, beside
// the limit of this machine: the same number of bytes written from a ready
// buffer with one fwrite per frame. Both write into a file under /tmp that is
// rewound every kFramesPerFile frames so that it stays bounded.
//
//   bench_mdd --benchmark_min_time=3
//
// Counters: bytes_per_second (frame block bytes), rss_growth_kB (resident
// memory after the last frame minus after the first: flat means ~0).
//
// BM_BakeMeshes: whole cache bakes (WriteHeader, the walk, closing) of 100
// frames, either 1,000 moving meshes of 200 points or one of 200,000 points,
// the same bytes either way, so that what each object costs shows beside the
// points: points_x_frames/s for both.
#include "TimeBakes.h"
#include "geometry/MDDFile.h"
#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/scene/Scene.h"

#include <xsi_geometry.h>
#include <xsi_pointrefarray.h>
#include <xsi_primitive.h>
#include <xsi_vector3array.h>
#include <xsi_x3dobject.h>

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 1000;
constexpr int kPoints = kSide * kSide;
constexpr long long kBlockBytes = 12LL * kPoints;
constexpr int kFramesPerFile = 16;

const char* const kBakePath = "/tmp/zk_bench_mdd_record.mdd";
const char* const kLimitPath = "/tmp/zk_bench_mdd_limit.mdd";

// The least of the repetitions: on a shared machine other work only ever
// adds time, so the minimum is the steadiest figure beside the median.
double Least(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

long ResidentKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The scene: one rigid grid of kPoints points, translated and turned over
// time, so that every frame's world positions differ.
host::Item* BuildScene() {
    host::HostApp& app = host::HostApp::Get();
    app.Reset();
    app.SetEchoLog(false);
    auto scene = std::make_unique<host::Scene>();
    host::Item* grid = scene->AddMesh(L"grid");
    std::vector<host::Vec3> points;
    points.reserve(kPoints);
    for (int j = 0; j < kSide; ++j)
        for (int i = 0; i < kSide; ++i)
            points.push_back({i * 0.01, 0.0, j * 0.01});
    grid->GetMesh()->SetPoints(std::move(points));
    grid->Translation().SetFunction([](double f) { return host::Vec3{f * 0.1, 1.0, -f * 0.05}; });
    grid->Rotation().SetFunction(
        [](double f) { return host::QuatFromXYZAngles(0.0, f * 0.01, f * 0.002); });
    app.SetScene(std::move(scene));
    return grid;
}

void BM_RecordData(benchmark::State& state) {
    host::Item* grid = BuildScene();
    ObjectData object;
    std::strcpy(object.name, "grid");
    std::strcpy(object.mddPath, kBakePath);
    object.pointCount = kPoints;
    object.ref = host::RefOf(grid);
    object.mddFile = std::fopen(kBakePath, "wb");
    if (!object.mddFile) {
        state.SkipWithError("cannot create the file under /tmp");
        return;
    }
    // The walk's writer, kept from frame to frame as ZK_MESH_Process keeps
    // it; the argument says whether a second thread writes the pieces.
    MDDCacheWriter writer(state.range(0) != 0);
    RecordData(1, &object, 0, 0, &writer); // first frame: buffers reach their size
    const long residentStart = ResidentKb();
    int frame = 1;
    for (auto _ : state) {
        if (frame % kFramesPerFile == 0) {
            writer.Finish(); // no piece may go out after the rewind
            std::fseek(object.mddFile, 0, SEEK_SET);
        }
        RecordData(1, &object, frame++, 0, &writer);
    }
    writer.Finish();
    state.counters["rss_growth_kB"] = static_cast<double>(ResidentKb() - residentStart);
    state.SetBytesProcessed(state.iterations() * kBlockBytes);
    if (!ZK_CloseMDDFiles(1, &object))
        state.SkipWithError("the file could not be completely written");
    std::remove(kBakePath);
    host::HostApp::Get().Reset();
}
BENCHMARK(BM_RecordData)
    ->ArgName("pipelined")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Least);

void BM_WriteLimit(benchmark::State& state) {
    std::vector<char> block(kBlockBytes, '\x3F');
    FILE* file = std::fopen(kLimitPath, "wb");
    if (!file) {
        state.SkipWithError("cannot create the file under /tmp");
        return;
    }
    int frame = 1;
    for (auto _ : state) {
        if (frame++ % kFramesPerFile == 0)
            std::fseek(file, 0, SEEK_SET);
        std::fwrite(block.data(), 1, block.size(), file);
    }
    state.SetBytesProcessed(state.iterations() * kBlockBytes);
    std::fclose(file);
    std::remove(kLimitPath);
}
BENCHMARK(BM_WriteLimit)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Least);

// One position-array query of the mesh per iteration, a frame further each
// time, then a fresh host.
void QueryPositionsEachFrame(benchmark::State& state, host::Item* grid) {
    XSI::X3DObject item(host::RefOf(grid));
    int frame = 1;
    for (auto _ : state) {
        const XSI::MATH::CVector3Array positions =
            item.GetActivePrimitive().GetGeometry(frame++).GetPoints().GetPositionArray();
        benchmark::DoNotOptimize(positions.GetArray());
    }
    host::HostApp::Get().Reset();
}

// The host's share of RecordData: the position array of one frame.
void BM_HostPositionArray(benchmark::State& state) {
    host::Item* grid = BuildScene();
    QueryPositionsEachFrame(state, grid);
}
BENCHMARK(BM_HostPositionArray)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Least);

// The same for a deformed mesh: the grid with a morph target blended in, so
// that every query evaluates every point into a new array.
void BM_HostPositionArrayMorphed(benchmark::State& state) {
    host::Item* grid = BuildScene();
    host::Mesh* mesh = grid->GetMesh();
    mesh->AddMorphTarget(L"lift", std::vector<host::Vec3>(kPoints, host::Vec3{0.0, 0.5, 0.0}));
    mesh->MorphWeight(0).SetFunction([](double f) { return 0.5 + 0.01 * f; });
    QueryPositionsEachFrame(state, grid);
}
BENCHMARK(BM_HostPositionArrayMorphed)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Least);

// Whole bakes of `meshes` moving rigid meshes of `points` points each, 100
// frames in world space, into a folder under /tmp.
void BM_BakeMeshes(benchmark::State& state) {
    const int meshes = static_cast<int>(state.range(0));
    const int points = static_cast<int>(state.range(1));
    constexpr int kFrames = 100;
    host::HostApp& app = host::HostApp::Get();
    app.Reset();
    app.SetEchoLog(false);
    auto scene = std::make_unique<host::Scene>();
    std::vector<ObjectData> objects(static_cast<size_t>(meshes));
    for (int m = 0; m < meshes; ++m) {
        const std::string name = "m" + std::to_string(m);
        host::Item* item = scene->AddMesh(std::wstring(name.begin(), name.end()));
        std::vector<host::Vec3> rest;
        for (int i = 0; i < points; ++i)
            rest.push_back({(i % 20) * 0.1, m * 0.01, (i / 20) * 0.1});
        item->GetMesh()->SetPoints(rest);
        item->Translation().SetFunction([m](double f) {
            return host::Vec3{f * 0.1, m * 0.5, 0.0};
        });
        item->Rotation().SetFunction(
            [](double f) { return host::QuatFromXYZAngles(0, f * 0.01, 0); });
        std::strcpy(objects[m].name, name.c_str());
        objects[m].pointCount = points;
        objects[m].ref = host::RefOf(item);
    }
    app.SetScene(std::move(scene));
    TimeBakes(state, objects, 1, kFrames);
    const double pointFrames = static_cast<double>(meshes) * points * kFrames;
    state.counters["points_x_frames/s"] =
        benchmark::Counter(pointFrames, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(state.iterations() * 12LL * meshes * points * (kFrames + 1));
    app.Reset();
}
BENCHMARK(BM_BakeMeshes)
    ->ArgNames({"meshes", "points"})
    ->Args({1000, 200})
    ->Args({1, 200000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Least);

} // namespace

BENCHMARK_MAIN();
