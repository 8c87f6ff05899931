// LightWave scene file and MEL script writers.
#pragma once

#include "capture/ZK_Records.h"

// Writes the LightWave scene file at path. Returns 1, or 0 when the file
// could not be created or completely written (reported through the writers'
// message sink, nothing left on disk for a file that could not be created).
int WriteLWS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount);

// Writes the MEL script at path. Returns as WriteLWS.
int WriteMaya(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
              LightData_st* lights, char* path, int frameCount);
