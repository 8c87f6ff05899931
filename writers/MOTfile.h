// LightWave motion and zoom envelope files.
#pragma once

#include "capture/ZK_Records.h"

class ZK_Messages;

// Writes one motion file per sampled item, and one zoom envelope file per
// camera, into folder. Returns 1, or 0 when any file could not be made (each
// reported through messages, or to stderr without them; the other files are
// written).
int WriteMotions(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
                 LightData_st* lights, char* folder, int frameCount, const ZK_Messages& messages);
int WriteMotions(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
                 LightData_st* lights, char* folder, int frameCount);
