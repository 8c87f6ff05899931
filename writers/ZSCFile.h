// ZSC binary scene file writer.
#pragma once

#include "capture/ZK_Records.h"

#include <cstdint>
#include <cstdio>

class ZK_Messages;

// The header of a ZSC file, with the stream it is written to.
struct ZKscnDat_st {
    FILE* file = nullptr;
    float version = 0.0f;
    int32_t frameCount = 0;
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    float frameRate = 0.0f;
    int32_t itemCount = 0;
    float constOne = 0.0f;
    int32_t constZero = 0;
};

// Writes "ZKSC" and the header fields, little-endian, to data->file.
void ZK_writeHeader(ZKscnDat_st* data);

// Writes the ZSC scene file at path. Returns as WriteLWS.
int WriteZSC(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages);
int WriteZSC(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount);
