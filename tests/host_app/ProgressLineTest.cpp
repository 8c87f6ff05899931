// The text of the terminal's progress display (host/ui/ProgressLine.h): what
// the line redrawn in place holds at each width, how much of the bar is
// filled, what a bar leaves when it ends, and the numbers in it, whatever
// the process locale.
#include "host/ui/ProgressLine.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using host::ui::BarLine;
using host::ui::Columns;
using host::ui::DurationText;
using host::ui::EndLine;
using host::ui::LineStyle;
using host::ui::LiveLine;
using host::ui::RateText;
using host::ui::TimeLeftText;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// The cache walk of a 48-frame bake, a quarter done after 2 s: 6 frames a
// second, 36 frames (6 s) left, 1,200,000 bytes per frame (7.2 MB/s).
BarLine Walk() {
    BarLine bar;
    bar.caption = L"Zelkin Mesh Processing....";
    bar.status = L"Frame 11";
    bar.value = 12;
    bar.maximum = 48;
    bar.seconds = 2.0;
    bar.even = true;
    bar.rated = true;
    bar.unit = "frames";
    bar.bytesPerStep = 1200000.0;
    return bar;
}

// What lies between the bar's brackets.
std::string Inside(const std::string& line) {
    const size_t open = line.find('[');
    const size_t close = line.find(']', open);
    return open == std::string::npos || close == std::string::npos
               ? std::string()
               : line.substr(open + 1, close - open - 1);
}

} // namespace

TEST(ProgressLineTest, AWideLineHoldsEveryPieceOnceInItsOrder) {
    const std::string line = LiveLine(Walk(), LineStyle{120, true});
    // The status text once, never followed by the bar's own count.
    EXPECT_EQ(Count(line, "11"), 1u) << line;
    EXPECT_FALSE(Has(line, "12 / 48")) << line;
    const std::string pieces[] = {"Zelkin Mesh Processing.... - Frame 11", "[\u2588", "]  25%",
                                  "6.00 fps, 7.20 MB/s", "6 s left"};
    size_t at = 0;
    for (const std::string& piece : pieces) {
        const size_t found = line.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << " in " << line;
        at = found + piece.size();
    }
    EXPECT_LE(Columns(line), 119u);
}

TEST(ProgressLineTest, NarrowTerminalsDropTheRateThenTheBarThenTheTimeThenShortenTheText) {
    // From wide to narrow, each piece goes in its turn and the line always
    // fits (at most width - 1 columns: the last column would wrap).
    bool rateGone = false, barGone = false, timeGone = false, textCut = false;
    for (int width = 140; width >= 4; --width) {
        const std::string line = LiveLine(Walk(), LineStyle{width, true});
        EXPECT_LE(Columns(line), static_cast<size_t>(width - 1)) << width << ": " << line;
        const bool rate = Has(line, "fps"), bar = Has(line, "["), time = Has(line, "left");
        const bool cut = !Has(line, "Frame 11");
        // Once gone, a piece stays gone; and each goes only after the one
        // before it.
        EXPECT_FALSE(rateGone && rate) << width;
        EXPECT_FALSE(barGone && bar) << width;
        EXPECT_FALSE(timeGone && time) << width;
        if (!rate)
            rateGone = true;
        if (!bar) {
            EXPECT_TRUE(rateGone) << width << ": " << line;
            barGone = true;
        }
        if (!time) {
            EXPECT_TRUE(barGone) << width << ": " << line;
            timeGone = true;
        }
        if (cut) {
            EXPECT_TRUE(timeGone) << width << ": " << line;
            textCut = true;
            if (width >= 12) {
                EXPECT_TRUE(Has(line, "\u2026")) << width << ": " << line;
                EXPECT_TRUE(Has(line, "25%")) << width << ": " << line;
            }
        }
    }
    EXPECT_TRUE(rateGone && barGone && timeGone && textCut);
    // At 80 columns the rate has gone and the bar is still there.
    const std::string line80 = LiveLine(Walk(), LineStyle{80, true});
    EXPECT_TRUE(Has(line80, "[") && Has(line80, "left") && !Has(line80, "fps")) << line80;
}

TEST(ProgressLineTest, TheBarIsFilledInEighthsOfACell) {
    // The filled part is value / maximum of the cells between the
    // brackets, in whole cells and one partial cell of n eighths
    // (U+2590 - n), rounded down.
    const struct {
        long value, maximum;
    } cases[] = {{0, 48}, {1, 48}, {12, 48}, {25, 100}, {47, 48}, {48, 48}, {60, 48}, {-3, 48}};
    for (const auto& c : cases) {
        BarLine bar = Walk();
        bar.value = c.value;
        bar.maximum = c.maximum;
        bar.seconds = 0.5; // no rate, no time
        for (int width : {80, 97, 140}) {
            const std::string inside = Inside(LiveLine(bar, LineStyle{width, true}));
            const size_t cells = Columns(inside);
            ASSERT_GE(cells, 10u) << width;
            const double fraction = c.value <= 0           ? 0.0
                                    : c.value >= c.maximum ? 1.0
                                                           : double(c.value) / c.maximum;
            const size_t full = static_cast<size_t>(fraction * cells);
            const int eighths = full < cells ? static_cast<int>((fraction * cells - full) * 8) : 0;
            std::string expected;
            for (size_t i = 0; i < full; ++i)
                expected += "\u2588";
            if (eighths > 0) {
                const char32_t partial = 0x2590 - eighths;
                expected += "\xE2\x96";
                expected += static_cast<char>(0x80 | (partial & 0x3F));
            }
            expected += std::string(cells - full - (eighths > 0 ? 1 : 0), ' ');
            EXPECT_EQ(inside, expected) << c.value << "/" << c.maximum << " at " << width;
        }
    }
    // Without UTF-8 the bar is drawn in ASCII, whole cells only.
    BarLine half = Walk();
    half.value = 24;
    const std::string ascii = Inside(LiveLine(half, LineStyle{100, false}));
    ASSERT_FALSE(ascii.empty());
    EXPECT_EQ(ascii.find_first_not_of("# "), std::string::npos) << ascii;
    EXPECT_EQ(Count(ascii, "#"), ascii.size() / 2) << ascii;
}

TEST(ProgressLineTest, RateAndTimeLeftOnlyForABarThatRanASecondInEvenSteps) {
    const struct {
        double seconds;
        bool even, rated;
        bool rate;
        const char* tail; // time left, time so far, or nothing
    } cases[] = {
        {0.99, true, true, false, nullptr}, // too early to tell
        {2.0, true, true, true, "6 s left"},
        {2.0, true, false, false, "2.00 s"}, // moved once: no rate yet, the time so far
        // A bar moved by other amounts than its step: its time so far.
        {2.0, false, true, false, "2.00 s"},
        {75.0, false, true, false, "1 min 15 s"},
    };
    for (const auto& c : cases) {
        BarLine bar = Walk();
        bar.seconds = c.seconds;
        bar.even = c.even;
        bar.rated = c.rated;
        const std::string line = LiveLine(bar, LineStyle{200, true});
        EXPECT_EQ(Has(line, "fps"), c.rate) << line;
        EXPECT_EQ(Has(line, "MB/s"), c.rate) << line;
        if (c.tail)
            EXPECT_TRUE(line.size() >= strlen(c.tail) &&
                        line.compare(line.size() - strlen(c.tail), std::string::npos, c.tail) == 0)
                << line;
        else
            EXPECT_TRUE(Has(line, "25%") && line.substr(line.size() - 3) == "25%") << line;
    }
    // Without a unit the rate is steps per second; without bytes no MB/s.
    BarLine plain = Walk();
    plain.unit.clear();
    plain.bytesPerStep = 0.0;
    const std::string line = LiveLine(plain, LineStyle{200, true});
    EXPECT_TRUE(Has(line, "  6.00/s  6 s left")) << line;
    EXPECT_FALSE(Has(line, "MB/s")) << line;
}

TEST(ProgressLineTest, TheTextIsPaddedSoThatTheBarStaysPut) {
    BarLine bar = Walk();
    size_t columns = 0;
    bar.status = L"Frame 99";
    const std::string before = LiveLine(bar, LineStyle{100, true}, &columns);
    bar.status = L"Frame 100";
    const std::string wider = LiveLine(bar, LineStyle{100, true}, &columns);
    bar.status = L"Frame 9";
    const std::string after = LiveLine(bar, LineStyle{100, true}, &columns);
    EXPECT_EQ(columns, Columns("Zelkin Mesh Processing.... - Frame 100"));
    EXPECT_EQ(Columns(wider.substr(0, wider.find('['))), Columns(after.substr(0, after.find('['))))
        << wider << "\n"
        << after;
    EXPECT_LT(before.find('['), wider.find('['));
}

TEST(ProgressLineTest, TextIsUtf8OrTheHostsBytesWithControlCharactersAsSpaces) {
    BarLine bar = Walk();
    bar.caption = L"Caf\u00e9\tline\nend";
    bar.status = L"";
    EXPECT_EQ(LiveLine(bar, LineStyle{60, true}).substr(0, 14), "Caf\xC3\xA9 line end");
    EXPECT_EQ(LiveLine(bar, LineStyle{60, false}).substr(0, 13), "Caf\xE9 line end");
    // Two columns for a wide character; the line still fits.
    bar.caption = std::wstring(40, L'\u6F22');
    for (int width : {30, 50, 90}) {
        const std::string line = LiveLine(bar, LineStyle{width, true});
        EXPECT_LE(Columns(line), static_cast<size_t>(width - 1)) << line;
    }
}

TEST(ProgressLineTest, ABarEndsWithWhatItDidAndHowLongItTook) {
    const struct {
        long value, maximum;
        double seconds;
        bool even, cancelled;
        const char* line;
    } cases[] = {
        {48, 48, 0.314, true, false,
         "Zelkin Mesh Processing....: 48 of 48 frames (100%) in 0.31 s"},
        {48, 48, 8.0, true, false,
         "Zelkin Mesh Processing....: 48 of 48 frames (100%) in 8.00 s, 6.00 fps, 7.20 MB/s"},
        {12, 48, 2.5, true, true,
         "Zelkin Mesh Processing....: cancelled at 12 of 48 frames (25%) after 2.50 s"},
        {201, 48, 12.44, false, false, "Zelkin Mesh Processing....: done in 12.4 s"},
        // A bar whose value does not count its work cannot tell whether it
        // stopped short.
        {51, 48, 125.0, false, true, "Zelkin Mesh Processing....: done in 2 min 05 s"},
        {0, 0, 0.0, true, false, "Zelkin Mesh Processing....: done in 0.00 s"},
    };
    for (const auto& c : cases) {
        BarLine bar = Walk();
        bar.value = c.value;
        bar.maximum = c.maximum;
        bar.seconds = c.seconds;
        bar.even = c.even;
        bar.cancelled = c.cancelled;
        EXPECT_EQ(EndLine(bar, true), c.line);
    }
    BarLine nameless;
    nameless.maximum = 4;
    nameless.value = 4;
    nameless.even = true;
    EXPECT_EQ(EndLine(nameless, true), "Progress: 4 of 4 (100%) in 0.00 s");
}

TEST(ProgressLineTest, NumbersReadTheSameInEveryLocale) {
    const struct {
        double seconds;
        const char* duration;
        const char* left;
    } times[] = {
        {0.0, "0.00 s", "0 s"},
        {0.314, "0.31 s", "1 s"},
        {9.999, "10.0 s", "10 s"},
        {12.44, "12.4 s", "13 s"},
        {59.99, "1 min 00 s", "1 min 00 s"},
        {185.2, "3 min 05 s", "3 min 06 s"},
        {3725.0, "1 h 02 min", "1 h 02 min"},
        {-1.0, "0.00 s", "0 s"},
    };
    const struct {
        double perSecond;
        const char* text;
    } rates[] = {{0.0, "0"},      {0.1234, "0.12"}, {9.99, "9.99"},
                 {12.34, "12.3"}, {99.96, "100"},   {1234.4, "1234"}};
    const std::string old = std::setlocale(LC_ALL, nullptr);
    const bool comma =
        std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE.utf8");
    for (int round = 0; round < 2; ++round) {
        for (const auto& t : times) {
            EXPECT_EQ(DurationText(t.seconds), t.duration) << t.seconds;
            EXPECT_EQ(TimeLeftText(t.seconds), t.left) << t.seconds;
        }
        for (const auto& r : rates)
            EXPECT_EQ(RateText(r.perSecond), r.text) << r.perSecond;
        std::setlocale(LC_ALL, old.c_str());
    }
    EXPECT_TRUE(comma) << "the de_DE.UTF-8 locale is missing (scripts/install-deps.sh makes it)";
}
