// The cache writer of one walk over the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

struct ObjectData;

// The state of one walk's cache writing: the piece buffers, the thread that
// writes a finished piece while the next one is mapped, the small blocks
// held back to be written several frames at a time, and the objects already
// reported for short geometry. ZK_MESH_Process makes one for its walk; a
// caller that records frames itself may keep one across its calls. Nothing
// of it outlives the object, and the bytes written never depend on how the
// pieces went out.
class MDDCacheWriter {
  public:
    // pipelined: write pieces on a second thread while the next piece is
    // mapped; by default when the machine has more than one core.
    // holdSmallBlocks: keep the blocks of small objects and write each
    // object's several frames at a time (one write instead of one per
    // frame); they are written at the latest when the writer is destroyed,
    // which must then come before the files are closed.
    explicit MDDCacheWriter(bool pipelined = DefaultPipelined(), bool holdSmallBlocks = false);
    ~MDDCacheWriter(); // writes everything handed over or held
    MDDCacheWriter(const MDDCacheWriter&) = delete;
    MDDCacheWriter& operator=(const MDDCacheWriter&) = delete;

    static bool DefaultPipelined();

    // Room for the next piece, of `words` words, of a block of `blockWords`
    // words of `file`; waits while every piece buffer is still being
    // written. The pieces of one block come one after the other.
    uint32_t* NextPiece(FILE* file, size_t words, size_t blockWords);
    // Writes the piece last returned by NextPiece: handed to the second
    // thread, held with the file's earlier small blocks, or written at once.
    void WritePiece();
    // Returns once every piece handed to the second thread is written (held
    // blocks stay held). Needed only before the caller itself moves or
    // writes a file that pieces may still be going to; closing the files
    // comes after the writer is destroyed, which writes everything.
    void Finish();
    // True the first time it is asked about an object.
    bool FirstReport(const ObjectData* object);

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
