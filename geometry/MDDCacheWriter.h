// The cache writer of one walk over the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

struct ObjectData;

// The state of one walk's cache writing: the piece buffers, the thread that
// fills (maps) and writes pieces while the walk asks the host for the next
// frame, the small blocks held back to be written several frames at a time,
// the geometry that pieces still being filled read, and the objects already
// reported for short geometry. ZK_MESH_Process makes one for its walk; a
// caller that records frames itself may keep one across its calls. Nothing
// of it outlives the object, and the bytes written never depend on how the
// pieces went out.
class MDDCacheWriter {
  public:
    // Writes the `words` words of one piece to out[0 .. words - 1]. Runs on
    // the writer's second thread when there is one, so it may only read
    // memory that stays unchanged until the piece is done (see Keep).
    using Fill = std::function<void(uint32_t* out)>;

    // pipelined: fill and write pieces on a second thread while the caller
    // goes on; by default when the machine has more than one core.
    // holdSmallBlocks: keep the blocks of small objects and write each
    // object's several frames at a time (one write instead of one per
    // frame); they are written at the latest when the writer is destroyed,
    // which must then come before the files are closed.
    explicit MDDCacheWriter(bool pipelined = DefaultPipelined(), bool holdSmallBlocks = false);
    ~MDDCacheWriter(); // writes everything handed over or held
    MDDCacheWriter(const MDDCacheWriter&) = delete;
    MDDCacheWriter& operator=(const MDDCacheWriter&) = delete;

    static bool DefaultPipelined();

    // The next piece, of `words` words, of a block of `blockWords` words of
    // `file`: held with the file's earlier small blocks (filled at once), or
    // filled and written on the second thread (or by the caller, see
    // kFillHereAfter), or filled and written at once. The pieces of one
    // block come one after the other; waits while many pieces are still to
    // be written. True when the piece was handed to the second thread (its
    // fill may still run: keep what it reads, see Keep).
    template <class F> bool AddPiece(FILE* file, size_t words, size_t blockWords, F&& fill) {
        if (uint32_t* room = HeldRoom(file, words, blockWords)) {
            fill(room);
            return false;
        }
        return HandOver(file, words, Fill(std::forward<F>(fill)));
    }
    // Keeps `owner` (what the fills handed over so far read) until those
    // pieces are filled; it is released on the caller's thread.
    void Keep(std::shared_ptr<const void> owner);
    // Marks the start of a frame: waits until every piece handed over before
    // the previous mark is filled and written, and releases what was kept
    // for them, so that at most the last frame's geometry is still held.
    void NextFrame();
    // Returns once every piece handed to the second thread is written (held
    // blocks stay held) and releases everything kept. Needed only before the
    // caller itself moves or writes a file that pieces may still be going
    // to; closing the files comes after the writer is destroyed, which
    // writes everything.
    void Finish();
    // True the first time it is asked about an object.
    bool FirstReport(const ObjectData* object);

  private:
    // Room for a small block's piece among the file's held blocks, or null
    // when the piece is not held.
    uint32_t* HeldRoom(FILE* file, size_t words, size_t blockWords);
    bool HandOver(FILE* file, size_t words, Fill fill);

    struct State;
    std::unique_ptr<State> m_state;
};
