#include "RunArguments.h"

#include "Subcommands.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace xsihost {

namespace {

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

// The length of the NAME in a NAME=VALUE text; 0 when the text is not one.
size_t NameLength(const std::string& text) {
    if (text.empty() || !IsNameStart(text[0])) {
        return 0;
    }
    size_t i = 1;
    while (i < text.size() && IsNameChar(text[i])) {
        ++i;
    }
    return i < text.size() && text[i] == '=' ? i : 0;
}

} // namespace

XSI::CValue ParseArgumentValue(const std::string& text) {
    size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    bool digits = i < text.size();
    for (size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') {
            digits = false;
        }
    }
    if (digits) {
        errno = 0;
        long long v = std::strtoll(text.c_str(), nullptr, 10);
        if (errno == 0 && v >= INT_MIN && v <= INT_MAX) {
            return XSI::CValue(static_cast<XSI::LONG>(v));
        }
    }
    if (text == "true") {
        return XSI::CValue(true);
    }
    if (text == "false") {
        return XSI::CValue(false);
    }
    return XSI::CValue(XSI::CString(Widen(text).c_str()));
}

XSI::CValueArray MapArguments(const std::string& command, const host::CommandSignature& signature,
                              const std::vector<std::string>& args) {
    XSI::CValueArray values;
    if (!signature.declared) {
        for (const std::string& arg : args) {
            values.Add(ParseArgumentValue(arg));
        }
        return values;
    }

    const std::vector<std::wstring>& names = signature.argumentNames;
    std::vector<bool> filled(names.size(), false);
    values.Resize(static_cast<XSI::LONG>(names.size()));
    for (size_t i = 0; i < names.size() && i < signature.argumentDefaults.size(); ++i) {
        values[static_cast<XSI::LONG>(i)] = signature.argumentDefaults[i];
    }

    size_t next = 0; // the first argument that may not be filled yet
    for (const std::string& arg : args) {
        size_t nameLength = NameLength(arg);
        if (nameLength > 0) {
            std::string name = arg.substr(0, nameLength);
            std::wstring wide = Widen(name);
            size_t index = 0;
            while (index < names.size() && names[index] != wide) {
                ++index;
            }
            if (index == names.size()) {
                throw UsageError("command \"" + command + "\" has no argument \"" + name + "\"");
            }
            if (filled[index]) {
                throw UsageError("argument \"" + name + "\" of command \"" + command +
                                 "\" is given twice");
            }
            values[static_cast<XSI::LONG>(index)] = ParseArgumentValue(arg.substr(nameLength + 1));
            filled[index] = true;
            continue;
        }
        while (next < names.size() && filled[next]) {
            ++next;
        }
        if (next == names.size()) {
            throw UsageError("too many values for command \"" + command + "\" (it takes " +
                             std::to_string(names.size()) + " arguments)");
        }
        values[static_cast<XSI::LONG>(next)] = ParseArgumentValue(arg);
        filled[next] = true;
    }
    return values;
}

} // namespace xsihost
