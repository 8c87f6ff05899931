// FXS scene file writer.
#pragma once

#include "capture/ZK_Records.h"

#include <cstdio>

class ZK_Messages;

// Writes the FXS scene file at path. Returns as WriteLWS.
int WriteFXS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages);
int WriteFXS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount);

// Writes the fixed default camera item to an open stream.
void DefaultCamera(FILE* file);
