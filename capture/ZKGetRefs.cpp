// Resolving the names of the object list to scene items through the host's
// own "SelectObj" command, and counting the items of each kind.
#include "capture/ZK_Capture.h"

#include <xsi_application.h>
#include <xsi_selection.h>
#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

ZK_ItemKind ZK_KindOf(const XSI::CRef& ref) {
    switch (ref.GetClassID()) {
    case XSI::siCameraID:
        return ZK_KIND_CAMERA;
    case XSI::siLightID:
        return ZK_KIND_LIGHT;
    case XSI::siX3DObjectID:
        return ZK_KIND_OBJECT;
    default:
        return ZK_KIND_NULL;
    }
}

XSI::CRef ZK_SelectByName(const char* name) {
    // Each byte becomes one wide character of the same value. The bytes are
    // read unsigned, so that a Latin-1 name narrowed from the command's text
    // widens back to the same characters.
    wchar_t wide[ZK_TEXT_SIZE + 1];
    int length = 0;
    while (length < ZK_TEXT_SIZE - 1 && name[length] != '\0') {
        wide[length] = static_cast<wchar_t>(static_cast<unsigned char>(name[length]));
        ++length;
    }
    wide[length] = L'\0';

    XSI::CValueArray args(1);
    args[0] = XSI::CValue(XSI::CString(wide));
    XSI::CValue result;
    XSI::Application app;
    app.ExecuteCommand(L"SelectObj", args, result);
    return app.GetSelection().GetItem(0);
}

void ZKGetRefs(int nameCount, char (*names)[ZK_TEXT_SIZE], XSI::CRef* refs, ScCtrl* ctrl) {
    for (int i = 0; i < nameCount; ++i) {
        refs[i] = ZK_SelectByName(names[i]);
        switch (ZK_KindOf(refs[i])) {
        case ZK_KIND_CAMERA:
            ++ctrl->cameraCount;
            break;
        case ZK_KIND_LIGHT:
            ++ctrl->lightCount;
            break;
        case ZK_KIND_OBJECT:
            ++ctrl->objectCount;
            break;
        case ZK_KIND_NULL:
            ++ctrl->nullCount;
            break;
        }
    }
}
