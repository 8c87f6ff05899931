// The host's clock for progress display and timings: seconds on a monotonic
// clock whose origin means nothing.
//
// ZK_HOST_CLOCK_STEP_MS=N (N >= 0) replaces it, for tests and for captures
// of the display, by a clock that starts at 0 and moves N milliseconds
// forward at each reading, so that what is drawn depends only on what the
// command does, never on how fast the machine runs it.
#pragma once

namespace host {
namespace ui {

double Now();

// Tests: every later reading moves `stepSeconds` forward from 0; a negative
// step goes back to the real clock.
void SetClockStep(double stepSeconds);
// Whether the clock is a stepped one (it then moves only when read, and only
// the thread that drives the bars reads it).
bool IsClockStepped();

} // namespace ui
} // namespace host
