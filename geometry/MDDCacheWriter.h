// The cache writer of one walk over the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

struct ObjectData;

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
