#include "Output.h"

#include "host/ui/Utf8.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace xsihost {

namespace {

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(const std::string& bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        size_t length;
        unsigned long c;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
            (length == 4 && (c < 0x10000 || c > 0x10FFFF))) {
            return false;
        }
        i += length;
    }
    return true;
}

} // namespace

namespace {

// The first error a write to stdout met (an errno value), 0 while none did;
// whether it was said on stderr.
int g_writeError = 0;
bool g_said = false;

void Note(int error) {
    if (g_writeError == 0) {
        g_writeError = error != 0 ? error : EIO;
    }
}

} // namespace

void Print(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
        Note(errno);
    }
}

std::ostream& Out() {
    return std::cout;
}

void PrintJson(const nlohmann::ordered_json& document) {
    Print(document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

bool FinishOutput() {
    std::cout.flush();
    if (std::cout.bad()) {
        Note(errno);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Note(errno);
    }
    if (g_writeError != 0 && !g_said) {
        g_said = true;
        std::fprintf(stderr, "xsihost: cannot write to standard output: %s\n",
                     std::strerror(g_writeError));
    }
    return g_writeError == 0;
}

std::string JsonText(const std::string& bytes) {
    if (IsUtf8(bytes)) {
        return bytes;
    }
    std::string out;
    for (char c : bytes) {
        host::ui::AppendUtf8(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::string JsonText(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        host::ui::AppendUtf8(out, static_cast<unsigned long>(c));
    }
    return out;
}

} // namespace xsihost
