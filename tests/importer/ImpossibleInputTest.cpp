// Scene files whose numbers cannot be meant, and files that name their data
// many times over: each impossible number is refused with one line naming
// the file and the value, and shared data costs its memory once.
#include "ImporterSupport.h"

#include "host/import/ColladaCurves.h"
#include "host/import/SceneFileChecks.h"

#include <cfloat>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace importer_test;

namespace {

const std::string kDir = ZK_TEST_OUT_DIR "/impossible_";

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = kDir + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Replaces the first `from` of text by `to`.
std::string With(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// xsihost lists the scene or refuses it with one line naming the file and
// `named` (exit 2).
void ExpectRefused(const std::string& path, const std::string& named, const std::string& what) {
    const Outcome r = Xsihost("list --scene " + path);
    EXPECT_EQ(r.exitCode, 2) << what << ": " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << what << ": " << r.err;
    EXPECT_NE(r.err.find(path), std::string::npos) << what << ": " << r.err;
    EXPECT_NE(r.err.find(named), std::string::npos) << what << ": " << r.err;
}
void ExpectListed(const std::string& path, const std::string& what) {
    const Outcome r = Xsihost("list --scene " + path);
    EXPECT_EQ(r.exitCode, 0) << what << ": " << r.err;
}

// A Collada triangle (1,0,0) (0,1,0) (0,0,1), skinned to one joint, with a
// translate animated by one LINEAR sampler (0 s: 0, 1 s: 2).
const char* const kCollada = R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>
<library_geometries><geometry id="tri" name="tri"><mesh>
<source id="pos"><float_array id="pos-a" count="9">1 0 0 0 1 0 0 0 1</float_array>
<technique_common><accessor source="#pos-a" count="3" stride="3">
<param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
</accessor></technique_common></source>
<vertices id="vtx"><input semantic="POSITION" source="#pos"/></vertices>
<triangles count="1"><input semantic="VERTEX" source="#vtx" offset="0"/><p>0 1 2</p></triangles>
</mesh></geometry></library_geometries>
<library_controllers><controller id="skin"><skin source="#tri">
<source id="jn"><Name_array id="jn-a" count="1">J</Name_array>
<technique_common><accessor source="#jn-a" count="1" stride="1"><param name="JOINT" type="name"/></accessor></technique_common></source>
<source id="ib"><float_array id="ib-a" count="16">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</float_array>
<technique_common><accessor source="#ib-a" count="1" stride="16"><param name="TRANSFORM" type="float4x4"/></accessor></technique_common></source>
<source id="w"><float_array id="w-a" count="1">1</float_array>
<technique_common><accessor source="#w-a" count="1" stride="1"><param name="WEIGHT" type="float"/></accessor></technique_common></source>
<joints><input semantic="JOINT" source="#jn"/><input semantic="INV_BIND_MATRIX" source="#ib"/></joints>
<vertex_weights count="3"><input semantic="JOINT" source="#jn" offset="0"/><input semantic="WEIGHT" source="#w" offset="1"/>
<vcount>1 1 1</vcount><v>0 0 0 0 0 0</v></vertex_weights>
</skin></controller></library_controllers>
<library_animations><animation id="move">
<source id="t"><float_array id="t-a" count="2">0 1</float_array>
<technique_common><accessor source="#t-a" count="2" stride="1"><param name="TIME" type="float"/></accessor></technique_common></source>
<source id="x"><float_array id="x-a" count="2">0 2</float_array>
<technique_common><accessor source="#x-a" count="2" stride="1"><param name="X" type="float"/></accessor></technique_common></source>
<sampler id="s"><input semantic="INPUT" source="#t"/><input semantic="OUTPUT" source="#x"/></sampler>
<channel source="#s" target="J/location.X"/>
</animation></library_animations>
<library_visual_scenes><visual_scene id="Scene">
<node id="J" name="J" sid="J" type="JOINT"><translate sid="location">0 0 0</translate></node>
<node id="Tri" name="Tri"><instance_controller url="#skin"><skeleton>#J</skeleton></instance_controller></node>
</visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#Scene"/></scene>
</COLLADA>
)";

} // namespace

TEST(ImpossibleInput, TheColladaTemplateLoads) {
    const std::string path = WriteFile("template.dae", kCollada);
    ExpectListed(path, "template");
    LoadIntoHost(path);
    ExpectPoints(Points(L"Tri", 0, true), {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 0);
}

// A unit of no length, a mirroring one, one that is no number, and units
// that take the triangle (its largest coordinate 1) past 1e30 or below the
// smallest normal float; each at the limit and one past it.
TEST(ImpossibleInput, ColladaUnits) {
    struct Case {
        const char* meter;
        const char* named; // "": read
    };
    const Case cases[] = {{"0", R"(meter="0")"},
                          {"-1", R"(meter="-1")"},
                          {"nan", R"(meter="nan")"},
                          {"inf", R"(meter="inf")"},
                          {"1e400", R"(meter="1e400")"},
                          {"", R"(meter="")"},
                          {"2cm", R"(meter="2cm")"},
                          {"1e30", ""},
                          {"1.0000001e30", "unit of 1.0000001e+30 metres"},
                          {"1e-3", ""},
                          {"1.1754943508222875e-38", ""},
                          {"1.1e-38", "unit of 1.1e-38 metres"},
                          {"4.9e-324", "unit of 4.940656458e-324 metres"}};
    for (const Case& c : cases) {
        const std::string path = WriteFile(
            "unit.dae", With(kCollada, R"(meter="1")", std::string("meter=\"") + c.meter + "\""));
        if (*c.named) {
            ExpectRefused(path, c.named, std::string("meter ") + c.meter);
        } else {
            ExpectListed(path, std::string("meter ") + c.meter);
        }
    }
}

// A file's frame rate where Assimp's ticks are frames (a BVH frame time
// of 1/rate seconds): 0.001 to 100000 frames per second, as --fps takes.
// Loaded in this process, whichever formats xsihost offers by default.
TEST(ImpossibleInput, FileFrameRates) {
    const auto bvh = [](const std::string& frameTime) {
        return "HIERARCHY\nROOT Hips\n{\n\tOFFSET 0 0 0\n\tCHANNELS 3 Xposition Yposition "
               "Zposition\n\tEnd Site\n\t{\n\t\tOFFSET 0 1 0\n\t}\n}\nMOTION\nFrames: 2\n"
               "Frame Time: " +
               frameTime + "\n0 0 0\n1 0 0\n";
    };
    struct Case {
        const char* frameTime;
        bool refused;
        double endFrame;
    };
    const Case cases[] = {{"1000", false, 30000}, {"1000.1", true, 0}, {"0.0000101", false, 1},
                          {"0.0000099", true, 0}, {"1e30", true, 0},   {"-0.5", true, 0}};
    for (const Case& c : cases) {
        const std::string path = WriteFile("rate.bvh", bvh(c.frameTime));
        std::string error;
        try {
            FreshHost();
            host::AssimpLoadOptions options;
            options.anyReader = true; // BVH is no format read by default
            host::LoadSceneFile(path, options);
        } catch (const host::SceneLoadError& e) {
            error = e.what();
        }
        if (c.refused) {
            EXPECT_EQ(error.rfind(path + ": animation ", 0), 0u) << c.frameTime << ": " << error;
            EXPECT_NE(error.find("ticks per second, outside 0.001 to 100000"), std::string::npos)
                << c.frameTime << ": " << error;
        } else {
            ASSERT_EQ(error, "") << c.frameTime;
            // The one frame step lasts the frame time: 30,000 frames at 30
            // frames per second for 1,000 s, part of the first for 10.1 us.
            EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), c.endFrame) << c.frameTime;
        }
    }
}

// glTF node numbers are floats: one past float range is refused by name.
TEST(ImpossibleInput, GltfNodeNumbersPastFloat) {
    struct Case {
        const char* member;
        bool refused;
    };
    const Case cases[] = {
        {R"("scale": [3.4e38, 1, 1])", false},
        {R"("scale": [3.5e38, 1, 1])", true},
        {R"("translation": [0, -1e39, 0])", true},
        {R"("rotation": [0, 0, 0, 1e300])", true},
        {R"("matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 1e39,0,0,1])", true},
        {R"("translation": [0, 3.4028234e38, 0])", false},
    };
    for (const Case& c : cases) {
        const std::string path = WriteFile(
            "node.gltf",
            std::string(R"({"asset": {"version": "2.0"}, "scene": 0,)") +
                R"("scenes": [{"nodes": [0]}], "nodes": [{"name": "N", "camera": 0, )" + c.member +
                R"(}], "cameras": [{"type": "perspective", )"
                R"("perspective": {"yfov": 0.8, "znear": 0.1}}]})");
        if (c.refused) {
            ExpectRefused(path, "nodes[0]", c.member);
        } else {
            ExpectListed(path, c.member);
        }
    }
}

// Offsets, counts and strides of Collada inputs, accessors and skin weights
// that cannot be: one line naming the element and its value; the largest
// offset that can be (999) is read.
TEST(ImpossibleInput, ColladaOffsetsAndCounts) {
    struct Case {
        const char* from;
        const char* to;
        const char* named; // "" : read
    };
    const Case cases[] = {
        {R"(source="#vtx" offset="0")", R"(source="#vtx" offset="2147483647")",
         R"(offset="2147483647")"},
        {R"(source="#vtx" offset="0")", R"(source="#vtx" offset="-1")", R"(offset="-1")"},
        {R"(source="#vtx" offset="0")", R"(source="#vtx" offset="1000")", R"(offset="1000")"},
        {R"(source="#vtx" offset="0")", R"(source="#vtx" offset="x")", R"(offset="x")"},
        {R"(count="3" stride="3">)", R"(count="3" stride="0">)", "fewer than 3"},
        {R"(count="3" stride="3">)", R"(count="3" stride="2">)", "fewer than 3"},
        {R"(count="3" stride="3">)", R"(count="4294967299" stride="3">)", R"(count="4294967299")"},
        {R"(count="3" stride="3">)", R"(count="4" stride="3">)", "shorter"},
        {R"(count="2" stride="1"><param name="X")", R"(count="2" stride="17"><param name="X")",
         R"(stride="17")"},
        {R"(count="2" stride="1"><param name="X")", R"(count="3" stride="1"><param name="X")",
         "shorter"},
        {R"(source="#w" offset="1")", R"(source="#w" offset="4294967296")",
         R"(offset="4294967296")"},
        {R"(<vertex_weights count="3">)", R"(<vertex_weights count="4">)", R"(count="4")"},
        {"<p>0 1 2</p>", "<p>0 1 x</p>", R"(<p> holds "x")"},
        {"<vcount>1 1 1</vcount>", "<vcount>1 -1 1</vcount>", R"(<vcount> holds "-1")"},
    };
    for (const Case& c : cases) {
        const std::string path = WriteFile("offsets.dae", With(kCollada, c.from, c.to));
        if (*c.named) {
            ExpectRefused(path, c.named, c.to);
        } else {
            ExpectListed(path, c.to);
        }
    }
    // The largest offset: every corner a run of 1,000 indices.
    std::string run;
    for (int corner = 0; corner < 3; ++corner) {
        for (int i = 0; i < 1000; ++i) {
            run += i == 999 ? std::to_string(corner) + " " : "7 ";
        }
    }
    const std::string widest = WriteFile(
        "widest.dae",
        With(With(kCollada, R"(source="#vtx" offset="0")", R"(source="#vtx" offset="999")"),
             "<p>0 1 2</p>", "<p>" + run + "</p>"));
    ExpectListed(widest, "offset 999");
}

// Memory: files that name one sampler from 2,000 channels, and one accessor
// from 2,000 morph targets, load in a child whose address space is limited
// (the data once, not once per use).
TEST(ImpossibleInput, SharedDataLoadsInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory takes more address space than the limit";
#else
    constexpr rlim_t kLimit = 768u << 20;
    for (const char* name : {"shared_sampler.dae", "shared_morph.gltf"}) {
        const std::string path = std::string(ZK_HEAVY_DIR "/") + name;
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const rlimit limit{kLimit, kLimit};
            setrlimit(RLIMIT_AS, &limit);
            try {
                LoadIntoHost(path);
            } catch (...) {
                _exit(3);
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << name << " does not load within " << (kLimit >> 20) << " MB";
    }
    // What they load: every node follows the one curve (key 24 at 1 s,
    // frame 30, is 24 % 7 = 3), every target moves every point by (0,0,1).
    LoadIntoHost(ZK_HEAVY_DIR "/shared_sampler.dae");
    for (const wchar_t* node : {L"N0", L"N1000", L"N1999"}) {
        EXPECT_NEAR(Translation(node, 30).x, 3.0, 1e-9);
        EXPECT_NEAR(Translation(node, 60).x, 6.0, 1e-9); // key 48 at 2 s
    }
    LoadIntoHost(ZK_HEAVY_DIR "/shared_morph.gltf");
    host::Mesh* mesh = Find(L"Shapes")->GetMesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetMorphTargetCount(), 2000);
    mesh->MorphWeight(0).Set(0.5);
    mesh->MorphWeight(1999).Set(0.25);
    const std::vector<P3> points = Points(L"Shapes", 0);
    ASSERT_EQ(points.size(), 4000u);
    for (const size_t i : {size_t{0}, size_t{3999}}) {
        EXPECT_P3_NEAR(points[i], (P3{double(i % 100), double(i / 100), 0.75}), "point " << i);
    }
#endif
}
