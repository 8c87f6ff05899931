// What a person at a terminal sees: xsihost bake run under a pseudo-terminal
// (forkpty) of a given size, stdout to a file so that only the display
// reaches the terminal. What it writes is replayed on a small model of the
// terminal's screen (carriage return, line feed, erase to the end of the
// line, UTF-8 text, wrap at the last column) at chosen moments; Ctrl-C is
// typed as the byte a keyboard sends, and the window is resized as a
// terminal does (TIOCSWINSZ, which sends SIGWINCH). The display's clock
// moves a fixed step at each change of a bar (ZK_HOST_CLOCK_STEP_MS), so
// what it shows does not depend on the machine's speed. Off a terminal the
// same bake writes only the bars' last lines. Each screen is kept beside
// the test's output (screen-*.txt).
#include "E2eSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>

extern char** environ;

using namespace e2e;

namespace {

// A terminal's screen, fed with what a program wrote to it.
class Screen {
  public:
    explicit Screen(int columns) : m_columns(columns), m_lines(1) {}

    void Feed(const std::string& bytes) {
        size_t i = 0;
        while (i < bytes.size()) {
            const unsigned char b = static_cast<unsigned char>(bytes[i]);
            if (b == '\r') {
                m_column = 0;
                ++i;
            } else if (b == '\n') {
                NextRow();
                ++i;
            } else if (b == '\b') {
                m_column = m_column > 0 ? m_column - 1 : 0;
                ++i;
            } else if (b == 0x1B && i + 1 < bytes.size() && bytes[i + 1] == '[') {
                size_t end = i + 2;
                while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7E))
                    ++end;
                if (end < bytes.size() && bytes[end] == 'K' && end == i + 2)
                    Line().resize(std::min(Line().size(), static_cast<size_t>(m_column)));
                i = end + 1;
            } else if (b < 0x20) {
                ++i;
            } else {
                size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
                Put(bytes.substr(i, length));
                i += length;
            }
        }
    }

    // The rows, trailing spaces dropped, and the last row dropped when empty.
    Strings Rows() const {
        Strings rows;
        for (const auto& line : m_lines) {
            std::string text;
            for (const std::string& cell : line)
                text += cell;
            text.erase(text.find_last_not_of(' ') + 1);
            rows.push_back(text);
        }
        while (!rows.empty() && rows.back().empty())
            rows.pop_back();
        return rows;
    }

    std::string Text() const {
        std::string text;
        for (const std::string& row : Rows())
            text += row + "\n";
        return text;
    }

  private:
    std::vector<std::string>& Line() { return m_lines[m_row]; }

    void NextRow() {
        ++m_row;
        if (m_row >= static_cast<int>(m_lines.size()))
            m_lines.emplace_back();
    }

    void Put(const std::string& character) {
        if (m_column >= m_columns) { // wrap at the last column
            NextRow();
            m_column = 0;
        }
        if (Line().size() <= static_cast<size_t>(m_column))
            Line().resize(m_column + 1, " ");
        Line()[m_column++] = character;
    }

    int m_columns;
    std::vector<std::vector<std::string>> m_lines; // one cell per column
    int m_row = 0;
    int m_column = 0;
};

// Columns a line of text takes (each UTF-8 character one).
size_t Width(const std::string& text) {
    size_t columns = 0;
    for (unsigned char c : text)
        columns += (c & 0xC0) != 0x80 ? 1 : 0;
    return columns;
}

// Something to do while the program runs, once its output satisfies `when`.
struct Step {
    std::function<bool(const std::string& written)> when;
    std::function<void(int terminal)> act;
};

struct TerminalRun {
    std::string written;      // everything the program wrote to the terminal
    std::vector<size_t> done; // how much was written when each step was taken
    int status = -1;          // from waitpid
};

void TypeCtrlC(int terminal) {
    const char interrupt = 0x03; // what a keyboard sends: the terminal makes it SIGINT
    ASSERT_EQ(write(terminal, &interrupt, 1), 1);
}

// Runs xsihost on a terminal of `columns` columns with stdout to a file;
// the steps are taken in turn as the output meets them.
TerminalRun RunOnTerminal(const Strings& args, const Strings& env, int columns,
                          const fs::path& stdoutFile, const std::vector<Step>& steps = {}) {
    Strings envTexts;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LANG=", 0) != 0 && entry.rfind("LC_", 0) != 0 &&
            entry.rfind("TERM=", 0) != 0 && entry.rfind("COLUMNS=", 0) != 0 &&
            entry.rfind("ZK_HOST_CLOCK_STEP_MS=", 0) != 0)
            envTexts.push_back(entry);
    }
    envTexts.insert(envTexts.end(), {"LANG=C.UTF-8", "TERM=xterm"});
    envTexts.insert(envTexts.end(), env.begin(), env.end());
    Strings argvTexts = {zkt::XsihostPath()};
    argvTexts.insert(argvTexts.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : argvTexts)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : envTexts)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    TerminalRun run;
    struct winsize size = {};
    size.ws_row = 40;
    size.ws_col = static_cast<unsigned short>(columns);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
    if (pid == 0) {
        const int out = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0)
            _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) {
        ADD_FAILURE() << "forkpty failed";
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    size_t next = 0;
    char buffer[4096];
    for (;;) {
        struct pollfd p = {terminal, POLLIN, 0};
        const int ready = poll(&p, 1, 50);
        if (ready > 0) {
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0)
                break; // EIO once the program has closed the terminal
            run.written.append(buffer, static_cast<size_t>(n));
        }
        while (next < steps.size() && steps[next].when(run.written)) {
            steps[next].act(terminal);
            run.done.push_back(run.written.size());
            ++next;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "xsihost did not end";
            kill(pid, SIGKILL);
            break;
        }
    }
    close(terminal);
    while (waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    return run;
}

// The drawings of the bar line: what lies between carriage returns, without
// the erase at its end, and without the line the bar leaves when it ends
// (which is not fitted to the width: it may wrap).
Strings Drawings(const std::string& written) {
    Strings drawings;
    size_t at = written.find('\r');
    while (at != std::string::npos) {
        const size_t next = written.find_first_of("\r\n", at + 1);
        std::string piece =
            written.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        const size_t erase = piece.find("\033[K");
        if (erase != std::string::npos)
            piece.erase(erase);
        if (!piece.empty() && !Contains(piece, "Processing....: "))
            drawings.push_back(piece);
        at = next == std::string::npos ? next : written.find('\r', next);
    }
    return drawings;
}

void Keep(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
}

// The cache walk of 300 frames of the demo's 1,024-point grid, on a clock
// of 20 ms per change of a bar. Counted by hand from the calls the baker
// makes: the walk's bar changes 4 times before its first frame and twice a
// frame (status text, step); it ends when the export bar is shown, three
// changes later: 606 changes, 12.12 s, so 24.75 frames a second of 12,288
// bytes each (304 kB/s). The export bar changes four times before its
// first status text and ten times after: it ends 14 changes (0.28 s) after
// its first.
const Strings kBake300 = {"bake", "--demo", "--items", "Grid", "--frames", "1:300"};
const std::string kWalkEnd =
    "Zelkin Mesh Processing....: 300 of 300 frames (100%) in 12.1 s, 24.8 fps, 304 kB/s";
const std::string kExportEnd = "Zelkin Export Processing....: done in 0.28 s";

} // namespace

TEST(Terminal, TheBarIsOneLineRedrawnInPlaceThatEndsInCleanLines) {
    const fs::path dir = TestDir();
    Strings args = kBake300;
    args.push_back((dir / "out").string());
    const TerminalRun run =
        RunOnTerminal(args, {"ZK_HOST_CLOCK_STEP_MS=20"}, 120, dir / "stdout.txt");
    ASSERT_TRUE(WIFEXITED(run.status)) << run.written;
    EXPECT_EQ(WEXITSTATUS(run.status), 0) << run.written;

    // Three moments: the first drawing at 3% (before the first second), the
    // first at 60%, and the end.
    const auto upTo = [&](const std::string& percent) {
        const size_t at = run.written.find(percent);
        return at == std::string::npos ? std::string()
                                       : run.written.substr(0, run.written.find('\r', at));
    };
    const std::string moments[] = {upTo("  3%"), upTo(" 60%"), run.written};
    Strings screens;
    for (size_t i = 0; i < 3; ++i) {
        Screen screen(120);
        screen.Feed(moments[i]);
        screens.push_back(screen.Text());
        Keep(dir / ("screen-" + std::to_string(i + 1) + ".txt"), screens.back());
    }
    // While the walk runs the screen holds one line: caption, the status
    // text with its one count, a bar, the percentage; the rate and the time
    // left once the bar has run a second.
    for (size_t i = 0; i < 2; ++i) {
        const Strings rows = Lines(screens[i]);
        ASSERT_EQ(rows.size(), 1u) << screens[i];
        const std::string& row = rows[0];
        EXPECT_TRUE(StartsWith(row, "Zelkin Mesh Processing.... - Frame ")) << row;
        EXPECT_TRUE(Contains(row, "  [\u2588")) << row;
        EXPECT_TRUE(Contains(row, i == 0 ? "  3%" : " 60%")) << row;
        EXPECT_FALSE(Contains(row, "/ 300")) << row;
        EXPECT_EQ(Contains(row, " fps, ") && Contains(row, " kB/s  ") && Contains(row, " s left"),
                  i == 1)
            << row;
        EXPECT_LE(Width(row), 119u) << row;
    }
    // In place: many drawings before the first line feed, each within the
    // width, at most ten per second of the clock (12 s of walk).
    const std::string walk = run.written.substr(0, run.written.find('\n'));
    const Strings drawings = Drawings(walk);
    EXPECT_GE(drawings.size(), 30u);
    EXPECT_LE(drawings.size(), 130u);
    for (const std::string& d : drawings)
        EXPECT_LE(Width(d), 119u) << d;
    // The end: one clean line per bar, nothing left of the drawings.
    EXPECT_EQ(screens[2], kWalkEnd + "\n" + kExportEnd + "\n");
    EXPECT_EQ(Lines(ReadFile(dir / "stdout.txt")).size(), 7u); // stdout holds only the files
}

TEST(Terminal, ANarrowTerminalDropsTheRateThenTheBarAndAResizeIsFollowed) {
    const fs::path dir = TestDir();
    const struct {
        int columns;
        bool bar, rate;
    } cases[] = {{120, true, true}, {70, true, false}, {50, false, false}};
    for (const auto& c : cases) {
        Strings args = kBake300;
        args.push_back((dir / ("out" + std::to_string(c.columns))).string());
        const TerminalRun run =
            RunOnTerminal(args, {"ZK_HOST_CLOCK_STEP_MS=20"}, c.columns, dir / "stdout.txt");
        const Strings drawings = Drawings(run.written.substr(0, run.written.find('\n')));
        ASSERT_GE(drawings.size(), 30u) << c.columns;
        const std::string late = drawings[drawings.size() * 3 / 4]; // past the first second
        EXPECT_EQ(Contains(late, "["), c.bar) << c.columns << ": " << late;
        EXPECT_EQ(Contains(late, "fps"), c.rate) << c.columns << ": " << late;
        EXPECT_TRUE(Contains(late, "%")) << c.columns << ": " << late;
        for (const std::string& d : drawings)
            EXPECT_LE(Width(d), static_cast<size_t>(c.columns - 1)) << c.columns << ": " << d;
    }

    // From 120 columns to 50 while a long walk runs: once the program has
    // seen the change (what it wrote before may still be on its way), every
    // later drawing fits 50 columns. Ctrl-C then ends the run early.
    const Strings longBake = {
        "bake", "--demo", "--items", "Grid", "--frames", "1:30000", (dir / "resized").string()};
    size_t resizedAt = 0, scanned = 0, narrow = 0;
    const TerminalRun run = RunOnTerminal(
        longBake, {"ZK_HOST_CLOCK_STEP_MS=20"}, 120, dir / "stdout.txt",
        {{[&](const std::string& w) {
              // A whole drawing of the walk, not the start of one.
              resizedAt = w.size();
              const size_t frame = w.find("Frame ");
              return frame != std::string::npos && w.find("\033[K", frame) != std::string::npos;
          },
          [](int terminal) {
              struct winsize size = {};
              size.ws_row = 40;
              size.ws_col = 50;
              ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
          }},
         {[&](const std::string& w) {
              const size_t from = std::max(resizedAt, scanned), end = w.rfind('\r');
              if (end == std::string::npos || end <= from)
                  return false;
              for (const std::string& d : Drawings(w.substr(from, end - from)))
                  narrow += Width(d) <= 49 ? 1 : 0;
              scanned = end;
              return narrow >= 20;
          },
          TypeCtrlC}});
    ASSERT_EQ(run.done.size(), 2u) << run.written;
    // The drawings before the resize, up to the last whole one (the program
    // may have been in the middle of the next).
    const std::string upToResize = run.written.substr(0, run.done[0]);
    const Strings before = Drawings(upToResize.substr(0, upToResize.rfind("\033[K")));
    const Strings after = Drawings(run.written.substr(run.done[0], run.done[1] - run.done[0]));
    ASSERT_FALSE(before.empty());
    EXPECT_GT(Width(before.back()), 49u) << before.back();
    const auto firstNarrow = std::find_if(after.begin(), after.end(),
                                          [](const std::string& d) { return Width(d) <= 49; });
    ASSERT_NE(firstNarrow, after.end());
    for (auto d = firstNarrow; d != after.end(); ++d)
        EXPECT_LE(Width(*d), 49u) << *d;
}

// Ctrl-C once during the walk: the terminal says at once that the run was
// cancelled and what it still writes, then the bars end and the files left
// incomplete are named; exit status 130. Ctrl-C twice: the files are named
// and the process ends at once, as SIGINT ends it.
TEST(Terminal, CtrlCSaysAtOnceWhatTheRunStillWritesAndASecondEndsIt) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const Strings args = {"bake", "--demo", "--items", "Grid", "--frames", "1:30000", out.string()};
    const std::string note = "xsihost: cancelled: the point caches end at the frame reached; "
                             "writing the scene files (Ctrl-C again: stop at once)";
    const auto walking = [](const std::string& w) { return Contains(w, "Frame "); };
    constexpr int kWide = 300; // the paths named fit on one row

    TerminalRun once;
    for (int attempt = 0; attempt < 3; ++attempt) { // a loaded machine may finish first
        fs::remove_all(out);
        once = RunOnTerminal(args, {}, kWide, dir / "stdout.txt", {{walking, TypeCtrlC}});
        if (!WIFEXITED(once.status) || WEXITSTATUS(once.status) != 0)
            break;
    }
    ASSERT_TRUE(WIFEXITED(once.status)) << once.written;
    EXPECT_EQ(WEXITSTATUS(once.status), 130) << once.written;
    Screen screen(kWide);
    screen.Feed(once.written);
    Keep(dir / "screen-cancelled.txt", screen.Text());
    const Strings rows = screen.Rows();
    const auto row = [&](const std::string& start) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (StartsWith(rows[i], start))
                return static_cast<int>(i);
        return -1;
    };
    ASSERT_GE(row(note), 0) << screen.Text();
    EXPECT_LT(row(note), row("Zelkin Mesh Processing....: cancelled at ")) << screen.Text();
    EXPECT_LT(row(note), row("Zelkin Export Processing....: done in ")) << screen.Text();
    EXPECT_GE(row("xsihost: incomplete: " + (out / "mdd/Grid.mdd").string()), 0) << screen.Text();
    EXPECT_TRUE(StartsWith(rows.back(), "xsihost: ZK_XSI_Baker was cancelled")) << screen.Text();
    // No drawing of a bar is left on the screen.
    for (const std::string& r : rows)
        EXPECT_FALSE(Contains(r, "[")) << r;

    // Stopped at once over an earlier bake: the earlier cache is left as it
    // was, and named so.
    TerminalRun twice;
    std::string earlier;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(out);
        ASSERT_EQ(zkt::RunXsihost({"bake", "--quiet", "--demo", "--items", "Grid", "--frames",
                                   "1:3", out.string()})
                      .exitCode,
                  0);
        earlier = ReadFile(out / "mdd/Grid.mdd");
        twice =
            RunOnTerminal(args, {}, 120, dir / "stdout.txt",
                          {{walking, TypeCtrlC},
                           {[&](const std::string& w) { return Contains(w, note); }, TypeCtrlC}});
        if (!WIFEXITED(twice.status))
            break; // the second came before the run ended by itself
    }
    ASSERT_TRUE(WIFSIGNALED(twice.status)) << twice.written;
    EXPECT_EQ(WTERMSIG(twice.status), SIGINT);
    Screen stopped(kWide);
    stopped.Feed(twice.written);
    Keep(dir / "screen-stopped.txt", stopped.Text());
    const Strings last = stopped.Rows();
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back(), "xsihost: ZK_XSI_Baker was stopped at once by a second interrupt");
    EXPECT_TRUE(
        Contains(stopped.Text(), "xsihost: left as it was: " + (out / "mdd/Grid.mdd").string()))
        << stopped.Text();
    EXPECT_FALSE(Contains(stopped.Text(), "xsihost: incomplete: ")) << stopped.Text();
    // The cache the run was writing under a temporary name is removed.
    EXPECT_EQ(ReadFile(out / "mdd/Grid.mdd"), earlier);
    EXPECT_EQ(EntriesBelow(out / "mdd"), Strings{"Grid.mdd"});
}

// Off a terminal: no drawing at all, one line per bar when it ends; with
// --quiet nothing.
TEST(Terminal, OffATerminalOnlyTheBarsLastLinesAreWritten) {
    const fs::path dir = TestDir();
    for (const bool quiet : {false, true}) {
        Strings args = kBake300;
        if (quiet)
            args.insert(args.begin() + 1, "--quiet");
        args.push_back((dir / (quiet ? "quiet" : "out")).string());
        const RunResult r =
            zkt::RunProgram(zkt::XsihostPath(), args, {{"ZK_HOST_CLOCK_STEP_MS=20"}, dir, {}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, quiet ? "" : kWalkEnd + "\n" + kExportEnd + "\n");
        EXPECT_EQ(Lines(r.out).size(), 7u);
    }
}
