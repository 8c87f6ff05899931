// How `xsihost run` maps its ARG texts onto a command's arguments, and the
// conversions of the values it makes. The input's first line declares the
// argument names (comma-separated; none: a command without names), each
// further line is one ARG.
#include "RunArguments.h"
#include "Subcommands.h"

#include <xsi_string.h>
#include <xsi_value.h>

#include <string>
#include <vector>

namespace {

void Convert(const XSI::CValue& v) {
    static_cast<void>(static_cast<bool>(v));
    static_cast<void>(static_cast<short>(v));
    static_cast<void>(static_cast<XSI::LONG>(v));
    static_cast<void>(static_cast<float>(v));
    static_cast<void>(static_cast<double>(v));
    static_cast<void>(static_cast<XSI::CString>(v).GetAsciiString());
    static_cast<void>(v.GetAsText().GetAsciiString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n') {
            lines.emplace_back();
        } else {
            lines.back().push_back(c);
        }
    }
    host::CommandSignature signature;
    signature.declared = !lines[0].empty();
    std::wstring name;
    for (size_t i = 0; i <= lines[0].size(); ++i) {
        if (i == lines[0].size() || lines[0][i] == ',') {
            signature.argumentNames.push_back(name);
            signature.argumentDefaults.push_back(XSI::CValue(static_cast<XSI::LONG>(i)));
            name.clear();
        } else {
            name.push_back(static_cast<unsigned char>(lines[0][i]));
        }
    }
    const std::vector<std::string> args(lines.begin() + 1, lines.end());
    for (const std::string& arg : args) {
        Convert(xsihost::ParseArgumentValue(arg));
    }
    try {
        const XSI::CValueArray values = xsihost::MapArguments("Fuzz", signature, args);
        for (XSI::LONG i = 0; i < values.GetCount(); ++i) {
            Convert(values[i]);
        }
    } catch (const xsihost::UsageError&) {
    }
    return 0;
}
