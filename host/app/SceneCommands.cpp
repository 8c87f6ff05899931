#include "host/app/SceneCommands.h"

#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/scene/ModelFile.h"
#include "host/scene/Scene.h"

#include <string>

namespace host {

namespace {
XSI::CString Wide(const std::wstring& s) {
    return XSI::CString(s.c_str());
}

std::wstring Widen(const std::string& s) {
    std::wstring w;
    w.reserve(s.size());
    for (unsigned char c : s) {
        w.push_back(static_cast<wchar_t>(c));
    }
    return w;
}

// The scene item an argument names: a reference to an item of the scene, or
// a name (exact full name, else a unique short name).
Item* ResolveItem(const HostApp& app, const XSI::CValue& arg, std::wstring* text) {
    Scene* scene = app.GetScene();
    if (arg.GetType() == XSI::CValue::siRef) {
        const XSI::CRef ref = arg;
        *text = ref.GetAsText().GetWideString();
        if (scene) {
            for (int i = 0; i < scene->ItemCount(); ++i) {
                Item* item = scene->GetItem(i);
                if (host::RefOf(item) == ref) {
                    return item;
                }
            }
        }
        return nullptr;
    }
    *text = arg.GetAsText().GetWideString();
    return scene ? scene->FindItem(*text) : nullptr;
}

XSI::CStatus SelectObj(HostApp& app, const XSI::CValueArray& args) {
    std::wstring text;
    Item* item = args.GetCount() > 0 ? ResolveItem(app, args[0], &text) : nullptr;
    if (!item) {
        app.SetSelection({});
        app.Log(Wide(L"SelectObj: no object matches \"" + text + L"\""), XSI::siWarningMsg);
        return XSI::CStatus::InvalidArgument;
    }
    app.SetSelection({host::RefOf(item)});
    return XSI::CStatus::OK;
}

XSI::CStatus ExportModel(HostApp& app, const XSI::CValueArray& args) {
    std::wstring text;
    Item* item = args.GetCount() > 0 ? ResolveItem(app, args[0], &text) : nullptr;
    if (!item) {
        app.Log(Wide(L"ExportModel: no object matches \"" + text + L"\""), XSI::siErrorMsg);
        return XSI::CStatus::InvalidArgument;
    }
    if (!item->GetMesh()) {
        app.Log(Wide(L"ExportModel: " + item->GetFullName() + L" is not a polygon mesh"),
                XSI::siErrorMsg);
        return XSI::CStatus::InvalidArgument;
    }
    const XSI::CString path = args.GetCount() > 1 ? args[1].GetAsText() : XSI::CString();
    if (path.IsEmpty()) {
        app.Log(Wide(L"ExportModel: no file name given for " + item->GetFullName()),
                XSI::siErrorMsg);
        return XSI::CStatus::InvalidArgument;
    }
    const std::string narrow = path.GetAsciiString();
    std::string error;
    // A host that hides points (SceneState::HidePoints) writes the mesh as
    // the SDK shows it: without points.
    if (!WriteModelFile(*item, app.GetCurrentFrame(), narrow, &error,
                        app.Scenes().PointsHidden())) {
        app.Log(Wide(L"ExportModel: " + Widen(narrow) + L": " + Widen(error)), XSI::siErrorMsg);
        return XSI::CStatus::Fail;
    }
    return XSI::CStatus::OK;
}
} // namespace

void RegisterSceneCommands(HostApp& app) {
    HostApp* a = &app;
    app.RegisterHostCommand(L"SelectObj", [a](const XSI::CValueArray& args, XSI::CValue&) {
        return SelectObj(*a, args);
    });
    app.RegisterHostCommand(L"ExportModel", [a](const XSI::CValueArray& args, XSI::CValue&) {
        return ExportModel(*a, args);
    });
}

} // namespace host
