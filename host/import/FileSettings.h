// What a scene file declares about its numbers: the length of its unit and
// its frame rate, and where each animation starts in the file's time.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace host {

class FbxDocument;

struct FileSettings {
    double metresPerUnit = 0.0; // 0: the file names no unit
    double frameRate = 0.0;     // 0: the file names no frame rate
    // Per animation (by name): the file time, in seconds, that Assimp makes
    // its time 0 (FBX: the stack's LocalStart, or its first key when it
    // gives no time span).
    std::vector<std::pair<std::string, double>> animationStarts;
};

// FBX: GlobalSettings' UnitScaleFactor (centimetres per unit), TimeMode and
// CustomFrameRate, and each AnimationStack's LocalStart.
FileSettings ReadFbxSettings(const FbxDocument& doc);

} // namespace host
