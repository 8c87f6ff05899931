#include "command/ZK_Settings.h"

const wchar_t* const kArgNames[ZK_ArgCount] = {
    L"ZK_ObjString", L"ZK_FilePath",  L"ZK_StartFrame", L"ZK_EndFrame",  L"ZK_ObjPreFix",
    L"ZK_MDDAct",    L"ZK_LWOAct",    L"ZK_LWOString",  L"ZK_EMDLAct",   L"ZK_EMDLString",
    L"ZK_LWSAct",    L"ZK_LWSString", L"ZK_MELAct",     L"ZK_MELString", L"ZK_FXSAct",
    L"ZK_FXSString", L"ZK_XSIAct",    L"ZK_XSIString",  L"ZK_MAXAct",    L"ZK_MAXString",
    L"ZK_MOTAct",    L"ZK_MOTSep",    L"ZK_MOTString",  L"ZK_CAMAct",    L"ZK_LIGHTAct",
    L"ZK_NULLAct",   L"ZK_OBJECTAct", L"ZK_LOCALSPACE"};

const PathRow kPathRows[kPathSlots] = {
    {ZK_MDDAct, ZK_FilePath, ZK_PATH_FOLDER, "MDD"},
    {ZK_LWOAct, ZK_LWOString, ZK_PATH_FOLDER, "LWO"},
    {ZK_EMDLAct, ZK_EMDLString, ZK_PATH_FOLDER, "EMDL"},
    {ZK_LWSAct, ZK_LWSString, ZK_PATH_FILE, "LWS"},
    {ZK_MELAct, ZK_MELString, ZK_PATH_FILE, "MEL"},
    {ZK_FXSAct, ZK_FXSString, ZK_PATH_FILE, "FXS"},
    {ZK_XSIAct, ZK_XSIString, ZK_PATH_FOLDER, "XSI"},
    {ZK_MAXAct, ZK_MAXString, ZK_PATH_FILE, "ZSC"},
    {ZK_MOTSep, ZK_MOTString, ZK_PATH_FOLDER, "MOT"},
};

BakeSettings ReadSettings(const XSI::CValueArray& args) {
    auto arg = [&args](ArgIndex i) { return i < args.GetCount() ? args[i] : XSI::CValue(); };
    auto on = [&arg](ArgIndex i) { return static_cast<bool>(arg(i)); };

    BakeSettings s;
    s.objects = arg(ZK_ObjString).GetAsText();
    s.startFrame = static_cast<XSI::LONG>(arg(ZK_StartFrame));
    s.endFrame = static_cast<XSI::LONG>(arg(ZK_EndFrame));
    s.rangeText = arg(ZK_StartFrame).GetAsText() + L" to " + arg(ZK_EndFrame).GetAsText();
    s.prefix = arg(ZK_ObjPreFix).GetAsText();
    for (int slot = 0; slot < kPathSlots; ++slot) {
        s.on[slot] = on(kPathRows[slot].onSwitch);
        s.paths[slot] = arg(kPathRows[slot].pathArg).GetAsText();
    }
    s.motAct = on(ZK_MOTAct);
    s.camAct = on(ZK_CAMAct);
    s.lightAct = on(ZK_LIGHTAct);
    s.nullAct = on(ZK_NULLAct);
    s.objectAct = on(ZK_OBJECTAct);
    s.localSpace = static_cast<XSI::LONG>(arg(ZK_LOCALSPACE));
    return s;
}
