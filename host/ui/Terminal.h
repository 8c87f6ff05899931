// The host's terminal output on stderr: log lines, the progress bar, and the
// cancel request that SIGINT makes.
//
// On a terminal (stderr is one, and TERM is not "dumb") the bar shown is one
// line redrawn in place at most ten times a second (ProgressLine.h: caption,
// status text, a bar, the percentage, the rate and the time left), and once
// a second while it does not change (a thread of its own ticks), fitted to
// the terminal's width, read again after each SIGWINCH; log lines are
// written above it. When a bar ends (another bar is shown, it is hidden, or
// the command is over) it leaves one line saying what it did and how long it
// took. Elsewhere (a pipe, a file) nothing is redrawn: each bar writes only
// that last line, when it ends.
#pragma once

#include <string>
#include <vector>

namespace host {
namespace ui {

// What the terminal shows of a progress bar, at one change of it.
struct BarView {
    bool visible = false;
    std::wstring caption;
    std::wstring statusText;
    long value = 0;
    long maximum = 0;
    long step = 1;
    long increments = 0;  // Increment calls so far
    double started = 0.0; // the clock (Clock.h) at the bar's first change
    double now = 0.0;     // the clock at this change
    bool cancelled = false;
};

// What the program driving the host knows about the bars a command shows,
// found by the bar's caption: what one step is (unit "frames": the rate
// reads in frames per second), the bytes written per step (MB/s), and what
// the first interrupt says while that bar is shown.
struct BarMeaning {
    std::wstring caption;
    std::string unit;
    double bytesPerStep = 0.0;
    std::string cancelNote;
};
void DescribeBars(std::vector<BarMeaning> meanings);

// Writes one line to stderr (above the bar, on a terminal).
void WriteLine(const std::string& line);

// Shows bar `id` after a change.
void ShowProgress(int id, const BarView& bar);
// Ends the bar shown, if any: its last line, at the end of a command.
void FinishProgress();
// Forgets the bar shown without a line (the host starts afresh).
void ForgetProgress();

// Whether stderr is treated as a terminal. Decided from stderr at the first
// use; tests may force either way, with the width and the kind of bar drawn
// (UTF-8 block characters, or ASCII).
bool IsTerminal();
void ForceTerminal(bool terminal, int width = 80, bool unicode = true);

// SIGINT: the first sets the cancel request and says at once what the
// command still does (the note of the bar shown, else the one set here); a
// second ends the process as SIGINT does, after the quit hook (which must
// only make async-signal-safe calls) and the quit note. Quiet suppresses
// the first note. A SIGINT sent to the process group that reaches this
// process both directly and passed on by the xsihost that waits for it
// counts once.
void InstallInterruptHandler(bool quiet);
void SetInterruptNotes(const std::string& cancelNote, const std::string& quitNote);
void SetQuitHook(void (*hook)());
bool IsInterrupted();
void ClearInterrupt();

// Writes a whole text to stderr with write(2): safe in a signal handler.
void WriteFromSignal(const char* text);

} // namespace ui
} // namespace host
