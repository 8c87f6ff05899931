#include "host/import/fbx/FbxDocument.h"
#include "host/import/FileSettings.h"

#include <algorithm>
#include <cmath>

namespace host {
namespace {

// FBX time: ticks per second.
constexpr double kFbxTicksPerSecond = 46186158000.0;

// The frame rates of FBX's time modes; 0 for the default mode and custom.
double TimeModeRate(int mode) {
    static const double kRates[] = {0,  120, 100,  60,     50, 48, 30, 30,    29.97, 29.97,
                                    25, 24,  1000, 23.976, 0,  96, 72, 59.94, 119.88};
    return mode >= 0 && mode < static_cast<int>(sizeof(kRates) / sizeof(kRates[0])) ? kRates[mode]
                                                                                    : 0.0;
}

double First(const std::vector<double>& values) {
    return values.empty() || !std::isfinite(values[0]) ? 0.0 : values[0];
}

} // namespace

FileSettings ReadFbxSettings(const FbxDocument& doc) {
    FileSettings out;
    if (const FbxNode* global = doc.Root().Child("GlobalSettings")) {
        const double cm = First(FbxProperty(*global, "UnitScaleFactor"));
        if (cm > 0.0) {
            out.metresPerUnit = cm / 100.0;
        }
        const std::vector<double> mode = FbxProperty(*global, "TimeMode");
        out.frameRate = TimeModeRate(static_cast<int>(First(mode)));
        if (!mode.empty() && First(mode) == 14) {
            const double custom = First(FbxProperty(*global, "CustomFrameRate"));
            out.frameRate = custom > 0.0 && custom < 1e6 ? custom : 0.0;
        }
    }
    if (const FbxNode* objects = doc.Root().Child("Objects")) {
        // A stack without a time span starts at its first key: Assimp counts
        // from there.
        double firstKey = 0.0;
        bool anyKey = false;
        for (const FbxNode& n : objects->children) {
            const FbxNode* times = n.name == "AnimationCurve" ? n.Child("KeyTime") : nullptr;
            if (!times) {
                continue;
            }
            try {
                for (double t : doc.Array(*times)) {
                    firstKey = anyKey ? std::min(firstKey, t) : t;
                    anyKey = true;
                }
            } catch (const FbxError&) {
                // Assimp refuses the curve on its own.
            }
        }
        for (const FbxNode& n : objects->children) {
            if (n.name != "AnimationStack") {
                continue;
            }
            std::string name = n.Text(1);
            const size_t sep = name.find("::");
            if (sep != std::string::npos) {
                name = name.substr(sep + 2);
            }
            const double start = First(FbxProperty(n, "LocalStart"));
            const bool span = start != 0.0 || First(FbxProperty(n, "LocalStop")) != 0.0;
            out.animationStarts.emplace_back(name, (span ? start : firstKey) / kFbxTicksPerSecond);
        }
    }
    return out;
}

} // namespace host
