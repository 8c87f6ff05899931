#include "host/ui/Terminal.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace host {
namespace ui {

namespace {

// Whether stderr is a terminal: -1 undecided, 0 no, 1 yes.
int g_terminal = -1;

// The terminal's bar line: which bar is drawn and whether the line is open.
int g_drawnBar = -1;
bool g_lineOpen = false;
std::chrono::steady_clock::time_point g_lastDraw;
std::string g_lastLine;
std::string g_lastText;

// Non-terminal: the last caption written for each bar.
int g_captionBar = -1;
std::wstring g_lastCaption;

volatile std::sig_atomic_t g_interrupts = 0;
volatile std::sig_atomic_t g_quietInterrupt = 0;

std::string Narrow(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        unsigned char b = static_cast<unsigned char>(c & 0xFF);
        // Control characters would break the line they are drawn in.
        out.push_back(b < 0x20 || b == 0x7F ? ' ' : static_cast<char>(b));
    }
    return out;
}

void CloseLine() {
    if (g_lineOpen) {
        std::fputs("\r\033[K", stderr);
        g_lineOpen = false;
    }
}

void OnInterrupt(int) {
    if (g_interrupts > 0) {
        // Second request: end the process the way SIGINT does by default.
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    g_interrupts = 1;
    if (!g_quietInterrupt) {
        static const char kNote[] = "\nINFO: cancel requested; interrupt again to quit\n";
        ssize_t ignored = write(STDERR_FILENO, kNote, sizeof kNote - 1);
        (void)ignored;
    }
}

} // namespace

bool IsTerminal() {
    if (g_terminal < 0) {
        g_terminal = isatty(STDERR_FILENO) ? 1 : 0;
    }
    return g_terminal == 1;
}

void ForceTerminal(bool terminal) {
    CloseLine();
    g_terminal = terminal ? 1 : 0;
    g_drawnBar = -1;
    g_captionBar = -1;
    g_lastCaption.clear();
    g_lastLine.clear();
}

void WriteLine(const std::string& line) {
    bool redraw = g_lineOpen;
    CloseLine();
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
    if (redraw) {
        // Put the bar back under the new line.
        std::fputs(g_lastLine.c_str(), stderr);
        g_lineOpen = true;
    }
    std::fflush(stderr);
}

void ShowProgress(int id, const BarView& bar) {
    if (!IsTerminal()) {
        if (!bar.visible || bar.caption.empty()) {
            return;
        }
        if (id != g_captionBar || bar.caption != g_lastCaption) {
            g_captionBar = id;
            g_lastCaption = bar.caption;
            std::fprintf(stderr, "%s\n", Narrow(bar.caption).c_str());
            std::fflush(stderr);
        }
        return;
    }

    if (!bar.visible) {
        if (id == g_drawnBar) {
            FinishProgress();
        }
        return;
    }
    std::string text = Narrow(bar.caption);
    if (!bar.statusText.empty()) {
        text += (bar.caption.empty() ? "" : " - ") + Narrow(bar.statusText);
    }
    std::string line = "\r" + text + " " + std::to_string(bar.value) + " / " +
                       std::to_string(bar.maximum) + "\033[K";

    // When only the numbers moved, redraw at most every 50 ms (and always
    // at the end), so that long loops do not spend their time drawing.
    auto now = std::chrono::steady_clock::now();
    bool sameBar = id == g_drawnBar && g_lineOpen;
    if (sameBar && line == g_lastLine) {
        return;
    }
    if (sameBar && text == g_lastText && bar.value < bar.maximum &&
        now - g_lastDraw < std::chrono::milliseconds(50)) {
        return;
    }
    if (id != g_drawnBar && g_lineOpen) {
        std::fputc('\n', stderr); // keep the previous bar's last state
    }
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    g_drawnBar = id;
    g_lineOpen = true;
    g_lastLine = line;
    g_lastText = text;
    g_lastDraw = now;
}

void FinishProgress() {
    if (g_lineOpen) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        g_lineOpen = false;
    }
    g_drawnBar = -1;
}

void InstallInterruptHandler(bool quiet) {
    g_quietInterrupt = quiet ? 1 : 0;
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
}

bool IsInterrupted() {
    return g_interrupts != 0;
}

void ClearInterrupt() {
    g_interrupts = 0;
}

} // namespace ui
} // namespace host
