// Scene files that must not reach the importer's depths: nesting, node
// hierarchies, sampler value counts, non-finite numbers, files that are no
// regular files; and the reader of glTF sampler interpolation.
#include "ImporterSupport.h"

#include <pthread.h>

#include "host/import/GltfSteps.h"
#include "host/import/SceneFileChecks.h"

#include <cstring>
#include <functional>
#include <fstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace importer_test;

namespace {

const std::string kDir = ZK_TEST_OUT_DIR "/checks_";

// A glTF scene of one triangle node "Tri" animated by one sampler, its buffer
// in a .bin file beside it: 3 points, 2 key times, then the values.
struct TriangleGltf {
    std::vector<float> points{0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::vector<float> values{0, 0, 0, 1, 1, 1};
    std::string interpolation = "LINEAR";
    std::string nodes = R"([{"name": "Tri", "mesh": 0}])";
    std::string extra; // more members of the top object

    std::string Write(const std::string& name) const {
        const std::string bin = kDir + name + ".bin";
        unlink(bin.c_str()); // a FIFO a test left there
        std::vector<float> data = points;
        data.insert(data.end(), {0.0f, 1.0f});
        data.insert(data.end(), values.begin(), values.end());
        std::ofstream(bin, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size() * sizeof(float)));
        const std::string bytes = std::to_string(data.size() * 4);
        const std::string valueBytes = std::to_string(values.size() * 4);
        const std::string path = kDir + name + ".gltf";
        std::ofstream(path) << R"({"asset": {"version": "2.0"}, "scene": 0,
            "scenes": [{"nodes": [0]}], "nodes": )"
                            << nodes << R"(,
            "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
            "buffers": [{"byteLength": )"
                            << bytes << R"(, "uri": "checks_)" << name << R"(.bin"}],
            "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36},
                            {"buffer": 0, "byteOffset": 36, "byteLength": 8},
                            {"buffer": 0, "byteOffset": 44, "byteLength": )"
                            << valueBytes << R"(}],
            "accessors": [
              {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
               "min": [0, 0, 0], "max": [1, 1, 0]},
              {"bufferView": 1, "componentType": 5126, "count": 2, "type": "SCALAR",
               "min": [0], "max": [1]},
              {"bufferView": 2, "componentType": 5126, "count": )"
                            << values.size() / 3 << R"(, "type": "VEC3"}],
            "animations": [{"samplers": [{"input": 1, "output": 2, "interpolation": ")"
                            << interpolation << R"("}],
              "channels": [{"sampler": 0, "target": {"node": 0, "path": "translation"}}]}])"
                            << extra << "}";
        return path;
    }
};

// The node list of a chain: "Tri" holds the mesh, each node the next.
std::string Chain(int count, const std::string& namePrefix = "n") {
    std::string nodes = R"([{"name": "Tri", "mesh": 0, "children": [1]})";
    for (int i = 1; i < count; ++i) {
        nodes += R"(, {"name": ")" + namePrefix + std::to_string(i) + "\"";
        nodes += i + 1 < count ? R"(, "children": [)" + std::to_string(i + 1) + "]}" : "}";
    }
    return nodes + "]";
}

std::string WriteText(const std::string& name, const std::string& text) {
    const std::string path = kDir + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

// A Collada scene of a chain of nodes n0, n1, ... and what the innermost
// node holds.
std::string Collada(int depth, const std::string& inner = "") {
    std::string nodes;
    for (int i = 0; i < depth; ++i) {
        nodes += "<node id=\"n" + std::to_string(i) + "\" name=\"n" + std::to_string(i) + "\">";
    }
    return R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<library_visual_scenes><visual_scene id="S">)" +
           nodes + inner + Repeat("</node>", depth) +
           R"(</visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#S"/></scene></COLLADA>)";
}

// A binary FBX file of `depth` records "A", each the only child of the one
// before; version 7500 and later have 64-bit record words.
std::string BinaryFbx(int depth, uint32_t version = 7400) {
    const size_t word = version >= 7500 ? 8 : 4, header = 3 * word + 1, null = header;
    std::string out("Kaydara FBX Binary  \0\x1a\0", 23);
    out.append(reinterpret_cast<const char*>(&version), 4);
    const auto put = [&out, word](uint64_t v) { out.append(reinterpret_cast<char*>(&v), word); };
    // Record k starts at 27 + k (header + 1); the innermost ends after its
    // name, each other one after the empty record closing its children.
    const uint64_t innermostEnd = 27 + depth * (header + 1);
    for (int k = 0; k < depth; ++k) {
        put(innermostEnd + (depth - 1 - k) * null);
        put(0);
        put(0);
        out += '\x01';
        out += 'A';
    }
    out.append(depth * null, '\0'); // the closing records, and the top list's
    return out;
}

// An ASCII FBX file of `count` null models, each the child of the one
// before through connections of the kind given; with loop, the first is also
// the child of the last.
std::string FbxChain(int count, bool loop = false, const std::string& kind = "OO") {
    std::string text = "; FBX 7.4.0 project file\nFBXHeaderExtension:  {\n\tFBXVersion: 7400\n}\n"
                       "Objects:  {\n";
    for (int i = 1; i <= count; ++i) {
        text += "\tModel: " + std::to_string(i) + ", \"Model::N" + std::to_string(i) +
                "\", \"Null\" {\n\t\tVersion: 232\n\t}\n";
    }
    text += "}\nConnections:  {\n\tC: \"OO\",1,0\n";
    for (int i = 2; i <= count; ++i) {
        text += "\tC: \"" + kind + "\"," + std::to_string(i) + "," + std::to_string(i - 1) + "\n";
    }
    if (loop) {
        text += "\tC: \"OO\",1," + std::to_string(count) + "\n";
    }
    return text + "}\n";
}

// A Collada scene whose library node i instances node i + 1 `copies` times,
// for `levels` levels; with loop, the last instances the first.
std::string ColladaInstances(int levels, int copies, bool loop = false) {
    std::string nodes;
    for (int i = 0; i < levels; ++i) {
        nodes += "<node id=\"L" + std::to_string(i) + "\" name=\"L" + std::to_string(i) + "\">" +
                 Repeat("<instance_node url=\"#L" + std::to_string(i + 1) + "\"/>", copies) +
                 "</node>";
    }
    nodes += "<node id=\"L" + std::to_string(levels) + "\" name=\"leaf\">" +
             std::string(loop ? "<instance_node url=\"#L0\"/>" : "") + "</node>";
    return R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<library_nodes>)" +
           nodes + R"(</library_nodes>
<library_visual_scenes><visual_scene id="S"><node id="R" name="R">
<instance_node url="#L0"/></node></visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#S"/></scene></COLLADA>)";
}

// A Collada scene of the library nodes `library` and the scene's node R,
// which holds `scene`.
std::string ColladaLibrary(const std::string& library, const std::string& scene) {
    return R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<library_nodes>)" +
           library + R"(</library_nodes>
<library_visual_scenes><visual_scene id="S"><node id="R" name="R">)" +
           scene + R"(</node></visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#S"/></scene></COLLADA>)";
}

// The load's error, or "" when it loads.
// The load's message; "" when the file loads. anyReader: every Assimp
// reader, not only those of the formats read by default.
std::string LoadError(const std::string& path, bool anyReader = false) {
    try {
        FreshHost();
        host::AssimpLoadOptions options;
        options.anyReader = anyReader;
        host::LoadSceneFile(path, options);
    } catch (const host::SceneLoadError& e) {
        return e.what();
    }
    return "";
}

std::string Fifo(const std::string& name) {
    const std::string path = kDir + name;
    unlink(path.c_str());
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return path;
}

} // namespace

TEST(FileChecks, HostileFilesAreRefusedWithOneLine) {
    constexpr float nan = __builtin_nanf(""), inf = __builtin_inff();
    auto tri = [](auto change) {
        TriangleGltf g;
        change(g);
        return g;
    };
    struct Case {
        std::string path;
        std::string message; // what the one line says after the path
    };
    const Case cases[] = {
        {tri([](TriangleGltf& g) { g.nodes = Chain(100000); }).Write("chain100000"),
         "glTF: the node hierarchy is deeper than 1000 levels"},
        {tri([](TriangleGltf& g) { g.nodes = Chain(1001); }).Write("chain1001"),
         "glTF: the node hierarchy is deeper than 1000 levels"},
        {tri([](TriangleGltf& g) {
             g.nodes = R"([{"name": "Tri", "mesh": 0, "extras": {"a": )" + Repeat("[", 100000) +
                       Repeat("]", 100000) + "}}]";
         }).Write("deep_extras"),
         "glTF: the JSON is nested deeper than 1000 levels"},
        {tri([](TriangleGltf& g) {
             g.nodes = R"([{"name": "Tri", "mesh": 0, "children": [1]}, {"children": [0]}])";
         }).Write("loop"),
         "glTF: the node hierarchy loops at nodes[0]"},
        {tri([](TriangleGltf& g) {
             g.nodes = R"([{"name": "Tri", "mesh": 0, "children": [1, 1]}, {}])";
         }).Write("twice"),
         "glTF: nodes[1] is the child of more than one node"},
        {tri([](TriangleGltf& g) {
             g.nodes = R"([{"mesh": 0, "children": [7]}])";
         }).Write("no_child"),
         "glTF: nodes[0] has a child that is no node"},
        {tri([](TriangleGltf& g) { g.interpolation = "CUBICSPLINE"; }).Write("cubic_short"),
         "glTF: animations[0] sampler 0 (translation) has 2 values for 2 keys (a cubic spline "
         "needs three per key)"},
        {tri([](TriangleGltf& g) {
             g.interpolation = "CUBICSPLINE";
             g.values.resize(21);
         }).Write("cubic_long"),
         "glTF: animations[0] sampler 0 (translation) has 7 values for 2 keys (a cubic spline "
         "needs three per key)"},
        {tri([](TriangleGltf& g) { g.values.resize(3); }).Write("linear_short"),
         "glTF: animations[0] sampler 0 (translation) has 1 values for 2 keys"},
        {tri([](TriangleGltf& g) { g.points[4] = nan; }).Write("nan_point"),
         "node \"Tri\": point 1 is not a finite number"},
        {tri([](TriangleGltf& g) { g.values[5] = -inf; }).Write("inf_key"),
         "node \"Tri\" in animation \"\": translation key 1 is not a finite number"},
        {tri([](TriangleGltf& g) {
             g.nodes = R"([{"name": "Tri", "mesh": 0, "translation": [0, 1e999, 0]}])";
         }).Write("inf_translation"),
         "glTF: the JSON cannot be read: [json.exception.out_of_range.406] number overflow "
         "parsing '1e999'"},
        {WriteText("nan_translation.dae", Collada(2, "<translate>0 nan 0</translate>")),
         "node \"n1\": the transform is not a finite number"},
        {WriteText("collada10000.dae", Collada(10000)),
         "the XML is nested deeper than 1000 levels"},
        {WriteText("deep.fbx", "; FBX 7.4.0 project file\nObjects: " + Repeat("{ A: ", 5000) +
                                   Repeat("}", 5000) + "\n"),
         "FBX text line 2: nodes nested deeper than 64 levels"},
        {WriteText("instance_loop.dae", ColladaInstances(3, 1, true)),
         "a Collada node instances itself or a node above it"},
        // Assimp reads Collada after any bytes, "<collada" among the first 200.
        {WriteText("garbage_loop.dae", "=" + ColladaInstances(3, 1, true)),
         "a Collada node instances itself or a node above it"},
        // Assimp takes the last library node of an id, reads references in
        // a url, and looks for a node by name when no library node has the
        // id.
        {WriteText("loop_second_id.dae",
                   ColladaLibrary(R"(<node id="A"><instance_node url="#B"/></node><node id="B"/>)"
                                  R"(<node id="B"><instance_node url="#A"/></node>)",
                                  R"(<instance_node url="#A"/>)")),
         "a Collada node instances itself or a node above it"},
        {WriteText("loop_reference.dae",
                   ColladaLibrary(R"(<node id="A"><instance_node url="#&#66;"/></node>)"
                                  R"(<node id="B"><instance_node url="#A"/></node>)",
                                  R"(<instance_node url="#A"/>)")),
         "a Collada node instances itself or a node above it"},
        {WriteText("loop_by_name.dae",
                   ColladaLibrary(R"(<node id="A"><instance_node url="#Joint"/></node>)",
                                  R"(<node name="Joint"><instance_node url="#A"/></node>)")),
         "a Collada node instances itself or a node above it"},
        {WriteText("zipped.zae", std::string("PK\x03\x04", 4) + std::string(40, '\0')),
         "zipped scene files (.zae, .3mf, ...) are not read"},
        {WriteText("instances_doubled.dae", ColladaInstances(20, 2)),
         "the Collada nodes make more than 100000 nodes with their instances"},
        {WriteText("instance_chain.dae", ColladaInstances(1001, 1)),
         "the Collada node hierarchy is deeper than 1000 levels"},
        {WriteText("deep_binary.fbx", BinaryFbx(5000)), "FBX nodes nested deeper than 64 levels"},
        // The full names of a chain of models grow past their limit.
        {WriteText("chain.fbx", FbxChain(100000)),
         "the full name of item \"N2916\" is longer than 16384 characters"},
        {WriteText("loop_late.dae", std::string(300, '=') + ColladaInstances(3, 1, true)),
         "a Collada node instances itself or a node above it"},
        {WriteText("empty.lws", std::string(12, '\0') + "LWSC\n3\n"),
         "a LightWave scene file starts with \"LWSC\""},
        {WriteText("deep.x",
                   "xof 0303txt 0032\n" + Repeat("Frame F {\n", 100000) + Repeat("}\n", 100000)),
         "the DirectX text is nested deeper than 1000 levels"},
        // Assimp counts braces in quotes and past a NUL byte alike.
        {WriteText("deep_quoted.x", "xof 0303txt 0032\n\"" + Repeat("Frame F {\n", 1001) +
                                        std::string(1, '\0') + "\"\n"),
         "the DirectX text is nested deeper than 1000 levels"},
        // Assimp copies a frame's name into a node name without measuring it.
        {WriteText("long_name.x", "xof 0303txt 0032\nFrame " + std::string(1024, 'n') + " {\n}\n"),
         "a DirectX name or value is longer than 1023 characters"},
        {WriteText("binary.x", "xof 0303bin 0032" + std::string(16, '\0')),
         "binary and compressed DirectX files are not read, only the text form"},
        {WriteText("zipped.x", "xof 0303tzip0032" + std::string(16, '\0')),
         "binary and compressed DirectX files are not read, only the text form"},
        {WriteText("short.glb", "glTF\x02\0\0\0\x40\0\0\0\x10\0\0\0JSON{}"),
         "the binary glTF header is malformed"},
        {WriteText("bad.gltf", "{\"asset\": {\"version\": \"2.0\"}, \"nodes\": [}"),
         "glTF: the JSON cannot be read: [json.exception.parse_error.101] parse error at line 1, "
         "column 41: syntax error while parsing value - unexpected '}'; expected '[', '{', or a "
         "literal"},
        {Fifo("scene.gltf"), "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {ZK_TEST_OUT_DIR, "not a regular file"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadError(c.path), c.path + ": " + c.message);
        EXPECT_EQ(host::HostApp::Get().GetScene(), nullptr) << c.path;
    }

    // A buffer naming a FIFO: refused before anything is opened.
    TriangleGltf g;
    const std::string path = g.Write("fifo_buffer");
    Fifo("fifo_buffer.bin");
    EXPECT_EQ(LoadError(path), path + ": glTF: the buffer file \"checks_fifo_buffer.bin\" is no "
                                      "regular file");

    // An OBJ material library naming a FIFO: Assimp's reader is not let
    // open it and goes on without the materials.
    Fifo("fifo.mtl");
    const std::string obj = WriteText("fifo_mtl.obj", "mtllib checks_fifo.mtl\nv 0 0 0\nv 1 0 0\n"
                                                      "v 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(LoadError(obj), "");

    // The OpenGEX reader reads past a file cut short, and the SMD reader
    // never ends a section that misses its "end" line: neither is offered,
    // even when every other reader is.
    for (const std::string& cut : {WriteText("cut.ogex", "ogeometrynode,"),
                                   WriteText("cut.smd", "version 1\nnodes\n0 \"a\" -1\n")}) {
        EXPECT_EQ(LoadError(cut, true), cut +
                                            ": cannot read the scene: No suitable reader found "
                                            "for the file format of file \"" +
                                            cut + "\".");
    }
}

// Only the formats the project tests with real files are read by default;
// Assimp's other readers read a file only when asked (--any-reader).
TEST(FileChecks, OtherFormatsReadOnlyWhenAsked) {
    const std::string triangleX = "xof 0303txt 0032\nFrame T {\nMesh {\n3;\n0;0;0;,\n1;0;0;,"
                                  "\n0;1;0;;\n1;\n3;0,1,2;;\n}\n}\n";
    const struct {
        std::string path;
        std::string withAnyReader; // the message with every reader; "" when it loads
    } cases[] = {
        {WriteText("tri.x", triangleX), ""},
        {WriteText("tri.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), ""},
        // A DirectX file by its content, whatever its name.
        {WriteText("tri_x.txt", triangleX), ""},
        {WriteText("cut.ogex", "ogeometrynode,"), "No suitable reader found"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LoadError(c.path), c.path + ": cannot read the scene: it is no glTF, FBX, "
                                              "Collada or OBJ file; Assimp's other readers read "
                                              "it only with --any-reader");
        EXPECT_EQ(host::HostApp::Get().GetScene(), nullptr) << c.path;
        const std::string any = LoadError(c.path, true);
        if (c.withAnyReader.empty()) {
            EXPECT_EQ(any, "") << c.path;
        } else {
            EXPECT_NE(any.find(c.withAnyReader), std::string::npos) << any;
        }
    }
    // The formats read by default, by their names and by their content.
    TriangleGltf gltf;
    const std::string objText = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    for (const std::string& path :
         {gltf.Write("default_reader"), WriteText("default.obj", objText),
          WriteText("default.dae", Collada(3)), WriteText("default_dae.xml", Collada(3)),
          WriteText("default.fbx", FbxChain(2))}) {
        EXPECT_EQ(LoadError(path), "") << path;
    }
}

TEST(FileChecks, FilesJustWithinTheLimitsLoad) {
    struct Case {
        std::string path;
        std::wstring item;
    };
    TriangleGltf cubic;
    cubic.interpolation = "CUBICSPLINE";
    cubic.values.resize(18);
    TriangleGltf chain;
    chain.nodes = Chain(1000);
    const Case cases[] = {
        {TriangleGltf().Write("plain"), L"Tri"},
        {cubic.Write("cubic"), L"Tri"},
        {chain.Write("chain1000"), L"n999"},
        {WriteText("collada997.dae", Collada(997)), L"n996"}, // 3 levels above the nodes
        {WriteText("name1023.x",
                   "xof 0303txt 0032\nFrame " + std::string(1023, 'n') +
                       " {\nMesh {\n3;\n0;0;0;,\n1;0;0;,\n0;1;0;;\n1;\n3;0,1,2;;\n}\n}\n"),
         std::wstring(1023, L'n')},
        {WriteText("chain1000.fbx", FbxChain(1000)), L"N1000"},
        {WriteText("instances.dae", ColladaInstances(3, 2)), L"L37"}, // the 8th copy of L3
    };
    for (const Case& c : cases) {
        // DirectX is read only when every reader is asked for.
        ASSERT_EQ(LoadError(c.path, c.path.find(".x") != std::string::npos), "");
        EXPECT_NE(host::HostApp::Get().GetScene()->FindItem(c.item), nullptr) << c.path;
    }
}

// The load runs on a stack of its own: the deepest hierarchies the checks
// let through load from a thread with a small stack, as a host's plug-in
// thread may have.
TEST(FileChecks, DeepFilesLoadFromASmallStack) {
    TriangleGltf chain;
    chain.nodes = Chain(1000);
    struct Load {
        std::vector<std::string> paths;
        std::vector<std::string> errors;
    } load{{chain.Write("small_stack"), WriteText("small_stack.fbx", FbxChain(1000))}, {}};
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    const auto run = [](void* arg) -> void* {
        Load* l = static_cast<Load*>(arg);
        for (const std::string& path : l->paths) {
            l->errors.push_back(LoadError(path));
        }
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, &load), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(load.errors, std::vector<std::string>(2, ""));
}

TEST(FileChecks, FullNamesStopAtTheirLimit) {
    // Below "Tri", node i is named 19 'x' and i: its full name has
    // 3 + sum over k <= i of (20 + digits of k) = 23 i - 105 characters for
    // i >= 99, past 16384 first at i = 717.
    TriangleGltf g;
    g.nodes = Chain(900, std::string(19, 'x'));
    const std::string path = g.Write("long_names");
    EXPECT_EQ(LoadError(path), path + ": the full name of item \"" + std::string(19, 'x') +
                                   "717\" is longer than 16384 characters");
}

TEST(FileChecks, NestingDepthOfXmlAndBraces) {
    const std::pair<const char*, int> xml[] = {
        {"", 0},
        {"<a/>", 0},
        {"<?xml version=\"1.0\"?><a><b/><c x=\"1>2\" y='/>'><d></d></c></a>", 3},
        {"<a><!-- <b><c><d> --><![CDATA[<e><f>]]></a>", 1},
        {"<!DOCTYPE a [<!ELEMENT a (b)>]><a><b></b></a>", 2},
        {"<a><b><c>", 3}, // unclosed: counted as far as it goes
    };
    for (const auto& c : xml) {
        EXPECT_EQ(host::XmlNestingDepth(c.first, std::strlen(c.first)), c.second) << c.first;
    }
    // Braces in any text, where ';' starts no comment, outside quotes.
    const std::pair<const char*, int> braces[] = {
        {"A: { B: { } }", 2},
        {"; {{{{ a comment\nA: \"{{{\" {}", 5},
        {"Frame A { 1;2;; Frame B { } }", 2},
    };
    for (const auto& [text, depth] : braces) {
        EXPECT_EQ(host::BraceNestingDepth(text, std::strlen(text)), depth) << text;
    }
}

namespace {

host::GltfLayout Layout(const std::string& json) {
    host::GltfFacts facts;
    EXPECT_TRUE(host::ReadGltfFacts(json.data(), json.size(), &facts)) << facts.problem;
    return facts.layout;
}

} // namespace

TEST(FileChecks, GltfLayoutReader) {
    // Key times, then values for a rotation, a cubic translation, a
    // translation or scale, and morph weights.
    const std::string accessors =
        R"("accessors": [{"count": 2, "type": "SCALAR", "componentType": 5126},
                         {"count": 2, "type": "VEC4", "componentType": 5126, "bufferView": 0,
                          "byteOffset": 8},
                         {"count": 6, "type": "VEC3", "componentType": 5126},
                         {"count": 2, "type": "VEC3", "componentType": 5126},
                         {"count": 2, "type": "SCALAR", "componentType": 5126,
                          "sparse": {"count": 1, "indices": {"bufferView": 1, "componentType": 5121},
                                     "values": {"bufferView": 0, "byteOffset": 4}}},
                         {"count": 2, "type": "MAT4", "componentType": 5126}],
           "bufferViews": [{"buffer": 0, "byteLength": 40, "byteStride": 16},
                           {"buffer": 0, "byteOffset": 40, "byteLength": 1}],)";
    const host::GltfLayout l = Layout(R"({
        "scene": 1, "scenes": [{"nodes": [0]}, {"nodes": [1, 0]}],
        "nodes": [{"name": "A\u00e9", "children": [2], "mesh": 0, "skin": 0, "weights": [-0.5, 2],
                   "translation": [1, 2, 3], "rotation": [0, 0, 1, 0], "scale": [1, 2]},
                  {"camera": 0, "matrix": [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]},
                  {"extensions": {"KHR_lights_punctual": {"light": 1}}}],
        "skins": [{"joints": [2, 1], "inverseBindMatrices": 5}, {"joints": [0]}],
        "meshes": [{"weights": [0.25, -0.75]}, {}],)" +
                                      accessors + R"(
        "animations": [
          {"samplers": [{"input": 0, "output": 1, "interpolation": "STEP"},
                        {"input": 0, "output": 3},
                        {"input": 0, "output": 2, "interpolation": "CUBICSPLINE"},
                        {"input": 0, "output": 4, "interpolation": "STEP"},
                        {"input": 0, "output": 3, "interpolation": "STEP"}],
           "channels": [{"sampler": 0, "target": {"node": 1, "path": "rotation"}},
                        {"sampler": 1, "target": {"node": 0, "path": "translation"}},
                        {"sampler": 3, "target": {"node": 0, "path": "weights"}},
                        {"sampler": 7, "target": {"node": 0, "path": "scale"}},
                        {"sampler": 4, "target": {"node": 2, "path": "pointer"}},
                        {"sampler": 4, "target": {"node": 9, "path": "scale"}}]},
          {"samplers": [], "channels": []}]})");
    // The scene Assimp reads, and the nodes by index.
    EXPECT_TRUE(l.haveScene);
    EXPECT_EQ(l.sceneNodes, (std::vector<int64_t>{1, 0}));
    ASSERT_EQ(l.nodes.size(), 3u);
    EXPECT_EQ(l.nodes[0].children, (std::vector<int64_t>{2}));
    EXPECT_EQ(l.nodes[0].mesh, 0);
    EXPECT_EQ(l.nodes[0].skin, 0);
    EXPECT_EQ(l.nodes[0].camera, -1);
    EXPECT_TRUE(l.nodes[0].hasWeights);
    EXPECT_EQ(l.nodes[0].weights, (std::vector<double>{-0.5, 2}));
    EXPECT_TRUE(l.nodes[0].hasTranslation);
    EXPECT_EQ(l.nodes[0].translation[2], 3.0f);
    EXPECT_TRUE(l.nodes[0].hasRotation);
    EXPECT_EQ(l.nodes[0].rotation[2], 1.0f);
    EXPECT_FALSE(l.nodes[0].hasScale); // two numbers are no scale
    EXPECT_EQ(l.nodes[1].camera, 0);
    EXPECT_FALSE(l.nodes[1].hasWeights);
    EXPECT_EQ(l.nodes[2].light, 1);
    ASSERT_EQ(l.skins.size(), 2u);
    EXPECT_EQ(l.skins[0].joints, (std::vector<int64_t>{2, 1}));
    EXPECT_EQ(l.skins[0].inverseBindMatrices, 5);
    EXPECT_EQ(l.skins[1].inverseBindMatrices, -1);
    EXPECT_EQ(l.meshWeights, (std::vector<std::vector<double>>{{0.25, -0.75}, {}}));
    // Samplers with their interpolation; the channels Assimp reads.
    ASSERT_EQ(l.animations.size(), 2u);
    const auto& a = l.animations[0];
    ASSERT_EQ(a.samplers.size(), 5u);
    EXPECT_EQ(a.samplers[0].interp, host::GltfInterp::Step);
    EXPECT_EQ(a.samplers[1].interp, host::GltfInterp::Linear);
    EXPECT_EQ(a.samplers[2].interp, host::GltfInterp::CubicSpline);
    EXPECT_EQ(a.samplers[2].output, 2);
    ASSERT_EQ(a.channels.size(), 4u);
    EXPECT_EQ(a.channels[0].node, 1);
    EXPECT_EQ(a.channels[0].path, host::GltfPath::Rotation);
    EXPECT_EQ(a.channels[2].path, host::GltfPath::Weights);
    EXPECT_EQ(a.channels[3].node, 9);
    EXPECT_EQ(a.channels[3].sampler, 4);
    EXPECT_TRUE(l.animations[1].channels.empty());
    // Accessors and views as the file gives them.
    ASSERT_EQ(l.accessors.size(), 6u);
    EXPECT_EQ(l.accessors[0].view, -1);
    EXPECT_EQ(l.accessors[1].view, 0);
    EXPECT_EQ(l.accessors[1].offset, 8);
    EXPECT_EQ(l.accessors[1].components, 4);
    EXPECT_EQ(l.accessors[2].components, 3);
    EXPECT_TRUE(l.accessors[4].sparse);
    EXPECT_EQ(l.accessors[4].sparseIndexView, 1);
    EXPECT_EQ(l.accessors[4].sparseIndexType, 5121);
    EXPECT_EQ(l.accessors[4].sparseValueOffset, 4);
    ASSERT_EQ(l.views.size(), 2u);
    EXPECT_EQ(l.views[0].stride, 16);
    EXPECT_EQ(l.views[1].offset, 40);

    // Long strings are skipped before the parse: a long data uri is known by
    // where it lies in the text.
    const std::string head = R"({"buffers": [{"uri": ")";
    const std::string uri = "data:," + std::string(5000000, 'A');
    const host::GltfLayout cut = Layout(head + uri + R"("}, {"uri": "x.bin"}]})");
    ASSERT_EQ(cut.buffers.size(), 2u);
    EXPECT_TRUE(cut.buffers[0].cut);
    EXPECT_EQ(cut.buffers[0].uriBegin, head.size());
    EXPECT_EQ(cut.buffers[0].uriEnd, head.size() + uri.size());
    EXPECT_FALSE(cut.buffers[1].cut);
    EXPECT_EQ(cut.buffers[1].uri, "x.bin");
    // No scene Assimp would read.
    EXPECT_FALSE(Layout(R"({"scene": 2, "scenes": [{}]})").haveScene);

    for (const char* bad : {"", "{", "[1, 2", "{\"a\": tru}", "{\"a\": \"\\q\"}", "{} x", "[]"}) {
        host::GltfFacts facts;
        EXPECT_FALSE(host::ReadGltfFacts(bad, std::strlen(bad), &facts)) << bad;
    }
}
