// Joining MDD caches baked in parts of a frame range (`xsihost join`).
//
// A bake of frames A..B writes, per mesh, the header (F, P), the times of
// frames A..B, a lead block holding frame A, then the blocks of frames A..B.
// Bakes of consecutive parts of a range, joined, give the bake of the whole
// range byte for byte: the first part's header with the frame count of all
// parts, every part's times one after the other, the first part's lead
// block, then every part's frame blocks (each part's own lead block left
// out). The times of a part are those the whole bake has for its frames, so
// they join as they are.
//
// Everything is read and written in pieces: the memory used does not depend
// on the size of the caches. A join is planned first (every part read and
// checked), then written under a temporary name beside the result and
// renamed over it at the end, so that a cache at the result's path is either
// the old one or the whole new one.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace xsihost {

// A part refused or a result that cannot be written; the message is one
// line naming the file.
class JoinError : public std::runtime_error {
  public:
    JoinError(const std::string& message, bool refusal)
        : std::runtime_error(message), m_refusal(refusal) {}
    // True: a part was refused (an error of use); false: reading or writing
    // failed.
    bool IsRefusal() const { return m_refusal; }

  private:
    bool m_refusal;
};

// What the parts must agree with, when known: the frame rate they were
// baked at (their times are then checked to the bit, and frames are counted
// exactly), and the range they must cover together (needs the rate).
struct JoinExpectation {
    double frameRate = 0.0; // 0: not known; gaps and overlaps are told by the times
    bool haveRange = false;
    long long firstFrame = 0;
    long long lastFrame = 0;
};

// One part, read and checked.
struct MddPart {
    std::string path;
    int32_t frames = 0;
    int32_t points = 0;
    uint64_t size = 0;
    float firstTime = 0.0f;
    float lastTime = 0.0f;
};

// The parts of one cache in time order and the cache they join into.
struct JoinPlan {
    std::string output;
    std::vector<MddPart> parts;
    int64_t Frames() const;
    uint64_t Bytes() const;
};

// Reads and checks the parts of one cache. Refuses (JoinError, a refusal)
// a part that is not a regular file, is not an MDD cache (its size does not
// fit its header, it holds no frame, its times are not finite and rising),
// is incomplete, or differs from the others in point count or frame rate;
// parts that overlap or leave a gap; and, with an expectation, parts not
// baked at its rate or not covering its range. The output must not be one
// of the parts.
JoinPlan PlanJoin(const std::string& output, const std::vector<std::string>& parts,
                  const JoinExpectation& expect);

// Writes the joined cache: a temporary file beside the output, renamed over
// it once whole and read back (its layout checked as `xsihost inspect`
// checks it). Throws JoinError when a part changed since it was planned or a
// write fails; the temporary file is removed.
void WriteJoin(const JoinPlan& plan);

// Compares the output with what the parts join into, byte for byte. Empty
// when they agree; else what differs, one line naming the output.
std::string CheckJoin(const JoinPlan& plan);

// The parts of every cache under a folder tree: each regular file named
// *.mdd below it is a part of the cache of its name, which joins into
// outputFolder/<name>. Every folder that holds a part must hold a part of
// every cache. Refuses (JoinError) a tree without parts, a folder that lacks
// a part, and an output folder inside the tree.
std::vector<std::pair<std::string, std::vector<std::string>>>
PartsInTree(const std::string& tree, const std::string& outputFolder);

} // namespace xsihost
