// The ZK_XSI_ExportLWO plug-in: registers the host command
// "ZK_XSI_ExportLWO", which writes one polygon-mesh object, as it is at the
// current frame, to an LWO2 file. Arguments: the object's full name and the
// path of the file to write. The points come in the same order, space and
// z negation as the MDD point cache, so the cache plays back on the mesh.
#include "LWOFile.h"

#include <xsi_application.h>
#include <xsi_argument.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_geometry.h>
#include <xsi_pluginexport.h>
#include <xsi_pluginregistrar.h>
#include <xsi_polygonmesh.h>
#include <xsi_primitive.h>
#include <xsi_selection.h>
#include <xsi_status.h>
#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>
#include <xsi_x3dobject.h>

#include <exception>
#include <string>
#include <vector>

using namespace XSI;

namespace {

const wchar_t* const kCommandName = L"ZK_XSI_ExportLWO";
const char* const kSurfaceName = "Default";

CString HostText(const std::string& text) {
    CString s;
    s.PutAsciiString(text.c_str());
    return s;
}

// Logs one error, "ZK_XSI_ExportLWO - <what>", with the subject after it
// when there is one.
void LogError(const CString& what, const CString& subject = CString()) {
    CString message = CString(L"ZK_XSI_ExportLWO - ") + what;
    if (!subject.IsEmpty()) {
        message += L": ";
        message += subject;
    }
    Application().LogMessage(message, siErrorMsg);
}

// Puts the selection back as it was before the object was looked up.
// "SelectObj" selects one item, so a selection of one item is restored
// exactly and a larger one to its first item. An empty selection is left
// holding the looked-up object: the host has no command that clears the
// selection without a warning.
void RestoreSelection(const Application& app, const CRefArray& previous) {
    const Selection now = app.GetSelection();
    if (previous.GetCount() == 0 || (now.GetCount() == 1 && now.GetItem(0) == previous[0])) {
        return;
    }
    CValueArray args(1);
    args[0] = previous[0];
    CValue ignored;
    app.ExecuteCommand(L"SelectObj", args, ignored);
}

// The scene item named by a full name (or a unique short name); an empty
// reference when nothing matches. An item already selected under that full
// name is taken as it is; otherwise the host's "SelectObj" finds it and the
// selection is put back afterwards.
CRef FindObject(const CString& name) {
    Application app;
    const CRefArray previous = app.GetSelection().GetArray();
    for (LONG i = 0; i < previous.GetCount(); ++i) {
        if (previous[i].GetAsText() == name) {
            return previous[i];
        }
    }
    CValueArray args(1);
    args[0] = name;
    CValue ignored;
    app.ExecuteCommand(L"SelectObj", args, ignored);
    const CRef found = app.GetSelection().GetItem(0);
    RestoreSelection(app, previous);
    return found;
}

CStatus ExportLWO(const CString& name, const CString& path) {
    if (name.IsEmpty()) {
        LogError(L"No object name was given");
        return CStatus::Fail;
    }
    if (path.IsEmpty()) {
        LogError(L"No file path was given for the object", name);
        return CStatus::Fail;
    }

    const CRef ref = FindObject(name);
    if (!ref.IsValid()) {
        LogError(L"The object cannot be found", name);
        return CStatus::Fail;
    }
    const X3DObject object(ref);
    const Primitive primitive =
        ref.GetClassID() == siX3DObjectID ? object.GetActivePrimitive() : Primitive();
    const Geometry geometry = primitive.IsValid() ? primitive.GetGeometry() : Geometry();
    const PolygonMesh mesh = geometry.IsValid() ? PolygonMesh(geometry) : PolygonMesh();
    if (!mesh.IsValid()) {
        LogError(L"The object is not a polygon mesh", name);
        return CStatus::Fail;
    }

    // Points exactly as the point cache reads them; polygons from the mesh.
    const MATH::CVector3Array positions = geometry.GetPoints().GetPositionArray();
    MATH::CVector3Array meshPoints;
    CLongArray polygonData;
    if (mesh.Get(meshPoints, polygonData).Failed() ||
        meshPoints.GetCount() != positions.GetCount()) {
        LogError(L"The polygons of the object cannot be read", name);
        return CStatus::Fail;
    }

    const LONG pointCount = positions.GetCount();
    std::vector<double> xyz;
    xyz.reserve(static_cast<std::size_t>(pointCount) * 3u);
    for (LONG i = 0; i < pointCount; ++i) {
        xyz.push_back(positions[i].GetX());
        xyz.push_back(positions[i].GetY());
        xyz.push_back(positions[i].GetZ());
    }

    LWOMesh lwo;
    std::vector<unsigned char> bytes;
    std::string problem;
    if (!LWOConvertMesh(xyz.data(), static_cast<std::size_t>(pointCount), polygonData.GetArray(),
                        static_cast<std::size_t>(polygonData.GetCount()), &lwo, &problem) ||
        !LWOBuildFile(lwo, kSurfaceName, &bytes, &problem)) {
        LogError(CString(L"The object cannot be written as LWO (") + HostText(problem) + L")",
                 name);
        return CStatus::Fail;
    }

    const CString filePath = path;
    if (!LWOWriteBytes(filePath.GetAsciiString(), bytes)) {
        LogError(L"The LWO file cannot be written", path);
        return CStatus::Fail;
    }
    return CStatus::OK;
}

} // namespace

XSIPLUGINCALLBACK CStatus XSILoadPlugin(PluginRegistrar& in_reg) {
    in_reg.PutAuthor(L"Zelkin");
    in_reg.PutName(L"ZK_XSI_ExportLWO Plug-in");
    in_reg.PutVersion(1, 5);
    in_reg.RegisterCommand(kCommandName, kCommandName);
    return CStatus::OK;
}

XSIPLUGINCALLBACK CStatus ZK_XSI_ExportLWO_Init(CRef& in_ctxt) {
    Context ctxt(in_ctxt);
    Command command(ctxt.GetSource());
    command.EnableReturnValue(false);
    ArgumentArray args = command.GetArguments();
    args.Add(L"ZK_ObjName", CValue());
    args.Add(L"ZK_FilePath", CValue());
    return CStatus::OK;
}

XSIPLUGINCALLBACK CStatus ZK_XSI_ExportLWO_Execute(CRef& in_ctxt) {
    try {
        const Context ctxt(in_ctxt);
        const CValueArray args = ctxt.GetAttribute(L"Arguments");
        const CString name = args.GetCount() > 0 ? args[0].GetAsText() : CString();
        const CString path = args.GetCount() > 1 ? args[1].GetAsText() : CString();
        return ExportLWO(name, path);
    } catch (const std::exception& e) {
        // Nothing may escape into the host; a mesh too large for memory
        // ends here.
        LogError(CString(L"The export stopped"), HostText(e.what()));
        return CStatus::Fail;
    }
}
