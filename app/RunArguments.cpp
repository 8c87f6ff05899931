#include "RunArguments.h"

#include "Subcommands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace xsihost {

const BakerArgument kBakerArguments[28] = {
    {"ZK_ObjString", ArgumentKind::Text},     {"ZK_FilePath", ArgumentKind::Text},
    {"ZK_StartFrame", ArgumentKind::Integer}, {"ZK_EndFrame", ArgumentKind::Integer},
    {"ZK_ObjPreFix", ArgumentKind::Text},     {"ZK_MDDAct", ArgumentKind::Switch},
    {"ZK_LWOAct", ArgumentKind::Switch},      {"ZK_LWOString", ArgumentKind::Text},
    {"ZK_EMDLAct", ArgumentKind::Switch},     {"ZK_EMDLString", ArgumentKind::Text},
    {"ZK_LWSAct", ArgumentKind::Switch},      {"ZK_LWSString", ArgumentKind::Text},
    {"ZK_MELAct", ArgumentKind::Switch},      {"ZK_MELString", ArgumentKind::Text},
    {"ZK_FXSAct", ArgumentKind::Switch},      {"ZK_FXSString", ArgumentKind::Text},
    {"ZK_XSIAct", ArgumentKind::Switch},      {"ZK_XSIString", ArgumentKind::Text},
    {"ZK_MAXAct", ArgumentKind::Switch},      {"ZK_MAXString", ArgumentKind::Text},
    {"ZK_MOTAct", ArgumentKind::Switch},      {"ZK_MOTSep", ArgumentKind::Switch},
    {"ZK_MOTString", ArgumentKind::Text},     {"ZK_CAMAct", ArgumentKind::Switch},
    {"ZK_LIGHTAct", ArgumentKind::Switch},    {"ZK_NULLAct", ArgumentKind::Switch},
    {"ZK_OBJECTAct", ArgumentKind::Switch},   {"ZK_LOCALSPACE", ArgumentKind::Integer},
};

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

// The text without one leading '+' (from_chars takes only '-').
const char* SkipPlus(const std::string& text) {
    const char* first = text.c_str();
    return (text.size() > 1 && text[0] == '+' && text[1] != '-') ? first + 1 : first;
}

bool ReadInteger(const std::string& text, XSI::LONG* out) {
    const char* first = SkipPlus(text);
    const char* last = text.c_str() + text.size();
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || end != last || first == last) {
        return false;
    }
    *out = static_cast<XSI::LONG>(value);
    return true;
}

// A finite number in plain or exponent notation, the same in every locale.
bool ReadNumber(const std::string& text, double* out) {
    const char* first = SkipPlus(text);
    const char* last = text.c_str() + text.size();
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || end != last || first == last || !std::isfinite(value)) {
        return false;
    }
    *out = value;
    return true;
}

bool ReadSwitch(const std::string& text, bool* out) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    for (const char* word : {"true", "1", "yes", "on"}) {
        if (lower == word) {
            *out = true;
            return true;
        }
    }
    for (const char* word : {"false", "0", "no", "off"}) {
        if (lower == word) {
            *out = false;
            return true;
        }
    }
    return false;
}

XSI::CValue TextValue(const std::string& text) {
    return XSI::CValue(XSI::CString(Widen(text).c_str()));
}

} // namespace

const char* DescribeKind(ArgumentKind kind) {
    switch (kind) {
    case ArgumentKind::Switch:
        return "a switch (true/false, 1/0, yes/no, on/off)";
    case ArgumentKind::Integer:
        return "a whole number";
    case ArgumentKind::Number:
        return "a finite number";
    case ArgumentKind::Text:
        return "text";
    case ArgumentKind::Any:
        break;
    }
    return "any value";
}

ArgumentKind KindOfDefault(const XSI::CValue& value) {
    switch (value.GetType()) {
    case XSI::CValue::siBool:
        return ArgumentKind::Switch;
    case XSI::CValue::siInt2:
    case XSI::CValue::siInt4:
        return ArgumentKind::Integer;
    case XSI::CValue::siFloat:
    case XSI::CValue::siDouble:
        return ArgumentKind::Number;
    case XSI::CValue::siString:
        return ArgumentKind::Text;
    default:
        return ArgumentKind::Any;
    }
}

std::vector<ArgumentKind> ArgumentKinds(const std::string& command,
                                        const host::CommandSignature& signature) {
    std::vector<ArgumentKind> kinds(signature.argumentNames.size(), ArgumentKind::Any);
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (i < signature.argumentDefaults.size()) {
            kinds[i] = KindOfDefault(signature.argumentDefaults[i]);
        }
        if (kinds[i] != ArgumentKind::Any || command != "ZK_XSI_Baker") {
            continue;
        }
        for (const BakerArgument& known : kBakerArguments) {
            if (signature.argumentNames[i] == Widen(known.name)) {
                kinds[i] = known.kind;
            }
        }
    }
    return kinds;
}

bool ConvertArgumentValue(const std::string& text, ArgumentKind kind, XSI::CValue* out) {
    switch (kind) {
    case ArgumentKind::Switch: {
        bool on = false;
        if (!ReadSwitch(text, &on)) {
            return false;
        }
        *out = XSI::CValue(on);
        return true;
    }
    case ArgumentKind::Integer: {
        XSI::LONG value = 0;
        if (!ReadInteger(text, &value)) {
            return false;
        }
        *out = XSI::CValue(value);
        return true;
    }
    case ArgumentKind::Number: {
        double value = 0.0;
        if (!ReadNumber(text, &value)) {
            return false;
        }
        *out = XSI::CValue(value);
        return true;
    }
    case ArgumentKind::Text:
        *out = TextValue(text);
        return true;
    case ArgumentKind::Any:
        break;
    }
    *out = ParseArgumentValue(text);
    return true;
}

XSI::CValue ParseArgumentValue(const std::string& text) {
    XSI::LONG value = 0;
    if (ReadInteger(text, &value)) {
        return XSI::CValue(value);
    }
    if (text == "true" || text == "false") {
        return XSI::CValue(text == "true");
    }
    return TextValue(text);
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
    const std::vector<ArgumentKind> kinds = ArgumentKinds(command, signature);
    std::vector<bool> filled(names.size(), false);
    values.Resize(static_cast<XSI::LONG>(names.size()));
    for (size_t i = 0; i < names.size() && i < signature.argumentDefaults.size(); ++i) {
        values[static_cast<XSI::LONG>(i)] = signature.argumentDefaults[i];
    }
    auto fill = [&](size_t index, const std::string& text) {
        if (!ConvertArgumentValue(text, kinds[index], &values[static_cast<XSI::LONG>(index)])) {
            throw UsageError("argument \"" + Narrow(names[index]) + "\" of command \"" + command +
                             "\" takes " + DescribeKind(kinds[index]) + ", not " + Quote(text));
        }
        filled[index] = true;
    };

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
            fill(index, arg.substr(nameLength + 1));
            continue;
        }
        while (next < names.size() && filled[next]) {
            ++next;
        }
        if (next == names.size()) {
            throw UsageError("too many values for command \"" + command + "\" (it takes " +
                             std::to_string(names.size()) + " arguments)");
        }
        fill(next, arg);
    }
    return values;
}

} // namespace xsihost
