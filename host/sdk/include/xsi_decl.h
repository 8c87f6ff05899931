// Basic declarations shared by every SDK header: integer types, class ids,
// message severities and forward declarations.
#pragma once

#include <cfloat>

namespace XSI {

typedef int LONG;
typedef unsigned int ULONG;

// Class ids reported by CRef::GetClassID. An empty reference reports
// siUnknownClassID; a null reports siNullID, which is none of the three ids
// that the exporter tells apart (mesh object, camera, light).
enum siClassID {
    siUnknownClassID = 0,
    siX3DObjectID = 72,
    siNullID = 73,
    siModelID = 74,
    siCameraID = 80,
    siLightID = 81,
    siShaderID = 90,
    siParameterID = 91,
    siKinematicsID = 92,
    siKinematicStateID = 93,
    siPrimitiveID = 94,
    siGeometryID = 95,
    siContextID = 100,
    siCommandID = 101,
    siPluginRegistrarID = 102,
    siPluginItemID = 103,
    siApplicationID = 104
};

// Severity of a logged message.
enum siSeverityType {
    siFatalMsg = 1,
    siErrorMsg = 2,
    siWarningMsg = 4,
    siInfoMsg = 8,
    siVerboseMsg = 16,
    siCommentMsg = 32
};

// The default time argument of every query at a time: it means the
// scene's current frame.
constexpr double kDefaultTime = DBL_MAX;

class CString;
class CValue;
class CValueArray;
class CRef;
class CRefArray;
class CStatus;
class CTime;

} // namespace XSI
