// Long base64 buffers of .gltf files, decoded by the importer before Assimp
// reads the file: the decoding itself, which uris are taken out of the JSON,
// and scenes that must load exactly as Assimp alone loads them.
#include "ImporterSupport.h"

#include "host/import/GltfEmbedded.h"
#include "host/import/GltfSteps.h"
#include "host/import/SceneFileChecks.h"

#include <openssl/evp.h>

#include <random>

using namespace importer_test;

namespace {

std::string Encode(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(n));
    return text;
}

std::string Decoded(const std::string& text, bool* ok) {
    host::DecodedBuffer out;
    *ok = host::DecodeBase64(text, &out);
    return std::string(reinterpret_cast<const char*>(out.bytes.get()), out.size);
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return s;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(EmbeddedBuffers, Base64Decoding) {
    struct Case {
        const char* text;
        bool ok;
        const char* bytes;
    };
    const Case cases[] = {
        {"QUJD", true, "ABC"}, {"QUI=", true, "AB"},
        {"QQ==", true, "A"},   {"QUJDREVG", true, "ABCDEF"},
        {"", false, ""},       {"QUJ", false, ""},      // not whole groups
        {"QU=D", false, ""},   {"QQ==QUJD", false, ""}, // '=' before the end
        {"Q===", false, ""},   {"QUJ!", false, ""},     // no base64 letter
        {" QUJ", false, ""},   {"QUJ ", false, ""},     // white space
        {"QUJD\n", false, ""},
    };
    for (const Case& c : cases) {
        bool ok = false;
        const std::string bytes = Decoded(c.text, &ok);
        EXPECT_EQ(ok, c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << '"' << c.text << '"';
        }
    }
    // Long text is decoded in two halves: every length of padding, and a bad
    // letter in either half.
    for (size_t n : {size_t{3} << 20, (size_t{3} << 20) + 1, (size_t{3} << 20) + 2}) {
        const std::string bytes = RandomBytes(n, static_cast<unsigned>(n));
        std::string text = Encode(bytes);
        bool ok = false;
        EXPECT_TRUE(Decoded(text, &ok) == bytes) << n;
        EXPECT_TRUE(ok) << n;
        for (size_t at : {size_t{17}, text.size() - 9}) {
            std::string bad = text;
            bad[at] = '*';
            Decoded(bad, &ok);
            EXPECT_FALSE(ok) << n << " at " << at;
        }
    }
}

TEST(EmbeddedBuffers, OnlyWellFormedBuffersLeaveTheJson) {
    const std::string bytes = RandomBytes(6000, 1);
    const std::string b64 = Encode(bytes);
    const std::string octet = "data:application/octet-stream;base64," + b64;
    const std::string json =
        R"({"asset": {"version": "2.0"}, "buffers": [)"
        R"({"byteLength": 6000, "uri": ")" +
        octet +
        R"("},)"
        R"({"byteLength": 5999, "uri": ")" +
        octet +
        R"("},)"
        R"({"byteLength": 6000, "uri": "data:image/png;base64,)" +
        b64 +
        R"("},)"
        R"({"byteLength": 6000, "uri": "data:application/gltf-buffer;base64,)" +
        b64 +
        R"("},)"
        R"({"byteLength": 3, "uri": "data:application/octet-stream;base64,QUJD"}]})";
    host::GltfFacts facts;
    ASSERT_TRUE(host::ReadGltfFacts(json.data(), json.size(), &facts)) << facts.problem;
    ASSERT_EQ(facts.embeddedBuffers.size(), 4u); // the short uri is none
    host::UnpackedGltf out;
    ASSERT_TRUE(host::UnpackEmbeddedBuffers(json, facts.embeddedBuffers, {"a.bin"}, &out));
    // Buffers 0 and 3 are taken out; 1 (wrong length) and 2 (an image type)
    // stay for Assimp.
    ASSERT_EQ(out.buffers.size(), 2u);
    EXPECT_EQ(out.buffers[0].name, "zk-embedded-buffer-0.bin");
    EXPECT_EQ(out.buffers[1].name, "zk-embedded-buffer-3.bin");
    for (const host::DecodedBuffer& b : out.buffers) {
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(b.bytes.get()), b.size) == bytes);
    }
    const nlohmann::json doc = nlohmann::json::parse(out.json);
    EXPECT_EQ(doc["buffers"][0]["uri"], "zk-embedded-buffer-0.bin");
    EXPECT_EQ(doc["buffers"][1]["uri"], octet);
    EXPECT_EQ(doc["buffers"][2]["uri"], "data:image/png;base64," + b64);
    EXPECT_EQ(doc["buffers"][3]["uri"], "zk-embedded-buffer-3.bin");
    EXPECT_EQ(doc["buffers"][4]["uri"], "data:application/octet-stream;base64,QUJD");
    // Nothing to take out: Assimp reads the file as it is.
    const std::string plain = R"({"buffers": [{"byteLength": 3, "uri": "a.bin"}]})";
    ASSERT_TRUE(host::ReadGltfFacts(plain.data(), plain.size(), &facts));
    EXPECT_FALSE(
        host::UnpackEmbeddedBuffers(plain, facts.embeddedBuffers, facts.bufferFiles, &out));
    // A buffer file that bears the name a decoded buffer would be served
    // under: nothing is taken out, so that the file is read as it is.
    ASSERT_TRUE(host::ReadGltfFacts(json.data(), json.size(), &facts));
    EXPECT_FALSE(host::UnpackEmbeddedBuffers(json, facts.embeddedBuffers,
                                             {"sub/zk-embedded-buffer-0.bin"}, &out));
}

// A skinned, animated example scene with its buffer made long (zeros after
// the bytes its views use) loads as the scene with the short buffer; so do
// files whose long buffer only Assimp reads, and a file Assimp refuses is
// refused alike.
TEST(EmbeddedBuffers, LongBuffersLoadAsAssimpReadsThem) {
    nlohmann::json doc = nlohmann::json::parse(ReadText(ZK_SCENE_DIR "/skinned.gltf"));
    const std::string uri = doc["buffers"][0]["uri"];
    const std::string prefix = uri.substr(0, uri.find(',') + 1);
    bool ok = false;
    std::string bytes = Decoded(uri.substr(prefix.size()), &ok);
    ASSERT_TRUE(ok);
    LoadIntoHost(ZK_SCENE_DIR "/skinned.gltf");
    const std::vector<P3> expected = AllPoints();
    ASSERT_FALSE(expected.empty());

    bytes.resize(bytes.size() + 20000, '\0');
    std::string b64 = Encode(bytes);
    const std::string dir = ZK_TEST_OUT_DIR "/embedded_";
    struct Variant {
        const char* name;
        std::string uri;
        size_t byteLength;
    };
    std::string badLetter = b64;
    badLetter[b64.size() - 100] = '!'; // in the zeros: Assimp reads it as 'A'
    const Variant variants[] = {
        {"long", prefix + b64, bytes.size()},
        {"bad_letter", prefix + badLetter, bytes.size()},
        {"odd_type", "data:application/x-other;base64," + b64, bytes.size()},
    };
    for (const Variant& v : variants) {
        doc["buffers"][0]["uri"] = v.uri;
        doc["buffers"][0]["byteLength"] = v.byteLength;
        const std::string path = dir + v.name + ".gltf";
        WriteText(path, doc.dump());
        // Only the well-formed buffer is decoded before Assimp reads the file.
        const host::CheckedSceneFile checked = host::CheckSceneFile(path);
        host::UnpackedGltf unpacked;
        EXPECT_EQ(host::UnpackEmbeddedBuffers(std::string_view(checked.bytes.get(), checked.size),
                                              checked.embeddedBuffers, checked.bufferFiles,
                                              &unpacked),
                  v.name == std::string("long"))
            << v.name;
        LoadIntoHost(path);
        const std::vector<P3> actual = AllPoints();
        ASSERT_EQ(actual.size(), expected.size()) << v.name;
        for (size_t i = 0; i < actual.size(); ++i) {
            ASSERT_EQ(actual[i].x, expected[i].x) << v.name << " point " << i;
            ASSERT_EQ(actual[i].y, expected[i].y) << v.name << " point " << i;
            ASSERT_EQ(actual[i].z, expected[i].z) << v.name << " point " << i;
        }
    }
    // A byteLength the buffer does not have: Assimp's own refusal.
    doc["buffers"][0]["uri"] = prefix + b64;
    doc["buffers"][0]["byteLength"] = bytes.size() + 3;
    WriteText(dir + "short.gltf", doc.dump());
    EXPECT_THROW(LoadIntoHost(dir + "short.gltf"), host::SceneLoadError);
}
