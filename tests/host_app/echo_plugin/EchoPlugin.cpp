// A test plug-in: registers the command "Echo", which logs every argument it
// receives (name, type, text), drives a progress bar for Count steps, sets a
// return value and returns the status that its Status argument names.
// It also logs an error whenever the host accepts what it must refuse: a
// command or an argument declared twice, a command registered after loading,
// an argument declared after the init entry.
#include <xsi_application.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_pluginexport.h>
#include <xsi_pluginregistrar.h>

#include <string>

using namespace XSI;

namespace {

PluginRegistrar g_registrar;

void Refused(bool refused, const wchar_t* what) {
    if (!refused) {
        Application().LogMessage(CString(L"Echo was allowed to ") + what, siErrorMsg);
    }
}

} // namespace

XSIPLUGINCALLBACK CStatus XSILoadPlugin(PluginRegistrar& in_reg) {
    in_reg.PutAuthor(L"Host tests");
    in_reg.PutName(L"Echo Plug-in");
    in_reg.PutVersion(2, 7);
    in_reg.RegisterCommand(L"Echo", L"Echo");
    Refused(!in_reg.RegisterCommand(L"Echo", L"Echo").IsValid(), L"register twice");
    g_registrar = in_reg;
    return CStatus::OK;
}

XSIPLUGINCALLBACK CStatus Echo_Init(CRef& in_ctxt) {
    Command cmd(Context(in_ctxt).GetSource());
    cmd.EnableReturnValue(true);
    ArgumentArray args = cmd.GetArguments();
    args.Add(L"Text");
    args.Add(L"Count", CValue(static_cast<LONG>(2)));
    args.Add(L"Flag", CValue(false));
    args.Add(L"Status");
    Refused(args.Add(L"Text") == CStatus::InvalidArgument, L"declare Text twice");
    return CStatus::OK;
}

XSIPLUGINCALLBACK CStatus Echo_Execute(CRef& in_ctxt) {
    Application app;
    Context ctxt(in_ctxt);
    ArgumentArray declared = Command(ctxt.GetSource()).GetArguments();
    Refused(declared.Add(L"Late") == CStatus::AccessDenied, L"declare an argument late");
    Refused(!g_registrar.RegisterCommand(L"Late", L"Late").IsValid(), L"register late");

    CValueArray args = ctxt.GetAttribute(L"Arguments");
    for (LONG i = 0; i < args.GetCount(); ++i) {
        const CValue::DataType t = args[i].GetType();
        const wchar_t* type = t == CValue::siEmpty  ? L"empty"
                              : t == CValue::siInt4 ? L"int"
                              : t == CValue::siBool ? L"bool"
                                                    : L"text";
        app.LogMessage(CString(L"Echo ") + declared.GetItem(i).GetName() + L" " + type + L" [" +
                       args[i].GetAsText() + L"]");
    }
    if (static_cast<bool>(args[2])) {
        app.LogMessage(L"Echo flag is set", siWarningMsg);
    }

    ProgressBar bar = app.GetUIToolkit().GetProgressBar();
    bar.PutMaximum(static_cast<LONG>(args[1]));
    bar.PutCaption(L"Echoing");
    bar.PutVisible(true);
    LONG steps = 0;
    for (; bar.GetValue() < bar.GetMaximum() && !bar.IsCancelPressed(); ++steps) {
        bar.Increment();
    }
    bar.PutVisible(false);

    CString stepsText;
    stepsText.PutAsciiString(std::to_string(steps).c_str());
    ctxt.PutAttribute(L"ReturnValue", CValue(CString(L"steps ") + stepsText));
    const CString status = args[3].GetAsText();
    return status == L"invalid"      ? CStatus::InvalidArgument
           : status == L"unexpected" ? CStatus::Unexpected
                                     : CStatus::OK;
}
