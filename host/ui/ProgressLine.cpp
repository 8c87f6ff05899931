#include "host/ui/ProgressLine.h"

#include "host/ui/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace host {
namespace ui {

namespace {

// The bar's width in columns, its brackets included.
constexpr size_t kMinBar = 12;
constexpr size_t kMaxBar = 32;

bool IsControl(unsigned long c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The host's text for the terminal: UTF-8, or each character's low byte
// (the host's own 8-bit convention). Control characters, which would break
// the line they are drawn in, become spaces.
std::string Encode(const std::wstring& text, bool unicode) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        const unsigned long c = static_cast<unsigned long>(w);
        if (unicode) {
            AppendUtf8(out, IsControl(c) ? ' ' : c);
        } else {
            const unsigned long b = c & 0xFF;
            out.push_back(IsControl(b) ? ' ' : static_cast<char>(b));
        }
    }
    return out;
}

bool IsWide(unsigned long c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// Calls visit(start, length, columns) for each character of a UTF-8 text
// (each byte of a single-byte text).
template <typename Visit> void EachCharacter(const std::string& text, bool unicode, Visit visit) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        unsigned long c = b;
        if (unicode && b >= 0xC0) {
            length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            c = b & (0x3F >> (length - 1));
            for (size_t k = 1; k < length; ++k) {
                if (i + k >= text.size()) {
                    length = k;
                    break;
                }
                c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
        }
        visit(i, length, unicode && IsWide(c) ? size_t{2} : size_t{1});
        i += length;
    }
}

size_t ColumnsOf(const std::string& text, bool unicode) {
    size_t columns = 0;
    EachCharacter(text, unicode, [&](size_t, size_t, size_t w) { columns += w; });
    return columns;
}

// The text cut to at most `columns` columns, ending with an ellipsis when
// it was cut.
std::string Shorten(const std::string& text, size_t columns, bool unicode) {
    if (ColumnsOf(text, unicode) <= columns) {
        return text;
    }
    const std::string ellipsis = unicode ? "\u2026" : "...";
    const size_t mark = unicode ? 1 : 3;
    if (columns < mark) {
        return std::string(columns, '.');
    }
    size_t used = 0, end = 0;
    EachCharacter(text, unicode, [&](size_t start, size_t length, size_t w) {
        if (end == start && used + w + mark <= columns) {
            used += w;
            end = start + length;
        }
    });
    return text.substr(0, end) + ellipsis;
}

std::string Fixed(double value, int decimals) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("?");
}

long Percent(long value, long maximum) {
    if (maximum <= 0 || value <= 0) {
        return 0;
    }
    if (value >= maximum) {
        return 100;
    }
    return static_cast<long>(static_cast<long long>(value) * 100 / maximum);
}

std::string BarText(long value, long maximum, size_t width, bool unicode) {
    const size_t inner = width - 2;
    const double fraction =
        maximum > 0 ? std::clamp(static_cast<double>(value) / maximum, 0.0, 1.0) : 0.0;
    const double cells = fraction * static_cast<double>(inner);
    size_t full = std::min(inner, static_cast<size_t>(cells));
    std::string out = "[";
    if (unicode) {
        const int eighths = full < inner ? static_cast<int>((cells - full) * 8.0) : 0;
        for (size_t i = 0; i < full; ++i) {
            out += "\u2588";
        }
        if (eighths > 0) {
            AppendUtf8(out, 0x2590 - eighths); // U+258F (one eighth) .. U+2589 (seven)
            ++full;
        }
    } else {
        out.append(full, '#');
    }
    out.append(inner - full, ' ');
    return out + "]";
}

std::string UnitRate(const BarLine& bar, double perSecond) {
    std::string text = RateText(perSecond);
    if (bar.unit == "frames") {
        text += " fps";
    } else if (!bar.unit.empty()) {
        text += " " + bar.unit + "/s";
    } else {
        text += "/s";
    }
    if (bar.bytesPerStep > 0.0) {
        const double bytes = perSecond * bar.bytesPerStep;
        text += ", " + (bytes >= 1e6   ? RateText(bytes / 1e6) + " MB/s"
                        : bytes >= 1e3 ? RateText(bytes / 1e3) + " kB/s"
                                       : RateText(bytes) + " B/s");
    }
    return text;
}

std::string CaptionAndStatus(const BarLine& bar, bool unicode) {
    std::string text = Encode(bar.caption, unicode);
    if (!bar.status.empty()) {
        text += (text.empty() ? "" : " - ") + Encode(bar.status, unicode);
    }
    return text;
}

} // namespace

size_t Columns(const std::string& utf8) {
    return ColumnsOf(utf8, true);
}

std::string DurationText(double seconds) {
    if (!(seconds > 0.0)) {
        seconds = 0.0;
    }
    if (seconds < 9.995) {
        return Fixed(seconds, 2) + " s";
    }
    if (seconds < 59.95) {
        return Fixed(seconds, 1) + " s";
    }
    const long long whole = std::llround(std::min(seconds, 3.6e12));
    char buffer[64];
    if (whole < 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld min %02lld s", whole / 60, whole % 60);
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld h %02lld min", whole / 3600, whole / 60 % 60);
    }
    return buffer;
}

std::string TimeLeftText(double seconds) {
    const long long whole =
        seconds > 0.0 ? static_cast<long long>(std::ceil(std::min(seconds, 3.6e12))) : 0;
    char buffer[64];
    if (whole < 60) {
        std::snprintf(buffer, sizeof buffer, "%lld s", whole);
    } else if (whole < 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld min %02lld s", whole / 60, whole % 60);
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld h %02lld min", whole / 3600, whole / 60 % 60);
    }
    return buffer;
}

std::string RateText(double perSecond) {
    if (!(perSecond > 0.0)) {
        return "0";
    }
    if (perSecond >= 99.5) {
        return Fixed(perSecond, 0);
    }
    if (perSecond >= 9.995) {
        return Fixed(perSecond, 1);
    }
    return Fixed(perSecond, 2);
}

std::string LiveLine(const BarLine& bar, const LineStyle& style, size_t* textColumns) {
    const bool unicode = style.unicode;
    const size_t avail = static_cast<size_t>(std::max(style.width - 1, 1));
    const std::string text = CaptionAndStatus(bar, unicode);
    const size_t textWidth = ColumnsOf(text, unicode);
    const size_t pad = textColumns && *textColumns > textWidth ? *textColumns - textWidth : 0;
    if (textColumns) {
        *textColumns = std::max(*textColumns, textWidth);
    }

    const bool counted = bar.maximum > 0;
    const std::string percent = counted
                                    ? (std::string(Percent(bar.value, bar.maximum) < 10    ? "  "
                                                   : Percent(bar.value, bar.maximum) < 100 ? " "
                                                                                           : "") +
                                       std::to_string(Percent(bar.value, bar.maximum)) + "%")
                                    : "";
    const bool timed = bar.seconds >= 1.0;
    const bool rated = bar.even && bar.rated && timed && bar.value > 0;
    const double perSecond = rated ? bar.value / bar.seconds : 0.0;
    const std::string rate = rated ? UnitRate(bar, perSecond) : "";
    std::string tail;
    if (timed && rated && bar.value < bar.maximum) {
        tail = TimeLeftText((bar.maximum - bar.value) / perSecond) + " left";
    } else if (timed) {
        tail = DurationText(bar.seconds); // no estimate: the time so far
    }

    // Drop the rate first, then the bar, then the time.
    struct Layout {
        bool rate, bar, tail;
    };
    for (const Layout layout : {Layout{true, true, true}, Layout{false, true, true},
                                Layout{false, false, true}, Layout{false, false, false}}) {
        const bool withRate = layout.rate && !rate.empty();
        const bool withBar = layout.bar && counted;
        const bool withTail = layout.tail && !tail.empty();
        size_t need = textWidth;
        if (withBar) {
            need += 2 + kMinBar;
        }
        if (counted) {
            need += (withBar ? 1 : 2) + percent.size();
        }
        if (withRate) {
            need += 2 + ColumnsOf(rate, unicode);
        }
        if (withTail) {
            need += 2 + tail.size();
        }
        if (need > avail) {
            continue;
        }
        // The padding first, so that the bar keeps its place and its width;
        // then the bar grows into what is left.
        const size_t padding = std::min(pad, avail - need);
        const size_t barWidth = withBar ? std::min(kMaxBar, kMinBar + (avail - need - padding)) : 0;
        std::string line = text + std::string(padding, ' ');
        if (withBar) {
            line += "  " + BarText(bar.value, bar.maximum, barWidth, unicode) + " " + percent;
        } else if (counted) {
            line += "  " + percent;
        }
        if (withRate) {
            line += "  " + rate;
        }
        if (withTail) {
            line += "  " + tail;
        }
        return line;
    }
    // Not even the text and the percentage fit: shorten the text.
    const size_t keep = counted ? 2 + percent.size() : 0;
    if (avail <= keep + 1) {
        return Shorten(counted ? percent : text, avail, unicode);
    }
    return Shorten(text, avail - keep, unicode) + (counted ? "  " + percent : "");
}

std::string EndLine(const BarLine& bar, bool unicode) {
    std::string line = Encode(bar.caption.empty() ? bar.status : bar.caption, unicode);
    line = (line.empty() ? "Progress" : line) + ": ";
    const std::string took = DurationText(bar.seconds);
    if (!bar.even || bar.maximum <= 0) {
        return line + "done in " + took; // its value cannot tell whether it stopped short
    }
    std::string count = std::to_string(bar.value) + " of " + std::to_string(bar.maximum);
    if (!bar.unit.empty()) {
        count += " " + bar.unit;
    }
    count += " (" + std::to_string(Percent(bar.value, bar.maximum)) + "%)";
    if (bar.cancelled) {
        return line + "cancelled at " + count + " after " + took;
    }
    line += count + " in " + took;
    if (bar.seconds >= 1.0 && bar.value > 0) {
        line += ", " + UnitRate(bar, bar.value / bar.seconds);
    }
    return line;
}

} // namespace ui
} // namespace host
