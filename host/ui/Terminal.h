// The host's terminal output on stderr: log lines, the progress bar, and the
// cancel request that SIGINT makes.
//
// On a terminal the bar is one line redrawn in place (caption, status text,
// value / maximum) and log lines are written above it. Elsewhere (a pipe, a
// file) each caption a bar shows is written once, as a line of its own.
#pragma once

#include <string>

namespace host {
namespace ui {

// What the terminal shows of a progress bar.
struct BarView {
    bool visible = false;
    std::wstring caption;
    std::wstring statusText;
    long value = 0;
    long maximum = 0;
};

// Writes one line to stderr.
void WriteLine(const std::string& line);

// Shows bar `id` after a change.
void ShowProgress(int id, const BarView& bar);
// Ends the bar's line on a terminal (after the last bar of a run).
void FinishProgress();

// Whether stderr is treated as a terminal. Decided from stderr at the first
// use; tests may force either way.
bool IsTerminal();
void ForceTerminal(bool terminal);

// SIGINT: the first sets the cancel request, a second ends the process.
// Quiet suppresses the note written at the first.
void InstallInterruptHandler(bool quiet);
bool IsInterrupted();
void ClearInterrupt();

} // namespace ui
} // namespace host
