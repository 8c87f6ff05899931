// What the terminal shows of one progress bar, as text: the line redrawn in
// place while the bar moves, and the line it leaves when it ends. Plain
// functions of the bar's state and the time, so that every layout can be
// checked without a terminal.
#pragma once

#include <cstddef>
#include <string>

namespace host {
namespace ui {

// A bar at one moment.
struct BarLine {
    std::wstring caption;
    std::wstring status;
    long value = 0;
    long maximum = 0;
    double seconds = 0.0; // since the bar was first shown
    // Whether the bar has only ever moved by its own step, so that its value
    // measures the work done: only then do a rate and a time left mean
    // anything. A bar moved by other amounts shows its time so far instead.
    bool even = false;
    // Whether the bar moved often enough for a rate (two steps at least).
    bool rated = false;
    // What one step is ("frames": the rate is in frames per second); empty
    // when the host does not know.
    std::string unit;
    // Bytes written per step, when the host knows them (MB/s).
    double bytesPerStep = 0.0;
    // Whether the bar stopped short of its maximum because it was cancelled.
    bool cancelled = false;
};

// How the line is drawn: the terminal's width in columns and whether it
// takes UTF-8 (block characters, text in UTF-8) or single bytes (an ASCII
// bar, each character of the text as its low byte).
struct LineStyle {
    int width = 80;
    bool unicode = true;
};

// The line drawn in place: caption and status text, a bar, the percentage of
// the maximum and, once the bar has run a second, the rate and the time left
// (or the time so far, for a bar whose steps give no estimate). It takes at most width - 1 columns,
// so that it never wraps: a narrow terminal drops the rate first, then the bar, then the time, and
// then shortens the text. The caption and status text are padded to *textColumns (when given) so
// that the bar does not move as the numbers in the status text grow; *textColumns receives the
// columns they took.
std::string LiveLine(const BarLine& bar, const LineStyle& style, size_t* textColumns = nullptr);

// The line a bar leaves when it ends: what it did and how long it took.
// "Baking: 48 of 48 frames (100%) in 0.31 s", with the rate for a bar that
// ran a second or more; "Writing: done in 2.4 s" for a bar whose value does
// not count its work (or that has no maximum); "cancelled at 12 of 48 frames
// (25%) after 0.10 s" for a counting bar that was cancelled.
std::string EndLine(const BarLine& bar, bool unicode);

// Text pieces, the same whatever the process locale: "0.31 s", "12.4 s",
// "3 min 05 s", "1 h 02 min"; a time left in whole seconds, rounded up
// ("5 s", "3 min 05 s"); a rate with three significant digits at most
// ("1234", "12.3", "0.12"). Bytes per second read in MB/s, kB/s or B/s
// (10^6 and 10^3 bytes).
std::string DurationText(double seconds);
std::string TimeLeftText(double seconds);
std::string RateText(double perSecond);

// Columns a UTF-8 text takes on a terminal (East Asian wide characters two).
size_t Columns(const std::string& utf8);

} // namespace ui
} // namespace host
