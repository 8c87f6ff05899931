// Mesh files made through host commands: for every object, a command that
// takes the object's full name and the path of the file to write.
#include "geometry/MeshExport.h"

#include "text/ZK_Text.h"

#include <xsi_application.h>
#include <xsi_status.h>
#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <string>

namespace {

void LogError(const std::string& text) {
    XSI::CString message;
    message.PutAsciiString(text.c_str());
    XSI::Application().LogMessage(message, XSI::siErrorMsg);
}

// One wide character per byte, the byte read unsigned, so that a Latin-1
// name narrowed from the host's text widens back to the same characters (as
// the name resolution does).
XSI::CString Widen(const char* text) {
    std::wstring wide;
    for (const char* c = text; *c != '\0'; ++c)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return XSI::CString(wide.c_str());
}

// Fills each object's path field with folder\name<extension> (slashes made
// forward) and runs the command with (name, path). An object whose path
// does not fit its field, or whose command does not return OK, is logged
// and the others still run; the result is then 0.
int ExportMeshes(ObjectData* objects, int objectCount, const char* folder, const char* kind,
                 const char* extension, const wchar_t* command,
                 char (ObjectData::*field)[ZK_TEXT_SIZE]) {
    int result = 1;
    XSI::CValueArray args(2);
    const std::string folderText = folder ? folder : "";

    for (int o = 0; o < objectCount; ++o) {
        ObjectData& object = objects[o];
        char* path = object.*field;
        const std::string name = ZK_FieldText(object.name);
        const std::string composed = folderText + "\\" + name + extension;

        if (!ZK_CopyField(composed, object.*field)) {
            std::string shown = composed.substr(0, ZK_TEXT_SIZE - 1);
            linuxSafePath(&shown[0]);
            LogError(std::string("ZK_XSI_Baker - The ") + kind + " file path of " + name +
                     " is too long: " + shown);
            result = 0;
            continue;
        }

        linuxSafePath(path);

        args[0] = XSI::CValue(Widen(name.c_str()));
        args[1] = XSI::CValue(Widen(path));
        XSI::CValue returned;
        const XSI::CStatus status = XSI::Application().ExecuteCommand(command, args, returned);
        if (status != XSI::CStatus::OK) {
            LogError(std::string("ZK_XSI_Baker - The ") + kind + " file could not be made for " +
                     name + ": " + path);
            result = 0;
        }
    }
    return result;
}

} // namespace

int ZK_LWOExport(ObjectData* objects, int objectCount, char* folder) {
    return ExportMeshes(objects, objectCount, folder, "LWO", ".lwo", L"ZK_XSI_ExportLWO",
                        &ObjectData::lwoPath);
}

int ZK_EMDLExport(ObjectData* objects, int objectCount, char* folder) {
    return ExportMeshes(objects, objectCount, folder, "EMDL", ".emdl", L"ExportModel",
                        &ObjectData::emdlPath);
}
