// A test plug-in that registers "ZK_XSI_Baker" with the real command's 28
// arguments but bakes nothing: it writes only the header of each named
// item's point cache and returns OK. xsihost bake must not take that OK for
// a bake. Its argument names are the baker's own.
#include "command/ZK_Settings.h"

#include <xsi_application.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_pluginexport.h>
#include <xsi_pluginregistrar.h>

#include <cstdio>
#include <string>

using namespace XSI;

namespace {

void PutBig(std::FILE* f, unsigned v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v >> 24),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    std::fwrite(b, 1, 4, f);
}

} // namespace

XSIPLUGINCALLBACK CStatus XSILoadPlugin(PluginRegistrar& in_reg) {
    in_reg.PutAuthor(L"Host tests");
    in_reg.PutName(L"Hollow Baker");
    in_reg.PutVersion(1, 0);
    in_reg.RegisterCommand(L"ZK_XSI_Baker", L"ZK_XSI_Baker");
    return CStatus::OK;
}

XSIPLUGINCALLBACK CStatus ZK_XSI_Baker_Init(CRef& in_ctxt) {
    ArgumentArray args = Command(Context(in_ctxt).GetSource()).GetArguments();
    for (const wchar_t* name : kArgNames) {
        args.Add(name, CValue());
    }
    return CStatus::OK;
}

// One item (no commas in the list): its cache's header and time table, no
// frame block.
XSIPLUGINCALLBACK CStatus ZK_XSI_Baker_Execute(CRef& in_ctxt) {
    const CValueArray args = Context(in_ctxt).GetAttribute(L"Arguments");
    const std::string path = std::string(args[1].GetAsText().GetAsciiString()) + "/" +
                             args[4].GetAsText().GetAsciiString() +
                             args[0].GetAsText().GetAsciiString() + ".mdd";
    const long frames = static_cast<LONG>(args[3]) - static_cast<LONG>(args[2]) + 1;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        PutBig(f, static_cast<unsigned>(frames));
        PutBig(f, 8);
        for (long i = 0; i < frames; ++i) {
            PutBig(f, 0);
        }
        std::fclose(f);
    }
    return CStatus::OK;
}
