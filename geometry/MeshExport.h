// Mesh files made through host commands.
#pragma once

#include "capture/ZK_Records.h"

// Runs "ZK_XSI_ExportLWO" (name, path) for every object and fills lwoPath.
// Returns 1, or 0 when an object's file could not be made (logged).
int ZK_LWOExport(ObjectData* objects, int objectCount, char* folder);

// Runs "ExportModel" (name, path) for every object and fills emdlPath.
// Returns as ZK_LWOExport.
int ZK_EMDLExport(ObjectData* objects, int objectCount, char* folder);
