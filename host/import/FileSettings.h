// What a scene file declares about its numbers: the length of its unit and
// its frame rate, and where each animation starts in the file's time.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace host {

struct FileSettings {
    double metresPerUnit = 0.0; // 0: the file names no unit
    double frameRate = 0.0;     // 0: the file names no frame rate
    // Per animation (by name): the file time, in seconds, that Assimp makes
    // its time 0, for a format whose animations Assimp counts from their
    // start.
    std::vector<std::pair<std::string, double>> animationStarts;
};

} // namespace host
