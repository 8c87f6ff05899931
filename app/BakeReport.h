// What `xsihost bake` reports about the files it was asked for: with
// --json, one JSON document on stdout (the keys are listed in the README);
// and, armed before the command runs, the files a second interrupt names
// before the process ends.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace xsihost {

// Linked: a cache the scene files link but this bake does not write
// (--link-caches). Kept: a file there before the bake, left as it was
// because the bake did not complete it again.
enum class FileState { NotWritten, Complete, Incomplete, Linked, Kept };

// Reads a cache's header (frame count, point count); false when the file
// cannot be read or is shorter than the header. Async-signal-safe.
bool ReadCacheHeader(const char* path, long long* frames, long long* points);

// One file the bake was to write.
struct BakeFile {
    std::string path;
    std::string item;     // the item it belongs to; empty for a scene file
    bool cache = false;   // an MDD point cache
    long long points = 0; // a cache's point count
    FileState state = FileState::NotWritten;
};

// One bake, as the JSON document tells it. Times are readings of the host's
// clock (host/ui/Clock.h).
struct BakeSummary {
    nlohmann::ordered_json scene; // SceneJson.h
    std::string outDir;
    long long firstFrame = 0, lastFrame = 0;
    std::vector<std::string> items; // full names, as baked
    std::vector<BakeFile> files;    // in the order they are listed
    bool ran = true;                // false: cancelled before the command ran
    unsigned commandStatus = 0;
    bool cancelled = false;
    int exitStatus = 0;
    double started = 0.0, loaded = 0.0, commandStarted = 0.0, commandEnded = 0.0, ended = 0.0;
};

// The document: the scene, the frames, the items, every file with its state
// and size (a cache with its header's frame and point counts and the frames
// it holds), the command's status, the exit status and the timings, with the
// time each progress bar of the command was shown.
nlohmann::ordered_json BakeJson(const BakeSummary& bake);

// A file the command writes under a temporary name, and whether a file was
// at its path before the run.
struct WatchedFile {
    std::string path;
    std::string temporary;
    bool existed = false;
};

// From now on a second interrupt removes the temporary files and writes
// "xsihost: left as it was: PATH" on stderr for each file that was there
// before, before the process ends.
void LeaveEarlierFilesOnQuit(std::vector<WatchedFile> files);

} // namespace xsihost
