// Whole cache bakes timed the way the plug-in's driver runs them after the
// scene is loaded: WriteHeader, the walk over the frames (ZK_MESH_Process, in
// world space), ZK_CloseMDDFiles, each bake into new files in a new folder
// under /tmp, as a bake into an empty folder writes them.
#pragma once

#include "geometry/MDDFile.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

inline void TimeBakes(benchmark::State& state, std::vector<ObjectData>& objects, int firstFrame,
                      int lastFrame) {
    char folder[] = "/tmp/zk_bench_bake_XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("cannot create a folder under /tmp");
        return;
    }
    char prefix[] = "";
    const int count = static_cast<int>(objects.size());
    for (auto _ : state) {
        if (!WriteHeader(count, objects.data(), firstFrame, lastFrame, folder, prefix, 30.0f)) {
            state.SkipWithError("cannot create the caches");
            break;
        }
        ZK_MESH_Process(count, objects.data(), firstFrame, lastFrame, 0);
        if (!ZK_CloseMDDFiles(count, objects.data()))
            state.SkipWithError("a cache could not be completely written");
        state.PauseTiming();
        for (const ObjectData& object : objects)
            std::remove(object.mddPath);
        state.ResumeTiming();
    }
    rmdir(folder);
}
