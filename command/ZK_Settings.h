// The command's 28 arguments: their names and order, the outputs whose paths
// the run checks, and the settings of one run, read from the arguments once.
#pragma once

#include "command/ZK_Paths.h"

#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

// The command's arguments, in declaration order; the index is where the run
// reads each value.
enum ArgIndex {
    ZK_ObjString,
    ZK_FilePath,
    ZK_StartFrame,
    ZK_EndFrame,
    ZK_ObjPreFix,
    ZK_MDDAct,
    ZK_LWOAct,
    ZK_LWOString,
    ZK_EMDLAct,
    ZK_EMDLString,
    ZK_LWSAct,
    ZK_LWSString,
    ZK_MELAct,
    ZK_MELString,
    ZK_FXSAct,
    ZK_FXSString,
    ZK_XSIAct,
    ZK_XSIString,
    ZK_MAXAct,
    ZK_MAXString,
    ZK_MOTAct,
    ZK_MOTSep,
    ZK_MOTString,
    ZK_CAMAct,
    ZK_LIGHTAct,
    ZK_NULLAct,
    ZK_OBJECTAct,
    ZK_LOCALSPACE,
    ZK_ArgCount
};

// The argument names, by index.
extern const wchar_t* const kArgNames[ZK_ArgCount];

// The checked outputs, in checking order. Each has its own path buffer.
enum PathSlot {
    MDD_DIR,
    LWO_DIR,
    EMDL_DIR,
    LWS_FILE,
    MEL_FILE,
    FXS_FILE,
    XSI_DIR,
    ZSC_FILE,
    MOT_DIR,
    kPathSlots
};

// The 28 arguments, read once at the start of a run. An argument the host
// did not pass reads as an empty value: switch off, number 0, text empty.
struct BakeSettings {
    XSI::CString objects;           // ZK_ObjString
    long long startFrame = 0;       // ZK_StartFrame
    long long endFrame = 0;         // ZK_EndFrame
    XSI::CString rangeText;         // both frame arguments as given, for messages
    XSI::CString prefix;            // ZK_ObjPreFix
    bool on[kPathSlots] = {};       // ZK_MDDAct, ZK_LWOAct, ... ZK_MOTSep
    XSI::CString paths[kPathSlots]; // ZK_FilePath, ZK_LWOString, ... ZK_MOTString
    bool motAct = false;            // ZK_MOTAct
    bool camAct = false;            // ZK_CAMAct
    bool lightAct = false;          // ZK_LIGHTAct
    bool nullAct = false;           // ZK_NULLAct
    bool objectAct = false;         // ZK_OBJECTAct
    XSI::LONG localSpace = 0;       // ZK_LOCALSPACE
};

// One checked output: its switch, its path argument, the kind of path and
// the label of its messages.
struct PathRow {
    ArgIndex onSwitch;
    ArgIndex pathArg;
    unsigned long kind;
    const char* label;
};

extern const PathRow kPathRows[kPathSlots];

// Reads the 28 values of a run's "Arguments" array; a value the host did not
// pass reads as an empty value.
BakeSettings ReadSettings(const XSI::CValueArray& args);
