#pragma once

#include <cstddef>

// What the importers take from any scene file, whatever its format.
namespace host {
namespace import_limits {

// The longest frame range a file's animation can ask for.
constexpr double kMaxEndFrame = 1.0e6;
// The longest full name of an item (its ancestors' names and its own, joined
// by '.').
constexpr size_t kMaxFullName = 16384;
// The frame rates a file may give (as --fps accepts them).
constexpr double kMinFileRate = 0.001;
constexpr double kMaxFileRate = 100000.0;
// The largest coordinate a scene may hold: well inside float range, with
// room for the transforms that move it.
constexpr double kMaxCoordinate = 1.0e30;

} // namespace import_limits
} // namespace host
