// LightWave scene file and MEL script writers.
#pragma once

#include "capture/ZK_Records.h"

class ZK_Messages;

// Writes the LightWave scene file at path. Returns 1, or 0 when the file
// could not be created or completely written (reported through messages,
// nothing left on disk for a file that could not be created). Without
// messages, reports go to stderr; so for every writer.
int WriteLWS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages);
int WriteLWS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount);

// Writes the MEL script at path. Returns as WriteLWS.
int WriteMaya(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
              LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages);
int WriteMaya(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
              LightData_st* lights, char* path, int frameCount);
