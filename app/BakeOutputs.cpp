#include "BakeOutputs.h"

#include "Subcommands.h"

#include "host/app/FileSinks.h"
#include "host/app/HostApp.h"

namespace xsihost {

const char* const kOutputNames[7] = {"mdd", "lwo", "emdl", "lws", "mel", "fxs", "zsc"};

BakeOutputs ParseOutputs(const std::string& list) {
    BakeOutputs on;
    bool* const switches[7] = {&on.mdd, &on.lwo, &on.emdl, &on.lws, &on.mel, &on.fxs, &on.zsc};
    for (bool* s : switches)
        *s = false;
    std::string known;
    for (const char* name : kOutputNames)
        known += std::string(known.empty() ? "" : ", ") + name;
    size_t start = 0;
    bool any = false;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        start = comma + 1;
        if (name.empty() && list.empty())
            break;
        int found = -1;
        for (int k = 0; k < 7; ++k)
            if (name == kOutputNames[k])
                found = k;
        if (found < 0)
            throw UsageError("--outputs: " + Quote(name) + " is not an output; the outputs are " +
                             known);
        *switches[found] = true;
        any = true;
    }
    if (!any)
        throw UsageError("--outputs names no output; the outputs are " + known);
    return on;
}

SceneFilesRun::SceneFilesRun(const std::vector<std::string>& sinkPaths) {
    host::FileSinks::Set(sinkPaths);
    host::HostApp::Get().Scenes().HidePoints(true);
}

SceneFilesRun::~SceneFilesRun() {
    host::HostApp::Get().Scenes().HidePoints(false);
    host::FileSinks::Clear();
}

long long SceneFilesRun::BytesWritten(const std::string& path) const {
    return host::FileSinks::BytesWritten(path);
}

} // namespace xsihost
