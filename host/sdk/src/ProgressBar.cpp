// ProgressBar: a handle to one of the host's bars. Every change is shown at
// once (see host/ui); a handle that names no bar does nothing and reads 0.
#include <xsi_progressbar.h>

#include "host/app/HostApp.h"

#include <algorithm>
#include <climits>

namespace XSI {

namespace {

host::ProgressState* Bar(int id) {
    return host::HostApp::Get().GetProgressBar(id);
}

template <typename Change> CStatus Update(int id, Change change) {
    host::ProgressState* bar = Bar(id);
    if (!bar) {
        return CStatus::Fail;
    }
    change(*bar);
    host::HostApp::Get().ShowProgress(id);
    return CStatus::OK;
}

} // namespace

CStatus ProgressBar::PutMaximum(LONG in_max) {
    return Update(m_id, [&](host::ProgressState& b) { b.maximum = in_max; });
}

LONG ProgressBar::GetMaximum() const {
    host::ProgressState* bar = Bar(m_id);
    return bar ? bar->maximum : 0;
}

CStatus ProgressBar::PutMinimum(LONG in_min) {
    return Update(m_id, [&](host::ProgressState& b) { b.minimum = in_min; });
}

LONG ProgressBar::GetMinimum() const {
    host::ProgressState* bar = Bar(m_id);
    return bar ? bar->minimum : 0;
}

CStatus ProgressBar::PutValue(LONG in_value) {
    return Update(m_id, [&](host::ProgressState& b) { b.value = in_value; });
}

LONG ProgressBar::GetValue() const {
    host::ProgressState* bar = Bar(m_id);
    return bar ? bar->value : 0;
}

CStatus ProgressBar::PutStep(LONG in_step) {
    return Update(m_id, [&](host::ProgressState& b) { b.step = in_step; });
}

LONG ProgressBar::GetStep() const {
    host::ProgressState* bar = Bar(m_id);
    return bar ? bar->step : 0;
}

CStatus ProgressBar::PutVisible(bool in_visible) {
    return Update(m_id, [&](host::ProgressState& b) { b.visible = in_visible; });
}

bool ProgressBar::GetVisible() const {
    host::ProgressState* bar = Bar(m_id);
    return bar ? bar->visible : false;
}

CStatus ProgressBar::PutCaption(const CString& in_caption) {
    return Update(m_id, [&](host::ProgressState& b) { b.caption = in_caption.GetWideString(); });
}

CString ProgressBar::GetCaption() const {
    host::ProgressState* bar = Bar(m_id);
    return bar ? CString(bar->caption.c_str()) : CString();
}

CStatus ProgressBar::PutStatusText(const CString& in_text) {
    return Update(m_id, [&](host::ProgressState& b) { b.statusText = in_text.GetWideString(); });
}

CString ProgressBar::GetStatusText() const {
    host::ProgressState* bar = Bar(m_id);
    return bar ? CString(bar->statusText.c_str()) : CString();
}

CStatus ProgressBar::PutCancelEnabled(bool in_enabled) {
    return Update(m_id, [&](host::ProgressState& b) { b.cancelEnabled = in_enabled; });
}

LONG ProgressBar::Increment(LONG in_step) {
    LONG value = 0;
    Update(m_id, [&](host::ProgressState& b) {
        // The sum stays within LONG, whatever the steps.
        long sum = b.value + static_cast<long>(in_step);
        b.value = std::min<long>(std::max<long>(sum, INT_MIN), INT_MAX);
        ++b.increments;
        value = static_cast<LONG>(b.value);
    });
    return value;
}

bool ProgressBar::IsCancelPressed() const {
    host::HostApp& app = host::HostApp::Get();
    if (!app.IsBarCancelled(m_id)) {
        return false;
    }
    // A cancel that came after the bar's last change ends the walk without
    // another change to it: the display learns of it here, so that the
    // bar's last line says where it was cancelled.
    app.ShowProgress(m_id);
    return true;
}

} // namespace XSI
