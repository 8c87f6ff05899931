// MDD point caches: one big-endian file per mesh object holding every point
// of every frame.
#pragma once

#include "capture/ZK_Records.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// The state of one walk's cache writing: the piece buffers, the thread that
// writes a finished piece while the next one is mapped, and the objects
// already reported for short geometry. ZK_MESH_Process makes one for its
// walk; a caller that records frames itself may keep one across its calls.
// Nothing of it outlives the object, and the bytes written never depend on
// whether pieces are written by the second thread or inline.
class MDDCacheWriter {
  public:
    // pipelined: write pieces on a second thread while the next piece is
    // mapped; by default when the machine has more than one core.
    explicit MDDCacheWriter(bool pipelined = DefaultPipelined());
    ~MDDCacheWriter(); // waits for every piece handed over
    MDDCacheWriter(const MDDCacheWriter&) = delete;
    MDDCacheWriter& operator=(const MDDCacheWriter&) = delete;

    static bool DefaultPipelined();

    // A free piece buffer of `words` words; waits while every buffer is
    // still being written.
    uint32_t* NextPiece(size_t words);
    // Writes the piece last returned by NextPiece: handed to the second
    // thread, or written at once when the writer is not pipelined or the
    // piece is small.
    void WritePiece(FILE* file, uint32_t* piece, size_t words);
    // Returns once every piece handed over is written.
    void Finish();
    // True the first time it is asked about an object.
    bool FirstReport(const ObjectData* object);

  private:
    bool Idle(); // every piece handed over is written
    struct State;
    std::unique_ptr<State> m_state;
};

// Builds every object's mddPath, opens its file and writes its header.
// Returns 1, or 0 (after logging) when a file cannot be created.
int WriteHeader(int objectCount, ObjectData* objects, int firstFrame, int lastFrame, char* folder,
                char* prefix, float frameRate);

// Appends the lead block and then one block per frame, under the progress
// bar, until the range ends or the user cancels.
void ZK_MESH_Process(int objectCount, ObjectData* objects, int firstFrame, int lastFrame,
                     int localSpace);

// Appends the points of one frame to every object's file. Returns 1.
int RecordData(int objectCount, ObjectData* objects, int frame, int localSpace);
// The same with the caller's writer; every piece is written when it returns.
int RecordData(int objectCount, ObjectData* objects, int frame, int localSpace,
               MDDCacheWriter* writer);

// Closes every open mddFile. Returns 1, or 0 (after logging one message per
// file) when a cache stream's writes or close failed.
int ZK_CloseMDDFiles(int objectCount, ObjectData* objects);

void putInt(FILE* file, int value);
void putFloat(FILE* file, float value);
void revbytes(void* buffer, int size, int count);
