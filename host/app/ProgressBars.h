// The host's progress bars and the cancel request: each GetProgressBar of the
// SDK makes a new bar here at value 0.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace host {

class HostLog;

// A progress bar's state.
struct ProgressState {
    long minimum = 0;
    long maximum = 100;
    long value = 0;
    long step = 1;
    bool visible = false;
    bool cancelEnabled = true;
    std::wstring caption;
    std::wstring statusText;
    long increments = 0;   // Increment calls so far
    double started = -1.0; // the host's clock (host/ui/Clock.h) at the first change; -1: none
    double changed = 0.0;  // the clock at the latest change
};

class ProgressBars {
  public:
    // Bars are drawn only while the log is echoed and not quiet.
    explicit ProgressBars(const HostLog& log) : m_log(log) {}

    int NewProgressBar();
    ProgressState* GetProgressBar(int id);
    // The bars made so far, in the order they were made (ids 0..).
    int GetProgressBarCount() const { return static_cast<int>(m_bars.size()); }
    // Whether a bar reports cancel (SIGINT, RequestCancel, or k increments).
    bool IsBarCancelled(int id) const;
    // Notes the time of a change and draws the bar (see host/ui): on a
    // terminal in place, else one line when it ends; nothing when quiet or
    // when the log is not echoed.
    void ShowProgress(int id);
    // The bar reports cancel once it has been incremented k times (k < 0:
    // never). Set by tests; SIGINT sets the cancel flag for every bar.
    void SetCancelAfterIncrements(long k) { m_cancelAfter = k; }
    long GetCancelAfterIncrements() const { return m_cancelAfter; }
    void RequestCancel() { m_cancelRequested = true; }
    // True after RequestCancel or a SIGINT (see host/ui).
    bool IsCancelRequested() const;
    void ResetCancel();
    // No bars, no cancel.
    void Reset();

  private:
    const HostLog& m_log;
    std::vector<std::unique_ptr<ProgressState>> m_bars;
    long m_cancelAfter = -1;
    bool m_cancelRequested = false;
};

} // namespace host
