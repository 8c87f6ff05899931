#include "host/app/ProgressBars.h"

#include "host/app/HostLog.h"
#include "host/ui/Clock.h"
#include "host/ui/Terminal.h"

namespace host {

int ProgressBars::NewProgressBar() {
    m_bars.push_back(std::make_unique<ProgressState>());
    return static_cast<int>(m_bars.size()) - 1;
}

ProgressState* ProgressBars::GetProgressBar(int id) {
    if (id < 0 || id >= static_cast<int>(m_bars.size())) {
        return nullptr;
    }
    return m_bars[id].get();
}

bool ProgressBars::IsBarCancelled(int id) const {
    if (id < 0 || id >= static_cast<int>(m_bars.size())) {
        return false;
    }
    const ProgressState& bar = *m_bars[id];
    if (!bar.cancelEnabled) {
        return false;
    }
    return IsCancelRequested() || (m_cancelAfter >= 0 && bar.increments >= m_cancelAfter);
}

void ProgressBars::ShowProgress(int id) {
    ProgressState* bar = GetProgressBar(id);
    if (!bar) {
        return;
    }
    bar->changed = ui::Now();
    if (bar->started < 0.0) {
        bar->started = bar->changed;
    }
    if (m_log.IsEchoed() && !m_log.IsQuiet()) {
        ui::BarView view;
        view.visible = bar->visible;
        view.caption = bar->caption;
        view.statusText = bar->statusText;
        view.value = bar->value;
        view.maximum = bar->maximum;
        view.step = bar->step;
        view.increments = bar->increments;
        view.started = bar->started;
        view.now = bar->changed;
        view.cancelled = IsBarCancelled(id);
        ui::ShowProgress(id, view);
    }
}

bool ProgressBars::IsCancelRequested() const {
    return m_cancelRequested || ui::IsInterrupted();
}

void ProgressBars::ResetCancel() {
    m_cancelRequested = false;
    ui::ClearInterrupt();
}

void ProgressBars::Reset() {
    m_bars.clear();
    ui::ForgetProgress();
    m_cancelAfter = -1;
    ResetCancel();
}

} // namespace host
