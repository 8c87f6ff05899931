#include "BakeReport.h"

#include "Output.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/ui/Terminal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xsihost {

bool ReadCacheHeader(const char* path, long long* frames, long long* points) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    unsigned char header[8];
    size_t got = 0;
    while (got < sizeof header) {
        const ssize_t n = read(fd, header + got, sizeof header - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (got < sizeof header) {
        return false;
    }
    auto big = [&](int at) {
        return static_cast<long long>((static_cast<uint32_t>(header[at]) << 24) |
                                      (static_cast<uint32_t>(header[at + 1]) << 16) |
                                      (static_cast<uint32_t>(header[at + 2]) << 8) |
                                      static_cast<uint32_t>(header[at + 3]));
    };
    *frames = big(0);
    *points = big(4);
    return true;
}

namespace {

using nlohmann::ordered_json;

const char* KindOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    for (const char* kind : {"mdd", "lwo", "emdl", "lws", "mel", "fxs", "zsc", "mot", "env"}) {
        if (ext == kind) {
            return kind;
        }
    }
    return "other";
}

const char* StateName(FileState state) {
    switch (state) {
    case FileState::Complete:
        return "complete";
    case FileState::Incomplete:
        return "incomplete";
    case FileState::Linked:
        return "linked";
    case FileState::Kept:
        return "leftAsItWas";
    case FileState::NotWritten:
        break;
    }
    return "notWritten";
}

// A time in seconds, to the microsecond.
double Seconds(double from, double to) {
    return std::round(std::max(0.0, to - from) * 1e6) / 1e6;
}

ordered_json FileJson(const BakeFile& file, long long frames) {
    ordered_json out;
    out["file"] = JsonText(file.path);
    out["kind"] = KindOf(file.path);
    // A name is the host's 8-bit text: each byte one character, as list --json
    // gives it (a path is the file system's bytes, UTF-8 where they read so).
    out["item"] = file.item.empty() ? ordered_json() : ordered_json(JsonText(Widen(file.item)));
    out["state"] = StateName(file.state);
    out["complete"] = file.state == FileState::Complete;
    struct stat st;
    const bool exists = stat(file.path.c_str(), &st) == 0;
    out["fileSize"] = exists ? ordered_json(static_cast<long long>(st.st_size)) : ordered_json();
    if (file.cache) {
        // The frames asked and the points of the mesh; the frames the cache
        // holds (whole frame blocks after the first frame's lead block).
        long long headerFrames = frames, headerPoints = file.points;
        if (exists) {
            ReadCacheHeader(file.path.c_str(), &headerFrames, &headerPoints);
        }
        long long held = 0;
        if (exists && headerPoints > 0) {
            const long long blocks =
                (static_cast<long long>(st.st_size) - 8 - 4 * headerFrames) / (12 * headerPoints);
            held = std::clamp(blocks - 1, 0LL, headerFrames);
        } else if (file.state == FileState::Complete) {
            held = headerFrames;
        }
        out["frameCount"] = headerFrames;
        out["pointCount"] = headerPoints;
        out["framesWritten"] = held;
    }
    return out;
}

// The files a second interrupt looks at; filled before the hook is set and
// only read by it.
std::vector<WatchedFile> g_watched;
std::vector<std::string> g_watchedLines;

void LeaveWatchedFiles() {
    for (size_t i = 0; i < g_watched.size(); ++i) {
        unlink(g_watched[i].temporary.c_str());
        if (g_watched[i].existed) {
            host::ui::WriteFromSignal(g_watchedLines[i].c_str());
        }
    }
}

} // namespace

ordered_json BakeJson(const BakeSummary& bake) {
    ordered_json out;
    out["scene"] = bake.scene;
    out["outDir"] = JsonText(bake.outDir);
    out["startFrame"] = bake.firstFrame;
    out["endFrame"] = bake.lastFrame;
    out["frameCount"] = bake.lastFrame - bake.firstFrame + 1;
    ordered_json items = ordered_json::array();
    for (const std::string& item : bake.items) {
        items.push_back(JsonText(Widen(item)));
    }
    out["items"] = items;
    ordered_json files = ordered_json::array();
    for (const BakeFile& file : bake.files) {
        files.push_back(FileJson(file, bake.lastFrame - bake.firstFrame + 1));
    }
    out["outputs"] = files;
    char status[16];
    std::snprintf(status, sizeof status, "0x%08X", bake.commandStatus);
    out["commandStatus"] = bake.ran ? ordered_json(status) : ordered_json();
    out["cancelled"] = bake.cancelled;
    out["exitStatus"] = bake.exitStatus;

    ordered_json timings;
    timings["loadSeconds"] = Seconds(bake.started, bake.loaded);
    timings["commandSeconds"] = Seconds(bake.commandStarted, bake.commandEnded);
    timings["totalSeconds"] = Seconds(bake.started, bake.ended);
    // Each bar from its first change to the next bar's, the last to the
    // command's end.
    host::ProgressBars& bars = host::HostApp::Get().Bars();
    ordered_json stages = ordered_json::array();
    for (int id = 0; id < bars.GetProgressBarCount(); ++id) {
        const host::ProgressState* bar = bars.GetProgressBar(id);
        if (!bar || bar->started < 0.0) {
            continue;
        }
        double end = bake.commandEnded;
        for (int next = id + 1; next < bars.GetProgressBarCount(); ++next) {
            const host::ProgressState* later = bars.GetProgressBar(next);
            if (later && later->started >= 0.0) {
                end = later->started;
                break;
            }
        }
        ordered_json stage;
        stage["caption"] = JsonText(bar->caption);
        stage["seconds"] = Seconds(bar->started, end);
        stage["value"] = bar->value;
        stage["maximum"] = bar->maximum;
        stages.push_back(stage);
    }
    timings["bars"] = stages;
    out["timings"] = timings;
    return out;
}

void LeaveEarlierFilesOnQuit(std::vector<WatchedFile> files) {
    host::ui::SetQuitHook(nullptr);
    std::sort(files.begin(), files.end(),
              [](const WatchedFile& a, const WatchedFile& b) { return a.path < b.path; });
    g_watched = std::move(files);
    g_watchedLines.clear();
    for (const WatchedFile& file : g_watched) {
        g_watchedLines.push_back("xsihost: left as it was: " + file.path + "\n");
    }
    host::ui::SetQuitHook(LeaveWatchedFiles);
}

} // namespace xsihost
