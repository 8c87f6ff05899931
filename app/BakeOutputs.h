// The outputs `xsihost bake` makes, by the names --outputs takes, and the
// caches a bake links without writing them (--link-caches).
#pragma once

#include <string>
#include <vector>

namespace xsihost {

// One switch per output of the command: the MDD caches (mdd/), the mesh
// files (lwo/, emdl/) and the four scene files.
struct BakeOutputs {
    bool mdd = true;
    bool lwo = true;
    bool emdl = true;
    bool lws = true;
    bool mel = true;
    bool fxs = true;
    bool zsc = true;

    bool AnySceneFile() const { return lws || mel || fxs || zsc; }
};

// The names, in the order the help lists them.
extern const char* const kOutputNames[7];

// "mdd,lwo,..." as switches: each name switches its output on, the others
// are off. Throws UsageError for an empty list or an unknown name.
BakeOutputs ParseOutputs(const std::string& list);

// The run of a --link-caches bake that writes the scene files. The command
// must open and fill every cache the scene files link, and make the mesh
// files they name; while one of these lives, its writes to those paths go
// nowhere (host::FileSinks), so the caches other jobs make and the mesh
// files made before stay as they are, and the SDK shows every mesh without
// points (the scene files hold none), so that no mesh is evaluated and the
// run costs about what the scene files cost, whatever the points and
// frames. Everything is undone when it goes.
class SceneFilesRun {
  public:
    explicit SceneFilesRun(const std::vector<std::string>& sinkPaths);
    ~SceneFilesRun();
    SceneFilesRun(const SceneFilesRun&) = delete;
    SceneFilesRun& operator=(const SceneFilesRun&) = delete;

    // Bytes the command wrote to the sink of a path; -1 when it never opened
    // it.
    long long BytesWritten(const std::string& path) const;
};

} // namespace xsihost
