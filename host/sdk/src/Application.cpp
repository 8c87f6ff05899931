// Application and UIToolkit: the SDK's view of the running host.
#include <xsi_application.h>
#include <xsi_uitoolkit.h>

#include "host/app/HostApp.h"

namespace XSI {

Application::Application() : SIObject(CRef::FromHost(siApplicationID, &host::HostApp::Get())) {}

CStatus Application::LogMessage(const CString& in_message, siSeverityType in_severity) const {
    host::HostApp::Get().Log(in_message, in_severity);
    return CStatus::OK;
}

CStatus Application::ExecuteCommand(const CString& in_name, const CValueArray& in_args,
                                    CValue& io_return) const {
    return host::HostApp::Get().ExecuteCommand(in_name, in_args, io_return);
}

Selection Application::GetSelection() const {
    CRefArray items;
    for (const CRef& ref : host::HostApp::Get().GetSelection()) {
        items.Add(ref);
    }
    return Selection(items);
}

UIToolkit Application::GetUIToolkit() const {
    return UIToolkit();
}

ProgressBar UIToolkit::GetProgressBar() const {
    return ProgressBar(host::HostApp::Get().NewProgressBar());
}

} // namespace XSI
