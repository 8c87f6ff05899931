// The limits of a scene load, through xsihost: the formats read by default,
// Assimp's other readers only with --any-reader, and the memory limit of the
// process that reads the file (--max-memory), met by files of a few bytes
// that make a reader allocate without end.
#include "E2eSupport.h"

#include <fstream>

namespace e2e {
namespace {

fs::path Write(const fs::path& dir, const std::string& name, const std::string& text) {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A Collada triangle whose <p> holds `indices`.
std::string ColladaTriangle(const std::string& indices) {
    return R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<library_geometries><geometry id="g"><mesh>
<source id="p"><float_array id="pa" count="9">0 0 0 1 0 0 0 1 0</float_array>
<technique_common><accessor source="#pa" count="3" stride="3"><param name="X" type="float"/>
<param name="Y" type="float"/><param name="Z" type="float"/></accessor></technique_common></source>
<vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
<triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>)" +
           indices + R"(</p></triangles>
</mesh></geometry></library_geometries>
<library_visual_scenes><visual_scene id="s"><node id="T" name="T">
<instance_geometry url="#g"/></node></visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#s"/></scene></COLLADA>
)";
}

} // namespace

// Files of a few bytes that Assimp's readers make grow without end (a
// sphere tessellated 99,999 times, a motion of two billion frames): stopped
// at the limit, one line naming the file and the limit, exit 2. The limit is
// what the test spends: 128 MiB, whatever the file asks for.
TEST(LoadLimits, ATinyFileThatAllocatesWithoutEndIsStoppedAtTheMemoryLimit) {
    const fs::path dir = TestDir();
    const fs::path files[] = {
        Write(dir, "sphere.nff", "tess 99999\ns 0 0 0 1\n"),
        Write(dir, "long.csm",
              "$Filename x\n$FirstFrame 0\n$LastFrame 2000000000\n$Rate 30\n$Order\nA B\n"
              "$Points\n1 0 0 0 0 0 0\n"),
    };
    for (const fs::path& file : files) {
        // The sanitizer's allocator refuses the motion's one allocation of
        // 60 GB itself, and ends the process with its own report.
        if (ZK_SANITIZE && file.extension() == ".csm")
            continue;
        for (const char* command : {"list", "bake"}) {
            Strings args = {command,        "--scene",      file.string(),
                            "--any-reader", "--max-memory", "128M"};
            if (std::string(command) == "bake")
                args.push_back((dir / "out").string());
            const RunResult r = Xsihost(args, dir);
            EXPECT_EQ(r.exitCode, 2) << r.err;
            EXPECT_TRUE(StartsWith(r.err, "xsihost: " + file.string() +
                                              ": cannot read the scene: its reader went over "
                                              "the memory limit of 128 MiB (it held "))
                << r.err;
            EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
            EXPECT_FALSE(fs::exists(dir / "out")) << file;
        }
        // Without --any-reader the file is not read at all.
        const RunResult plain = Xsihost({"list", "--scene", file.string()}, dir);
        EXPECT_EQ(plain.exitCode, 2);
        EXPECT_EQ(plain.err, "xsihost: " + file.string() +
                                 ": cannot read the scene: it is no glTF, FBX, Collada or OBJ "
                                 "file; Assimp's other readers read it only with --any-reader\n");
    }
}

// A Collada triangle with a letter among its indices, which Assimp's reader
// would read for ever: refused before it is read.
TEST(LoadLimits, AColladaIndexListThatIsNoNumberIsRefusedBeforeItIsRead) {
    const fs::path dir = TestDir();
    const fs::path good = Write(dir, "good.dae", ColladaTriangle("0 1 2"));
    const fs::path letter = Write(dir, "letter.dae", ColladaTriangle("0 1 a"));
    const RunResult ok = Xsihost({"list", "--scene", good.string(), "--max-memory", "128M"}, dir);
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(ok.out, "# unit not declared, frame rate 30 fps (not declared)\nT mesh 72 3\n");
    const RunResult r = Xsihost({"list", "--scene", letter.string(), "--max-memory", "128M"}, dir);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "xsihost: " + letter.string() +
                         ": a Collada index list <p> holds \"a\", which is no index\n");
}

// The limit lets through a load that fits it, and --max-memory is refused
// when it names no size of at least 16 MiB, or comes without a scene file.
TEST(LoadLimits, MaxMemoryIsASizeForTheLoadOfAFile) {
    const fs::path dir = TestDir();
    const std::string skinned = std::string(ZK_EXAMPLES_DIR) + "/skinned.gltf";
    for (const char* limit : {"128M", "none", "1T"}) {
        const RunResult r = Xsihost({"list", "--scene", skinned, "--max-memory", limit}, dir);
        EXPECT_EQ(r.exitCode, 0) << limit << r.err;
        EXPECT_TRUE(Contains(r.out, "SkinMesh mesh 72 ")) << r.out;
    }
    const struct {
        Strings args;
        std::string err;
    } refused[] = {
        {{"list", "--scene", skinned, "--max-memory", "16777215"},
         "xsihost: --max-memory: takes a size of at least 16 MiB (a number of bytes, or with K, "
         "M, G or T) or none, not \"16777215\"\n"},
        {{"list", "--scene", skinned, "--max-memory", "lots"},
         "xsihost: --max-memory: takes a size of at least 16 MiB (a number of bytes, or with K, "
         "M, G or T) or none, not \"lots\"\n"},
        {{"list", "--demo", "--max-memory", "1G"}, "xsihost: --max-memory requires --scene\n"},
        {{"bake", "--demo", "--any-reader", (dir / "out").string()},
         "xsihost: --any-reader requires --scene\n"},
    };
    for (const auto& c : refused) {
        const RunResult r = Xsihost(c.args, dir);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// inspect reads a cache as it prints it: a 256 MiB cache (sparse: no disk
// spent) is summed up within 64 MiB of address space, where reading it whole
// took twice its size. The sanitizer build's shadow memory does not fit an
// address-space limit: there the summary alone is checked.
TEST(LoadLimits, InspectReadsACacheOfAnySizeInLittleMemory) {
    const fs::path dir = TestDir();
    const fs::path cache = dir / "sparse.mdd";
    constexpr uint64_t kPoints = 11184810; // two blocks of 128 MiB
    {
        std::ofstream file(cache, std::ios::binary);
        const unsigned char header[12] = {0,    0,    0,    1,    0x00, 0xAA,
                                          0xAA, 0xAA, 0x3F, 0x00, 0,    0}; // F 1, time 0.5
        file.write(reinterpret_cast<const char*>(header), sizeof header);
    }
    fs::resize_file(cache, 12 + 2 * 12 * kPoints);
    const std::string limit = ZK_SANITIZE ? "true" : "ulimit -v 65536";
    const RunResult r = zkt::RunProgram(
        "sh",
        {"-c", limit + " && exec \"$0\" \"$@\"", zkt::XsihostPath(), "inspect", cache.string()},
        {{}, dir, {}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, cache.string() + ": MDD point cache, 268435452 bytes\n"
                                      "  frames 1, points 11184810, frame blocks 2 of 2\n"
                                      "  time 0.5 .. 0.5 s\n"
                                      "  first block bounds (0, 0, 0) .. (0, 0, 0)\n"
                                      "  last block bounds (0, 0, 0) .. (0, 0, 0)\n");
}

} // namespace e2e
