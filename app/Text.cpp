// Text helpers of xsihost, apart from the scene and plug-in code so that the
// argument conversions (RunArguments.cpp) link with them alone.
#include "Subcommands.h"

#include <cstdio>

namespace xsihost {

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::wstring Widen(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (char c : text) {
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        out.push_back(static_cast<char>(static_cast<unsigned char>(c & 0xFF)));
    }
    return out;
}

} // namespace xsihost
