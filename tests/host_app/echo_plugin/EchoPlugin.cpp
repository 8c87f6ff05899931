// A test plug-in: registers the command "Echo", which logs every argument it
// receives (name, type, text), drives a progress bar for Count steps, sets a
// return value and returns the status that its Status argument names.
#include <xsi_application.h>
#include <xsi_argument.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_pluginexport.h>
#include <xsi_pluginregistrar.h>
#include <xsi_progressbar.h>
#include <xsi_status.h>
#include <xsi_uitoolkit.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <string>

using namespace XSI;

namespace {

const wchar_t* TypeName(const CValue& v) {
    switch (v.GetType()) {
    case CValue::siEmpty:
        return L"empty";
    case CValue::siBool:
        return L"bool";
    case CValue::siInt2:
    case CValue::siInt4:
        return L"int";
    case CValue::siFloat:
    case CValue::siDouble:
        return L"number";
    case CValue::siString:
        return L"text";
    default:
        return L"other";
    }
}

CStatus StatusNamed(const CString& name) {
    if (name == L"invalid") {
        return CStatus::InvalidArgument;
    }
    if (name == L"fail") {
        return CStatus::Fail;
    }
    if (name == L"unexpected") {
        return CStatus::Unexpected;
    }
    return CStatus::OK;
}

} // namespace

XSIPLUGINCALLBACK CStatus XSILoadPlugin(PluginRegistrar& in_reg) {
    in_reg.PutAuthor(L"Host tests");
    in_reg.PutName(L"Echo Plug-in");
    in_reg.PutVersion(2, 7);
    in_reg.RegisterCommand(L"Echo", L"Echo");
    return CStatus::OK;
}

XSIPLUGINCALLBACK CStatus Echo_Init(CRef& in_ctxt) {
    Context ctxt(in_ctxt);
    Command cmd(ctxt.GetSource());
    cmd.EnableReturnValue(true);
    ArgumentArray args = cmd.GetArguments();
    args.Add(L"Text");
    args.Add(L"Count", CValue(static_cast<LONG>(2)));
    args.Add(L"Flag");
    args.Add(L"Status");
    return CStatus::OK;
}

XSIPLUGINCALLBACK CStatus Echo_Execute(CRef& in_ctxt) {
    Application app;
    Context ctxt(in_ctxt);
    Command cmd(ctxt.GetSource());
    ArgumentArray declared = cmd.GetArguments();
    CValueArray args = ctxt.GetAttribute(L"Arguments");

    for (LONG i = 0; i < args.GetCount(); ++i) {
        app.LogMessage(CString(L"Echo ") + declared.GetItem(i).GetName() + L" " +
                       TypeName(args[i]) + L" [" + args[i].GetAsText() + L"]");
    }
    if (static_cast<bool>(args[2])) {
        app.LogMessage(L"Echo flag is set", siWarningMsg);
    }

    ProgressBar bar = app.GetUIToolkit().GetProgressBar();
    bar.PutMaximum(static_cast<LONG>(args[1]));
    bar.PutCaption(L"Echoing");
    bar.PutVisible(true);
    LONG steps = 0;
    while (bar.GetValue() < bar.GetMaximum()) {
        if (bar.IsCancelPressed()) {
            app.LogMessage(L"Echo cancelled", siWarningMsg);
            break;
        }
        bar.Increment();
        ++steps;
    }
    bar.PutVisible(false);

    CString steps_text;
    steps_text.PutAsciiString(std::to_string(steps).c_str());
    ctxt.PutAttribute(L"ReturnValue", CValue(CString(L"steps ") + steps_text));
    return StatusNamed(args[3].GetAsText());
}
