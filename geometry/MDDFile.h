// MDD point caches: one big-endian file per mesh object holding every point
// of every frame.
#pragma once

#include "capture/ZK_Records.h"
#include "geometry/MDDCacheWriter.h"

#include <cstdio>

// Builds every object's mddPath, opens its file and writes its header.
// Returns 1, or 0 (after logging) when a file cannot be created.
int WriteHeader(int objectCount, ObjectData* objects, int firstFrame, int lastFrame, char* folder,
                char* prefix, float frameRate);

// Appends the lead block and then one block per frame, under the progress
// bar, until the range ends or the user cancels. Returns the number of frames
// walked: fewer than the range holds when the user cancelled.
int ZK_MESH_Process(int objectCount, ObjectData* objects, int firstFrame, int lastFrame,
                    int localSpace);

// Appends the points of one frame to every object's file. Returns 1.
int RecordData(int objectCount, ObjectData* objects, int frame, int localSpace);
// The same with the caller's writer. Pieces handed to its second thread may
// still be going out when it returns, so that the next frame's geometry is
// evaluated while this frame is written; the writer's Finish or its
// destruction writes them (and the small blocks it holds) in order.
int RecordData(int objectCount, ObjectData* objects, int frame, int localSpace,
               MDDCacheWriter* writer);

// Closes every open mddFile. Returns 1, or 0 (after logging one message per
// file) when a cache stream's writes or close failed.
int ZK_CloseMDDFiles(int objectCount, ObjectData* objects);

void putInt(FILE* file, int value);
void putFloat(FILE* file, float value);
void revbytes(void* buffer, int size, int count);
