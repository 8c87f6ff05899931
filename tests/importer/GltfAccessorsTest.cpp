// glTF accessors as Assimp 5.2 reads them: skins without inverse bind
// matrices load with identities (Assimp alone crashes on them), and skin and
// animation data Assimp would read past or leave half-set is refused with
// one line.
#include "ImporterSupport.h"

#include "host/import/GltfBindMatrices.h"
#include "host/import/GltfEmbedded.h"
#include "host/import/GltfSteps.h"

#include <cstring>
#include <functional>

using namespace importer_test;

namespace {

using Json = nlohmann::json;

const std::string kDir = ZK_TEST_OUT_DIR "/skins_";

Json SkinnedScene() {
    return Json::parse(ReadText(ZK_SCENE_DIR "/skinned.gltf"));
}

std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = kDir + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void PutLE32(uint32_t v, std::string* out) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

// A binary glTF of the JSON doc whose first buffer holds `bin`.
std::string Glb(Json doc, std::string bin) {
    doc["buffers"][0].erase("uri");
    std::string json = doc.dump();
    json.resize((json.size() + 3) / 4 * 4, ' ');
    bin.resize((bin.size() + 3) / 4 * 4, '\0');
    std::string out = "glTF";
    PutLE32(2, &out);
    PutLE32(static_cast<uint32_t>(28 + json.size() + bin.size()), &out);
    PutLE32(static_cast<uint32_t>(json.size()), &out);
    out += "JSON" + json;
    PutLE32(static_cast<uint32_t>(bin.size()), &out);
    out += std::string("BIN\0", 4) + bin;
    return out;
}

// The bytes of the example's one buffer.
std::string BufferBytes(const Json& doc) {
    const std::string uri = doc["buffers"][0]["uri"];
    host::DecodedBuffer decoded;
    EXPECT_TRUE(host::DecodeBase64(uri.substr(uri.find(',') + 1), &decoded));
    return std::string(reinterpret_cast<const char*>(decoded.bytes.get()), decoded.size);
}

} // namespace

// The example's skin with its matrices written out as identities is the
// reference; without matrices, or with a value Assimp takes for none, the
// skin loads the same, from a .gltf and from a .glb file.
TEST(GltfAccessors, SkinsWithoutMatricesBindWithIdentities) {
    Json doc = SkinnedScene();
    const int view =
        doc["accessors"][doc["skins"][0]["inverseBindMatrices"].get<int>()]["bufferView"];
    const size_t offset = doc["bufferViews"][view]["byteOffset"];
    std::string bin = BufferBytes(doc);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int m = 0; m < 2; ++m) {
        std::memcpy(&bin[offset + 64 * m], identity, 64); // little-endian machine
    }
    LoadIntoHost(Write("identity.glb", Glb(doc, bin)));
    const std::vector<P3> expected = AllPoints({0.0, 10.0, 20.0, 30.0});
    ASSERT_FALSE(expected.empty());
    // The identities bend the strip differently from the example's matrices.
    LoadIntoHost(ZK_SCENE_DIR "/skinned.gltf");
    const std::vector<P3> example = AllPoints({0.0, 10.0, 20.0, 30.0});
    ASSERT_EQ(example.size(), expected.size());
    double most = 0;
    for (size_t i = 0; i < example.size(); ++i) {
        most = std::max(
            {most, std::abs(example[i].x - expected[i].x), std::abs(example[i].y - expected[i].y)});
    }
    EXPECT_GT(most, 0.5);

    const std::pair<const char*, std::function<void(Json&)>> variants[] = {
        {"none", [](Json& d) { d["skins"][0].erase("inverseBindMatrices"); }},
        {"string", [](Json& d) { d["skins"][0]["inverseBindMatrices"] = "4"; }},
        {"negative", [](Json& d) { d["skins"][0]["inverseBindMatrices"] = -1; }},
    };
    for (const auto& [name, change] : variants) {
        Json bare = SkinnedScene();
        change(bare);
        const std::string gltf = bare.dump();
        for (const std::string& path :
             {Write(std::string(name) + ".gltf", gltf),
              Write(std::string(name) + ".glb", Glb(bare, BufferBytes(bare)))}) {
            LoadIntoHost(path);
            const std::vector<P3> actual = AllPoints({0.0, 10.0, 20.0, 30.0});
            ASSERT_EQ(actual.size(), expected.size()) << path;
            for (size_t i = 0; i < actual.size(); ++i) {
                EXPECT_P3_NEAR(actual[i], expected[i], path << " point " << i);
            }
        }
    }
}

TEST(GltfAccessors, RewrittenFilesKeepWhatTheyHad) {
    Json doc = SkinnedScene();
    doc["skins"][0].erase("inverseBindMatrices");
    doc["skins"].push_back({{"joints", Json::array({1, 2, 0})}}); // a second bare skin
    const std::string text = doc.dump();
    host::GltfFacts facts;
    ASSERT_TRUE(host::ReadGltfFacts(text.data(), text.size(), &facts)) << facts.problem;
    ASSERT_EQ(facts.bareSkins.size(), 2u);
    EXPECT_EQ(facts.bareSkins[1].joints, 3u);
    std::string out, problem;
    ASSERT_TRUE(host::GiveIdentityBindMatrices(text, facts.bareSkins, &out, &problem));
    const Json rewritten = Json::parse(out);
    // One more buffer, view and accessor per skin, after what was there.
    ASSERT_EQ(rewritten["buffers"].size(), 2u);
    EXPECT_EQ(rewritten["buffers"][0], doc["buffers"][0]);
    EXPECT_EQ(rewritten["buffers"][1]["byteLength"], 3 * 64);
    EXPECT_EQ(rewritten["bufferViews"].size(), doc["bufferViews"].size() + 1);
    EXPECT_EQ(rewritten["accessors"].size(), doc["accessors"].size() + 2);
    EXPECT_EQ(rewritten["skins"][0]["inverseBindMatrices"], doc["accessors"].size());
    EXPECT_EQ(rewritten["skins"][1]["inverseBindMatrices"], doc["accessors"].size() + 1);
    EXPECT_EQ(rewritten["accessors"].back()["count"], 3);
    Json same = rewritten;
    same.erase("buffers");
    same.erase("bufferViews");
    same.erase("accessors");
    same.erase("skins");
    Json before = doc;
    before.erase("buffers");
    before.erase("bufferViews");
    before.erase("accessors");
    before.erase("skins");
    EXPECT_EQ(same, before);
    // The buffer: three identities, as base64.
    host::DecodedBuffer decoded;
    const std::string uri = rewritten["buffers"][1]["uri"];
    ASSERT_EQ(uri.rfind("data:application/octet-stream;base64,", 0), 0u);
    ASSERT_TRUE(host::DecodeBase64(uri.substr(uri.find(',') + 1), &decoded));
    ASSERT_EQ(decoded.size, 3u * 64);
    for (size_t i = 0; i < 48; ++i) {
        const unsigned char* f = decoded.bytes.get() + 4 * i;
        const bool one = i % 16 % 5 == 0;
        EXPECT_EQ(f[0] | f[1] << 8 | f[2] << 16 | f[3] << 24, one ? 0x3F800000 : 0) << i;
    }
    // A binary file whose JSON chunk is not padded is not rewritten.
    std::string glb = Glb(doc, BufferBytes(doc));
    glb[12] = static_cast<char>(glb[12] - 1);
    EXPECT_FALSE(host::GiveIdentityBindMatrices(glb, facts.bareSkins, &out, &problem));
    EXPECT_EQ(problem, "the binary glTF JSON chunk is not padded to 4 bytes");
}

// Skin and animation data Assimp copies into fixed-size elements without
// looking.
TEST(GltfAccessors, DataAssimpMisreadsIsRefused) {
    const std::pair<std::function<void(Json&)>, std::string> cases[] = {
        {[](Json& d) { d["accessors"][4]["type"] = "SCALAR"; },
         "skins[0] inverseBindMatrices (accessors[4]) is no MAT4 accessor of floats"},
        {[](Json& d) { d["accessors"][4]["componentType"] = 5123; },
         "skins[0] inverseBindMatrices (accessors[4]) is no MAT4 accessor of floats"},
        {[](Json& d) { d["accessors"][4]["count"] = 1; },
         "skins[0] has 2 joints but inverse bind matrices for 1"},
        {[](Json& d) { d["skins"][0]["joints"].push_back(0); },
         "skins[0] has 3 joints but inverse bind matrices for 2"},
        {[](Json& d) { d["skins"][0]["inverseBindMatrices"] = 40; },
         "skins[0] inverseBindMatrices names no accessor"},
        {[](Json& d) { d["accessors"][2]["type"] = "SCALAR"; },
         "meshes[0] primitive 0 JOINTS_0 (accessors[2]) is no VEC4 accessor of unsigned bytes "
         "or shorts"},
        {[](Json& d) { d["accessors"][2]["componentType"] = 5126; },
         "meshes[0] primitive 0 JOINTS_0 (accessors[2]) is no VEC4 accessor of unsigned bytes "
         "or shorts"},
        // Normalised integer weights are read by Assimp as floats.
        {[](Json& d) { d["accessors"][3]["componentType"] = 5121; },
         "meshes[0] primitive 0 WEIGHTS_0 (accessors[3]) is no VEC4 accessor of floats"},
        {[](Json& d) { d["accessors"][3]["type"] = "VEC3"; },
         "meshes[0] primitive 0 WEIGHTS_0 (accessors[3]) is no VEC4 accessor of floats"},
        // The example's one animation: key times in accessors[5], rotations
        // in accessors[6]. A component type left out is a byte for Assimp.
        {[](Json& d) { d["accessors"][5].erase("componentType"); },
         "animations[0] sampler 0 (rotation) keys (accessors[5]) are no SCALAR floats"},
        {[](Json& d) { d["accessors"][6]["type"] = "VEC3"; },
         "animations[0] sampler 0 (rotation) values (accessors[6]) are no VEC4 floats"},
        {[](Json& d) { d["accessors"][6]["componentType"] = 5122; }, // normalised shorts
         "animations[0] sampler 0 (rotation) values (accessors[6]) are no VEC4 floats"},
        {[](Json& d) { d["animations"][0]["channels"][0]["target"]["path"] = "scale"; },
         "animations[0] sampler 0 (scale) values (accessors[6]) are no VEC3 floats"},
    };
    for (const auto& [change, message] : cases) {
        Json doc = SkinnedScene();
        change(doc);
        const std::string text = doc.dump();
        host::GltfFacts facts;
        EXPECT_FALSE(host::ReadGltfFacts(text.data(), text.size(), &facts)) << message;
        EXPECT_EQ(facts.problem, message);
    }
    // Assimp takes "-0" for the skin 0, and a key given twice for its
    // first value.
    {
        Json doc = SkinnedScene();
        doc["accessors"][3]["type"] = "VEC3";
        std::string text = doc.dump();
        const size_t at = text.find("\"skin\":0");
        ASSERT_NE(at, std::string::npos);
        text.insert(at + 7, "-");
        host::GltfFacts facts;
        EXPECT_FALSE(host::ReadGltfFacts(text.data(), text.size(), &facts));
        EXPECT_EQ(facts.problem,
                  "meshes[0] primitive 0 WEIGHTS_0 (accessors[3]) is no VEC4 accessor of floats");
        text = SkinnedScene().dump();
        text.insert(1, R"("skins": [{"joints": [1, 2]}], )");
        EXPECT_FALSE(host::ReadGltfFacts(text.data(), text.size(), &facts));
        EXPECT_EQ(facts.problem, "the JSON has the key \"skins\" twice in one object");
        text = R"({"asset": {"version": "2.0"}, "nodes": [{"name": "a", "name": "b"}]})";
        EXPECT_FALSE(host::ReadGltfFacts(text.data(), text.size(), &facts));
        EXPECT_EQ(facts.problem, "the JSON has the key \"name\" twice in one object");
        // glTF 1.0, read by Assimp's other glTF reader, whose nodes have
        // text ids.
        for (const char* version : {R"("1.0")", "1", "1.5", "10"}) {
            text = std::string(R"({"asset": {"version": )") + version +
                   R"(}, "nodes": {"a": {"children": ["a"]}}})";
            EXPECT_FALSE(host::ReadGltfFacts(text.data(), text.size(), &facts)) << version;
            EXPECT_EQ(facts.problem, "glTF 1.0 files are not read, only glTF 2.0");
        }
        // The same key in different objects is no fault.
        text = R"({"asset": {"version": "2.0"}, "nodes": [{"name": "a"}, {"name": "b"}]})";
        EXPECT_TRUE(host::ReadGltfFacts(text.data(), text.size(), &facts)) << facts.problem;
    }
    // Joints and weights of a mesh no skinned node shows are not read.
    Json doc = SkinnedScene();
    doc["accessors"][3]["type"] = "VEC3";
    doc["nodes"][3].erase("skin");
    const std::string text = doc.dump();
    host::GltfFacts facts;
    EXPECT_TRUE(host::ReadGltfFacts(text.data(), text.size(), &facts)) << facts.problem;
    // The load says which file.
    Json bad = SkinnedScene();
    bad["accessors"][4]["count"] = 1;
    const std::string path = Write("short.gltf", bad.dump());
    try {
        LoadIntoHost(path);
        ADD_FAILURE() << "loaded";
    } catch (const host::SceneLoadError& e) {
        EXPECT_EQ(std::string(e.what()),
                  path + ": glTF: skins[0] has 2 joints but inverse bind matrices for 1");
    }
}
