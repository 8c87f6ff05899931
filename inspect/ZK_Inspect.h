// Readers for the files the baker writes: MDD point caches and ZSC scene
// files, read into plain structures with every size checked, and printers for
// a short summary and for a JSON dump of everything read. Plain C++, no host.
//
// Every reader returns false with a one-line message in *error for a file it
// cannot read or whose layout does not hold; it never reads past the data it
// was given. Numbers are printed the same way whatever the process locale is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// MDD point cache: big-endian; frame count F, point count P, F times, then
// F + 1 frame blocks of P points (a lead block holding the first frame, then
// one block per frame).

struct ZK_MddFile {
    std::string path;
    uint64_t fileSize = 0;
    int32_t frameCount = 0;   // F, from the header
    int32_t pointCount = 0;   // P, from the header
    std::vector<float> times; // F times in seconds
    // Frame blocks present in the file: F + 1 for a complete file, fewer when
    // the frame walk stopped early (cancelled, or the file holds only its
    // header after a failed run).
    int64_t blockCount = 0;
    bool complete = false;
    // blockCount * P * 3 values: block after block, x y z per point, as stored
    // (z is the host's z negated).
    std::vector<float> points;
};

// What an MDD file's header and size say: its counts, the frame blocks it
// holds and whether it is complete. False, with the message ZK_ParseMdd
// gives, when the size does not fit the header: too short for a header,
// negative counts, cut inside the time table or a frame block, or longer
// than a complete file. data holds the first 8 bytes (when size >= 8).
struct ZK_MddLayout {
    int32_t frameCount = 0;
    int32_t pointCount = 0;
    int64_t blockCount = 0;
    bool complete = false;
};
bool ZK_MddLayoutOf(const unsigned char* data, uint64_t size, ZK_MddLayout* out,
                    std::string* error);

// Reads an MDD file from memory. A size between whole frame blocks, or past a
// complete file, is an error; a size that ends after a whole block before the
// last is accepted as partial (complete false).
bool ZK_ParseMdd(const unsigned char* data, size_t size, ZK_MddFile* out, std::string* error);
bool ZK_ReadMdd(const std::string& path, ZK_MddFile* out, std::string* error);

// ---------------------------------------------------------------------------
// ZSC scene file: little-endian; "ZKSC", a 32-byte header, then item records
// in the groups cameras, lights, nulls, MDD objects, keyed objects.

enum class ZK_ZscRecordKind { Camera, Light, Null, MddObject, KeyedObject };

// Kind as text: "camera", "light", "null", "mdd object", "keyed object".
const char* ZK_ZscKindName(ZK_ZscRecordKind kind);

struct ZK_ZscSample {
    float time = 0.0f;
    int32_t frame = 0;
    std::vector<float> values; // named by the record's valueNames
};

struct ZK_ZscRecord {
    ZK_ZscRecordKind kind = ZK_ZscRecordKind::Null;
    int32_t kindCode = 0; // as stored: 0 camera, 1 object, 2 light, 3 null
    uint64_t offset = 0;  // of the record's first byte
    uint64_t size = 0;    // in bytes
    std::string name;

    // Cameras.
    int32_t imageHeight = 0;
    int32_t imageWidth = 0;
    float pixelRatio = 0.0f;
    float aspect = 0.0f;
    float filmHeight = 0.0f; // projection plane height times 25.4
    // The camera's fov type is not stored; it is told by the sample size and
    // by which of the two fov values is zero: 0 (0.0 then fov), 1 (fov then
    // 0.0), 2 (36-byte samples: neither, no fov stored), -1 (44-byte samples
    // that do not tell, e.g. both values zero, or no samples at all).
    int32_t fovType = -1;

    // Lights.
    int32_t lightType = 0;

    // Objects (MDD and keyed).
    bool hasMeshPath = false; // no mesh path for a mesh format other than 0 or 1
    std::string meshPath;     // LWO path (format 0) or EMDL path (format 1)
    int32_t meshFormat = 0;
    std::string mddPath; // MDD objects

    // Animated records: bytes per sample, the names of the values after time
    // and frame (posZ is stored negated), and one sample per frame.
    uint32_t sampleSize = 0;
    std::vector<const char*> valueNames;
    std::vector<ZK_ZscSample> samples;
};

struct ZK_ZscFile {
    std::string path;
    uint64_t fileSize = 0;
    float version = 0.0f;
    int32_t frameCount = 0;
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    float frameRate = 0.0f;
    int32_t itemCount = 0;
    float constOne = 0.0f;
    int32_t constZero = 0;
    std::vector<ZK_ZscRecord> records;
};

// Reads a ZSC file from memory. The file must hold exactly itemCount records
// and nothing after them; every sample must carry its frame number
// (startFrame + k). Where the layout depends on a value that is not stored
// (a camera's fov type, an object's mesh format before the mesh path), each
// possible layout is tried and the one under which the whole file reads is
// kept.
bool ZK_ParseZsc(const unsigned char* data, size_t size, ZK_ZscFile* out, std::string* error);
bool ZK_ReadZsc(const std::string& path, ZK_ZscFile* out, std::string* error);

// ---------------------------------------------------------------------------
// Printers.

// MDD: frames, points, time range, bounding box of the first and last block.
void ZK_PrintMddSummary(std::ostream& out, const ZK_MddFile& mdd);
// ZSC: the header fields, then one line per record: kind, name, paths and
// sample count.
void ZK_PrintZscSummary(std::ostream& out, const ZK_ZscFile& zsc);
// One JSON object holding everything read ("format": "mdd" or "zsc").
void ZK_PrintMddJson(std::ostream& out, const ZK_MddFile& mdd);
void ZK_PrintZscJson(std::ostream& out, const ZK_ZscFile& zsc);

// Reads a regular file whole, as it was when opened (ZK_InspectFiles does
// not: it reads a point cache as it prints it, in pieces). Anything else (a FIFO,
// a device, a folder) is refused at once, never waited on or read.
bool ZK_ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes,
                      std::string* error);

// What ZK_InspectFiles found, worst first wins: every file read and complete;
// a point cache partial (its summary is printed); a file that cannot be read,
// is not a regular file, or is malformed.
constexpr int ZK_INSPECT_COMPLETE = 0;
constexpr int ZK_INSPECT_PARTIAL = 1;
constexpr int ZK_INSPECT_FAILED = 2;

// Reads every file (ZSC when it starts with "ZKSC", MDD otherwise) and prints
// the summaries one after the other (a point cache is read as it is
// printed, in pieces, so that its size takes no memory; a ZSC file is read
// from the file mapped into memory), or with json one JSON array of the
// files' objects. A file that cannot be read gets one line "<path>: <message>"
// on err (and {"file": ..., "error": ...} in the JSON array); a partial cache
// gets its summary and one line "<path>: partial: ..." on err. Returns the
// worst of the files' results above.
int ZK_InspectFiles(const std::vector<std::string>& paths, bool json, std::ostream& out,
                    std::ostream& err);
