#include "host/ui/Terminal.h"

#include "host/ui/Clock.h"
#include "host/ui/ProgressLine.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace host {
namespace ui {

namespace {

// The least time between two drawings of the same bar.
constexpr double kRedrawSeconds = 0.1;
// A bar that has not changed for this long is drawn again with its times.
constexpr double kTickSeconds = 1.0;

// Guards everything below but what the signal handlers read: the command's
// thread draws the bar as it changes, the ticker thread (below) while it
// does not.
std::mutex g_mutex;

// Whether stderr is a terminal: -1 undecided, 0 no, 1 yes.
int g_terminal = -1;
bool g_unicode = true;
bool g_forced = false; // tests: no ticker
int g_forcedWidth = 0; // tests
int g_width = 0;       // read from the terminal; 0: read it again

// The bar shown: its latest state, what the program said it means, the
// columns its text took so far (the bar stays put as the text grows), and
// when it was last drawn.
struct Shown {
    int id = -1;
    BarView view;
    const BarMeaning* meaning = nullptr;
    size_t textColumns = 0;
    double lastDraw = 0.0;
    bool drawn = false;
    // A cancel requested before the bar was shown is not this bar's: it
    // runs after it (the scene files written after a cancelled walk).
    bool cancelledBefore = false;
};
Shown g_bar;
std::vector<BarMeaning> g_meanings;

// The terminal's bar line: whether it is open and what it holds.
bool g_lineOpen = false;
std::string g_lastLine;

// Read by the signal handlers.
volatile std::sig_atomic_t g_interrupts = 0;
volatile std::sig_atomic_t g_quietInterrupt = 0;
volatile std::sig_atomic_t g_onTerminal = 0;
volatile std::sig_atomic_t g_noteWritten = 0; // the bar line was overwritten by a note
volatile std::sig_atomic_t g_resized = 0;
std::atomic<const char*> g_note{nullptr};
std::atomic<const char*> g_quitNote{nullptr};
std::atomic<void (*)()> g_quitHook{nullptr};
std::string g_defaultNote;
std::string g_quitText;

const BarMeaning* MeaningOf(const std::wstring& caption) {
    for (const BarMeaning& meaning : g_meanings) {
        if (meaning.caption == caption) {
            return &meaning;
        }
    }
    return nullptr;
}

void PointNoteAt(const BarMeaning* meaning) {
    g_note.store(meaning && !meaning->cancelNote.empty() ? meaning->cancelNote.c_str()
                                                         : g_defaultNote.c_str());
}

bool NamesUtf8(const char* value) {
    return value && (strcasestr(value, "utf-8") || strcasestr(value, "utf8"));
}

// Whether the terminal takes UTF-8, from the locale the environment names
// (the process's own locale stays "C").
bool EnvironmentIsUtf8() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return NamesUtf8(value);
        }
    }
    return false;
}

void OnResize(int) {
    g_resized = 1;
}

int Width() {
    if (g_forcedWidth > 0) {
        return g_forcedWidth;
    }
    if (g_resized || g_width <= 0) {
        g_resized = 0;
        struct winsize size = {};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
            g_width = size.ws_col;
        } else {
            const char* columns = std::getenv("COLUMNS");
            const int given = columns ? std::atoi(columns) : 0;
            g_width = given > 0 ? given : 80;
        }
    }
    return g_width;
}

BarLine LineOf(const Shown& shown, double now) {
    const BarView& v = shown.view;
    BarLine line;
    line.caption = v.caption;
    line.status = v.statusText;
    line.value = v.value;
    line.maximum = v.maximum;
    line.seconds = now - v.started;
    line.even = v.step > 0 &&
                static_cast<long long>(v.value) == static_cast<long long>(v.increments) * v.step;
    line.rated = v.increments >= 2;
    if (shown.meaning) {
        line.unit = shown.meaning->unit;
        line.bytesPerStep = shown.meaning->bytesPerStep;
    }
    line.cancelled = v.cancelled && !shown.cancelledBefore && v.value < v.maximum;
    return line;
}

// Whether stderr is a terminal, decided at the first call.
bool DecideTerminal() {
    if (g_terminal < 0) {
        const char* term = std::getenv("TERM");
        g_terminal = isatty(STDERR_FILENO) && !(term && std::strcmp(term, "dumb") == 0) ? 1 : 0;
        g_unicode = EnvironmentIsUtf8();
        g_onTerminal = g_terminal;
        if (g_terminal == 1) {
            struct sigaction sa = {};
            sa.sa_handler = OnResize;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            sigaction(SIGWINCH, &sa, nullptr);
        }
    }
    return g_terminal == 1;
}

void StartTicker();

void CloseLine() {
    if (g_lineOpen) {
        std::fputs("\r\033[K", stderr);
        g_lineOpen = false;
    }
}

void Draw(double now) {
    const std::string text =
        "\r" + LiveLine(LineOf(g_bar, now), LineStyle{Width(), g_unicode}, &g_bar.textColumns) +
        "\033[K";
    g_bar.lastDraw = now;
    g_bar.drawn = true;
    if (g_lineOpen && text == g_lastLine) {
        return;
    }
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    g_lineOpen = true;
    g_lastLine = text;
    if (!g_forced && !IsClockStepped()) {
        StartTicker();
    }
}

// The bar shown ends: its last line replaces the one drawn.
void EndBar(double now) {
    const bool terminal = DecideTerminal();
    const std::string line = EndLine(LineOf(g_bar, now), terminal && g_unicode);
    if (terminal) {
        std::fputs(("\r" + line + "\033[K\n").c_str(), stderr);
    } else {
        std::fputs((line + "\n").c_str(), stderr);
    }
    std::fflush(stderr);
    g_lineOpen = false;
    g_lastLine.clear();
    g_bar = Shown();
}

// Draws the bar shown again when it has not changed for a second, so that
// its times move on while the command works without a step (a scene writer
// in a long stage).
void Tick() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_bar.id < 0 || !g_bar.drawn || !g_lineOpen) {
        return;
    }
    const double now = Now();
    if (now - g_bar.lastDraw >= kTickSeconds) {
        Draw(now);
    }
}

// The thread that ticks, from the first drawing on a real terminal with the
// real clock to the end of the process.
class Ticker {
  public:
    ~Ticker() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void Start() {
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Run(); });
        }
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return m_stop; })) {
            lock.unlock();
            Tick();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// One SIGINT sent to a whole process group (kill -INT -PGID, a shell's
// kill %job) reaches this process directly and, when this process reads a
// scene file for xsihost, also the waiting xsihost, which passes on what
// another process sent, as sigqueue(3) from its own pid carrying the
// sender's. The two are one request: the second of a direct signal and a
// copy passed on from one sender within kPairSeconds is not counted.
// (Standard signals do not queue: when both arrive before the first is
// handled, only one is seen.)
constexpr long kPairSeconds = 2;
volatile std::sig_atomic_t g_unpairedKind = 0; // 0 none, 1 direct, 2 passed on
volatile std::sig_atomic_t g_unpairedSender = 0;
volatile long g_unpairedAt = 0; // CLOCK_MONOTONIC seconds

bool IsCopyOfTheSameRequest(const siginfo_t* info) {
    if (!info || info->si_code > 0) {
        return false; // the terminal's (SI_KERNEL): it reaches every process once
    }
    const bool passedOn = info->si_code == SI_QUEUE && info->si_pid == getppid();
    const int kind = passedOn ? 2 : 1;
    const int sender = passedOn ? info->si_value.sival_int : static_cast<int>(info->si_pid);
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (g_unpairedKind != 0 && g_unpairedKind != kind && g_unpairedSender == sender &&
        now.tv_sec - g_unpairedAt <= kPairSeconds) {
        g_unpairedKind = 0;
        return true;
    }
    g_unpairedKind = kind;
    g_unpairedSender = sender;
    g_unpairedAt = now.tv_sec;
    return false;
}

void OnInterrupt(int, siginfo_t* info, void*) {
    const int saved = errno;
    if (IsCopyOfTheSameRequest(info)) {
        errno = saved;
        return;
    }
    if (g_interrupts > 0) {
        // Second request: say what is left behind, then end the process the
        // way SIGINT does by default.
        if (g_onTerminal) {
            WriteFromSignal("\r\033[K");
        }
        if (void (*hook)() = g_quitHook.load()) {
            hook();
        }
        if (const char* quit = g_quitNote.load()) {
            WriteFromSignal(quit);
        }
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        errno = saved;
        return;
    }
    g_interrupts = 1;
    const char* note = g_note.load();
    if (!g_quietInterrupt && note && *note) {
        if (g_onTerminal) {
            WriteFromSignal("\r\033[K");
            g_noteWritten = 1;
        }
        WriteFromSignal(note);
        WriteFromSignal("\n");
    }
    errno = saved;
}

// Defined after the state it reads, so that it stops before that state goes.
Ticker g_ticker;

void StartTicker() {
    g_ticker.Start();
}

} // namespace

void DescribeBars(std::vector<BarMeaning> meanings) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_note.store(g_defaultNote.c_str());
    g_bar.meaning = nullptr;
    g_meanings = std::move(meanings);
    if (g_bar.id >= 0) {
        g_bar.meaning = MeaningOf(g_bar.view.caption);
        PointNoteAt(g_bar.meaning);
    }
}

bool IsTerminal() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return DecideTerminal();
}

void ForceTerminal(bool terminal, int width, bool unicode) {
    std::lock_guard<std::mutex> lock(g_mutex);
    CloseLine();
    g_terminal = terminal ? 1 : 0;
    g_onTerminal = g_terminal;
    g_forced = true;
    g_forcedWidth = width;
    g_unicode = unicode;
    g_lastLine.clear();
    g_bar = Shown();
}

void WriteLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const bool redraw = g_lineOpen;
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
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!bar.visible) {
        if (id == g_bar.id) {
            g_bar.view = bar;
            EndBar(bar.now);
        }
        return;
    }
    bool drawNow = false;
    if (id != g_bar.id) {
        if (g_bar.id >= 0) {
            EndBar(bar.now);
        }
        g_bar.id = id;
        g_bar.view = bar;
        g_bar.cancelledBefore = bar.cancelled;
        g_bar.meaning = MeaningOf(bar.caption);
        PointNoteAt(g_bar.meaning);
        drawNow = true;
    } else {
        if (bar.caption != g_bar.view.caption) {
            g_bar.meaning = MeaningOf(bar.caption);
            PointNoteAt(g_bar.meaning);
            g_bar.textColumns = 0;
            drawNow = true;
        }
        g_bar.view = bar;
    }
    if (!DecideTerminal()) {
        return;
    }
    if (g_noteWritten) {
        // A note took the bar's line: draw it again below.
        g_noteWritten = 0;
        g_lineOpen = false;
        drawNow = true;
    }
    if (bar.caption.empty() && bar.statusText.empty() && bar.value == 0) {
        return; // a bar is made visible before its caption is set: wait for it
    }
    if (drawNow || !g_bar.drawn || bar.now - g_bar.lastDraw >= kRedrawSeconds) {
        Draw(bar.now);
    }
}

void FinishProgress() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_bar.id >= 0) {
        EndBar(Now());
    }
}

void ForgetProgress() {
    std::lock_guard<std::mutex> lock(g_mutex);
    CloseLine();
    g_lastLine.clear();
    g_bar = Shown();
}

void InstallInterruptHandler(bool quiet) {
    g_quietInterrupt = quiet ? 1 : 0;
    IsTerminal(); // decided before the first signal can ask
    if (!g_note.load()) {
        g_note.store(g_defaultNote.c_str());
    }
    struct sigaction sa = {};
    sa.sa_sigaction = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_SIGINFO;
    sigaction(SIGINT, &sa, nullptr);
}

void SetInterruptNotes(const std::string& cancelNote, const std::string& quitNote) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_note.store(nullptr);
    g_quitNote.store(nullptr);
    g_defaultNote = cancelNote;
    g_quitText = quitNote.empty() || quitNote.back() == '\n' ? quitNote : quitNote + "\n";
    g_quitNote.store(g_quitText.c_str());
    PointNoteAt(g_bar.id >= 0 ? g_bar.meaning : nullptr);
}

void SetQuitHook(void (*hook)()) {
    g_quitHook.store(hook);
}

bool IsInterrupted() {
    return g_interrupts != 0;
}

void ClearInterrupt() {
    g_interrupts = 0;
}

void WriteFromSignal(const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = write(STDERR_FILENO, text, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        text += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace ui
} // namespace host
