// What the importer reads of a glTF file itself: accessors (packed,
// strided, sparse, without data), buffers (binary chunk, data uris as
// Assimp decodes them, files), sampler keys as Assimp times them; and the
// scene bound by the file's indices: nodes of one name keep their own
// cameras, lights, channels, interpolation and morph weights.
#include "ImporterSupport.h"

#include "host/import/GltfData.h"
#include "host/import/GltfSteps.h"

#include <openssl/evp.h>

#include <cmath>
#include <cstring>

using namespace importer_test;

namespace {

using Json = nlohmann::json;

std::string LE32(uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    return out;
}

std::string Bytes(std::initializer_list<float> values) {
    std::string out;
    for (float f : values) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        out += LE32(bits);
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(n));
    return text;
}

// A binary glTF of the JSON with `bin` as its binary chunk.
std::string Glb(const Json& doc, std::string bin) {
    std::string json = doc.dump();
    json.resize((json.size() + 3) / 4 * 4, ' ');
    bin.resize((bin.size() + 3) / 4 * 4, '\0');
    return "glTF" + LE32(2) + LE32(static_cast<uint32_t>(28 + json.size() + bin.size())) +
           LE32(static_cast<uint32_t>(json.size())) + "JSON" + json +
           LE32(static_cast<uint32_t>(bin.size())) + std::string("BIN\0", 4) + bin;
}

// The file's layout and data, kept together for a test.
struct Asset {
    std::string bytes;
    host::GltfFacts facts;
    std::string folder;
    std::unique_ptr<host::GltfData> data;

    explicit Asset(std::string fileBytes, std::string where = "") : bytes(std::move(fileBytes)) {
        folder = std::move(where);
        const char* json = bytes.data();
        size_t size = bytes.size();
        if (bytes.compare(0, 4, "glTF") == 0) {
            EXPECT_TRUE(host::GltfJsonChunk(bytes, &json, &size));
        }
        EXPECT_TRUE(host::ReadGltfFacts(json, size, &facts)) << facts.problem;
        data = std::make_unique<host::GltfData>(facts.layout, bytes,
                                                static_cast<size_t>(json - bytes.data()), &folder);
    }
};

// The load error of a call, or "" when it loads.
template <class F> std::string ErrorOf(F f) {
    try {
        f();
    } catch (const host::SceneLoadError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(GltfData, AccessorsReadWhatTheFileHolds) {
    // The binary chunk: 12 floats 0..11, then sparse indices: the bytes 1
    // and 2, the short 1, and the byte 7 (past a two-element accessor).
    std::string bin = Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    bin += std::string("\x01\x02\x01\x00\x07\x00\x00\x00", 8);
    const Json doc = {
        {"asset", {{"version", "2.0"}}},
        {"buffers", {{{"byteLength", bin.size()}}}},
        {"bufferViews",
         {{{"buffer", 0}, {"byteLength", 48}},
          {{"buffer", 0}, {"byteLength", 48}, {"byteStride", 12}},
          {{"buffer", 0}, {"byteOffset", 48}, {"byteLength", 8}},
          {{"buffer", 0}, {"byteOffset", 40}, {"byteLength", 40}},
          {{"buffer", 1}, {"byteLength", 4}}}},
        {"accessors",
         {{{"bufferView", 0}, {"componentType", 5126}, {"count", 4}, {"type", "VEC3"}},
          {{"bufferView", 1},
           {"byteOffset", 4},
           {"componentType", 5126},
           {"count", 3},
           {"type", "SCALAR"}},
          {{"componentType", 5126},
           {"count", 3},
           {"type", "SCALAR"},
           {"sparse",
            {{"count", 2},
             {"indices", {{"bufferView", 2}, {"componentType", 5121}}},
             {"values", {{"bufferView", 0}, {"byteOffset", 8}}}}}},
          {{"bufferView", 0},
           {"componentType", 5126},
           {"count", 2},
           {"type", "VEC2"},
           {"sparse",
            {{"count", 1},
             {"indices", {{"bufferView", 2}, {"byteOffset", 2}, {"componentType", 5123}}},
             {"values", {{"bufferView", 0}}}}}},
          {{"bufferView", 0},
           {"byteOffset", 40},
           {"componentType", 5126},
           {"count", 3},
           {"type", "SCALAR"}},
          {{"bufferView", 3}, {"componentType", 5126}, {"count", 1}, {"type", "SCALAR"}},
          {{"bufferView", 0}, {"componentType", 5125}, {"count", 1}, {"type", "SCALAR"}},
          {{"bufferView", 9}, {"componentType", 5126}, {"count", 1}, {"type", "SCALAR"}},
          {{"componentType", 5126},
           {"count", 2},
           {"type", "SCALAR"},
           {"sparse",
            {{"count", 1},
             {"indices", {{"bufferView", 2}, {"byteOffset", 4}, {"componentType", 5121}}},
             {"values", {{"bufferView", 0}}}}}},
          {{"bufferView", 4}, {"componentType", 5126}, {"count", 1}, {"type", "SCALAR"}}}}};
    const Asset asset(Glb(doc, bin));
    const struct {
        int accessor;
        int components;
        std::vector<float> values; // when it reads
        const char* error;         // else, a part of the message
    } cases[] = {
        {0, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, nullptr}, // packed
        {1, 1, {1, 4, 7}, nullptr},                              // strided, offset
        {2, 1, {0, 2, 3}, nullptr},                              // zeros, sparse bytes
        {3, 2, {0, 1, 0, 1}, nullptr},                           // sparse shorts
        {4, 1, {}, "reads past the end of its buffer view"},     // 40 + 12 > 48
        {5, 1, {}, "lies past the end of its buffer"},           // 40 + 40 > 56
        {6, 1, {}, "holds no elements of 1 floats"},             // unsigned ints
        {0, 4, {}, "holds no elements of 4 floats"},             // VEC3 read as VEC4
        {7, 1, {}, "names no buffer view"},
        {8, 1, {}, "sparse index past its elements"}, // index 7 of 2
        {9, 1, {}, "names no buffer"},
        {10, 1, {}, "names no accessor"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("accessor " + std::to_string(c.accessor));
        std::vector<float> values;
        const std::string error =
            ErrorOf([&] { values = asset.data->Floats(c.accessor, c.components, "test"); });
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(values, c.values);
        }
    }
}

TEST(GltfData, BuffersAreReadAsAssimpReadsThem) {
    const std::string four = Bytes({1.5f, -2.0f, 0.25f, 8.0f});
    std::string b64 = Base64(four);
    const zkt::ScratchDir scratch;
    std::ofstream(scratch / "four.bin", std::ios::binary) << four;
    // Assimp reads a letter outside the alphabet as 'A': the bytes of the
    // text with an 'A' there, decoded by OpenSSL.
    std::string bad = b64;
    bad[0] = '!';
    std::string asA = b64;
    asA[0] = 'A';
    std::string expectedA(asA.size() / 4 * 3 + 1, '\0');
    ASSERT_GE(EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&expectedA[0]),
                              reinterpret_cast<const unsigned char*>(asA.data()),
                              static_cast<int>(asA.size())),
              16);
    expectedA.resize(16);
    auto floatsOf = [](const std::string& bytes) {
        std::vector<float> v(bytes.size() / 4);
        std::memcpy(v.data(), bytes.data(), v.size() * 4);
        return v;
    };
    const struct {
        const char* name;
        std::string uri;
        std::vector<float> values;
        const char* error;
    } cases[] = {
        {"base64", "data:application/octet-stream;base64," + b64, floatsOf(four), nullptr},
        {"a letter outside the alphabet", "data:application/octet-stream;base64," + bad,
         floatsOf(expectedA), nullptr},
        {"a file beside the asset", "four.bin", floatsOf(four), nullptr},
        {"a file that is not there", "none.bin", {}, "cannot be read"},
        {"a folder", ".", {}, "cannot be read"},
        {"base64 cut short",
         "data:application/octet-stream;base64," + b64.substr(1),
         {},
         "cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Json doc = {
            {"asset", {{"version", "2.0"}}},
            {"buffers", {{{"byteLength", 16}, {"uri", c.uri}}}},
            {"bufferViews", {{{"buffer", 0}, {"byteLength", 16}}}},
            {"accessors",
             {{{"bufferView", 0}, {"componentType", 5126}, {"count", 4}, {"type", "SCALAR"}}}}};
        const Asset asset(doc.dump(), scratch.Dir() + "/");
        std::vector<float> values;
        const std::string error = ErrorOf([&] { values = asset.data->Floats(0, 1, "test"); });
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(values, c.values);
        }
    }
}

TEST(GltfData, KeysAreTimedAsAssimpTimesThem) {
    // Times 0, 1/3 and 0.7 s; values for a linear, a cubic-spline (in
    // tangent, value, out tangent per key) and a weights sampler of two
    // targets.
    const float third = 1.0f / 3.0f;
    std::string bin = Bytes({0.0f, third, 0.7f});
    bin += Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9});            // 3 x VEC3
    bin += Bytes({-1, -1, -1, 10, 11, 12, -2, -2, -2,     // cubic VEC3
                  -3, -3, -3, 13, 14, 15, -4, -4, -4,     //
                  -5, -5, -5, 16, 17, 18, -6, -6, -6});   //
    bin += Bytes({-0.7f, 2.0f, 0.5f, -0.5f, 1.3f, 0.0f}); // 3 x 2 weights
    auto view = [](size_t offset, size_t length) {
        return Json{{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
    };
    auto accessor = [](int v, int count, const char* type) {
        return Json{{"bufferView", v}, {"componentType", 5126}, {"count", count}, {"type", type}};
    };
    const Json doc = {{"asset", {{"version", "2.0"}}},
                      {"nodes", {Json::object()}},
                      {"buffers", {{{"byteLength", bin.size()}}}},
                      {"bufferViews", {view(0, 12), view(12, 36), view(48, 108), view(156, 24)}},
                      {"accessors",
                       {accessor(0, 3, "SCALAR"), accessor(1, 3, "VEC3"), accessor(2, 9, "VEC3"),
                        accessor(3, 6, "SCALAR")}},
                      {"animations",
                       {{{"samplers",
                          {{{"input", 0}, {"output", 1}, {"interpolation", "STEP"}},
                           {{"input", 0}, {"output", 2}, {"interpolation", "CUBICSPLINE"}},
                           {{"input", 0}, {"output", 3}}}},
                         {"channels",
                          {{{"sampler", 0}, {"target", {{"node", 0}, {"path", "translation"}}}},
                           {{"sampler", 1}, {"target", {{"node", 0}, {"path", "scale"}}}},
                           {{"sampler", 2}, {"target", {{"node", 0}, {"path", "weights"}}}}}}}}}};
    const Asset asset(Glb(doc, bin));
    const std::vector<double> ticks = {0.0, static_cast<double>(third * 1000.0f),
                                       static_cast<double>(0.7f * 1000.0f)};
    const host::GltfKeys step = asset.data->Keys(0, 0, 3);
    EXPECT_EQ(step.ticks, ticks);
    EXPECT_EQ(step.interp, host::GltfInterp::Step);
    EXPECT_EQ(step.values, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    const host::GltfKeys cubic = asset.data->Keys(0, 1, 3);
    EXPECT_EQ(cubic.interp, host::GltfInterp::CubicSpline);
    EXPECT_EQ(cubic.values, (std::vector<float>{10, 11, 12, 13, 14, 15, 16, 17, 18}));
    const host::GltfKeys weights = asset.data->Keys(0, 2, 0);
    EXPECT_EQ(weights.width, 2u);
    EXPECT_EQ(weights.values, (std::vector<float>{-0.7f, 2.0f, 0.5f, -0.5f, 1.3f, 0.0f}));
    EXPECT_NE(ErrorOf([&] { asset.data->Keys(0, 5, 3); }).find("does not exist"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { asset.data->Keys(3, 0, 3); }).find("does not exist"),
              std::string::npos);
}

TEST(GltfData, NodesOfOneNameKeepWhatTheFileGivesEach) {
    // Two nodes "N": one slides along X (linear), the other jumps up Y
    // (step); two nodes "Cam", the second showing the camera; two nodes "M"
    // showing one triangle with a morph target that lifts its first corner:
    // the first with weights of its own (-0.5, in place of the mesh's 0.25),
    // the second with keyed weights -0.7 and 1.3 at 0 and 1 s.
    const std::string bin = Bytes({0,     1,                         // times
                                   0,     0,    0, 1, 0, 0,          // slide
                                   0,     0,    0, 0, 2, 0,          // jump
                                   -0.7f, 1.3f,                      // weights
                                   0,     0,    0, 1, 0, 0, 0, 1, 0, // triangle
                                   0,     0,    1, 0, 0, 0, 0, 0, 0});
    auto view = [](size_t offset, size_t length) {
        return Json{{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
    };
    auto accessor = [](int v, int count, const char* type) {
        Json a = {{"bufferView", v}, {"componentType", 5126}, {"count", count}, {"type", type}};
        if (std::string(type) == "VEC3" && v == 4) {
            a["min"] = {0, 0, 0};
            a["max"] = {1, 1, 0};
        }
        return a;
    };
    const Json doc = {
        {"asset", {{"version", "2.0"}}},
        {"scene", 0},
        {"scenes", {{{"nodes", {0, 1, 2, 3, 4, 5}}}}},
        {"nodes",
         {{{"name", "N"}},
          {{"name", "N"}},
          {{"name", "Cam"}},
          {{"name", "Cam"}, {"camera", 0}},
          {{"name", "M"}, {"mesh", 0}, {"weights", {-0.5}}},
          {{"name", "M"}, {"mesh", 0}}}},
        {"cameras", {{{"type", "perspective"}, {"perspective", {{"yfov", 0.5}, {"znear", 0.1}}}}}},
        {"meshes",
         {{{"weights", {0.25}},
           {"primitives",
            {{{"attributes", {{"POSITION", 4}}}, {"targets", {{{"POSITION", 5}}}}}}}}}},
        {"buffers", {{{"byteLength", bin.size()}}}},
        {"bufferViews",
         {view(0, 8), view(8, 24), view(32, 24), view(56, 8), view(64, 36), view(100, 36)}},
        {"accessors",
         {accessor(0, 2, "SCALAR"), accessor(1, 2, "VEC3"), accessor(2, 2, "VEC3"),
          accessor(3, 2, "SCALAR"), accessor(4, 3, "VEC3"), accessor(5, 3, "VEC3")}},
        {"animations",
         {{{"samplers",
            {{{"input", 0}, {"output", 1}},
             {{"input", 0}, {"output", 2}, {"interpolation", "STEP"}},
             {{"input", 0}, {"output", 3}}}},
           {"channels",
            {{{"sampler", 0}, {"target", {{"node", 0}, {"path", "translation"}}}},
             {{"sampler", 1}, {"target", {{"node", 1}, {"path", "translation"}}}},
             {{"sampler", 2}, {"target", {{"node", 5}, {"path", "weights"}}}}}}}}}};
    const zkt::ScratchDir scratch;
    const std::string path = scratch / "same_names.glb";
    std::ofstream(path, std::ios::binary) << Glb(doc, bin);
    LoadIntoHost(path); // 30 frames per second: frame 15 is 0.5 s
    EXPECT_P3_NEAR(Translation(L"N", 15), (P3{0.5, 0, 0}), "the sliding N");
    EXPECT_P3_NEAR(Translation(L"N1", 15), (P3{0, 0, 0}), "the jumping N before its jump");
    EXPECT_P3_NEAR(Translation(L"N1", 30), (P3{0, 2, 0}), "the jumping N after it");
    EXPECT_EQ(Find(L"Cam")->GetKind(), host::ItemKind::Null);
    EXPECT_EQ(Find(L"Cam1")->GetKind(), host::ItemKind::Camera);
    for (const double frame : {0.0, 15.0, 30.0}) {
        const double keyed = -0.7 + 2.0 * frame / 30.0;
        ExpectPoints(Points(L"M", frame), {{0, 0, -0.5}, {1, 0, 0}, {0, 1, 0}}, frame);
        ExpectPoints(Points(L"M1", frame), {{0, 0, keyed}, {1, 0, 0}, {0, 1, 0}}, frame);
    }

    // A weight key that is no finite number refuses the file, as any other.
    std::string infinite = bin;
    infinite.replace(56, 4, Bytes({-INFINITY}));
    std::ofstream(path, std::ios::binary) << Glb(doc, infinite);
    EXPECT_NE(
        ErrorOf([&] { LoadIntoHost(path); }).find("morph weight key 0 is not a finite number"),
        std::string::npos);
}

// Cubic-spline samplers play the glTF spline: between keys k and k + 1
// (td = t1 - t0, s = (t - t0) / td) the value is
//   (2s^3 - 3s^2 + 1) v0 + td (s^3 - 2s^2 + s) out0 + (-2s^3 + 3s^2) v1
//   + td (s^3 - s^2) in1,
// for node translations and morph weights alike; the end values hold
// outside the keys, and the tangents before the first key and after the last
// play no part. Keys at 0 s and 2 s (td = 2): v0 = 0, out0 = 3, in1 = 2,
// v1 = 1 give 0.8125 at 0.5 s (s = 1/4: 2 * 0.140625 * 3 + 0.15625 * 1 +
// 2 * -0.046875 * 2) and 0.75 at 1 s (s = 1/2: 2 * 0.125 * 3 + 0.5 * 1 +
// 2 * -0.125 * 2). A STEP sampler holds each key's value up to the next.
TEST(GltfData, CubicSplineAndStepSamplersPlayAsTheFormatDefines) {
    std::string bin = Bytes({0, 0, 0, 1, 0, 0, 0, 1, 0}); // 0: triangle
    bin += Bytes({0, 0, 1, 0, 0, 1, 0, 0, 1});            // 36: target offsets
    bin += Bytes({0.0f, 2.0f});                           // 72: key times
    bin += Bytes({9, 9, 9, 0, 0, 0, 3, 0, 0,              // 80: translation keys
                  2, 0, 0, 1, 0, 0, 9, 9, 9});            //     (in, value, out)
    bin += Bytes({7, 0, 3, 2, 1, 7});                     // 152: one weight's keys
    bin += Bytes({1, 1, 1, 5, 5, 5});                     // 176: step scales
    auto view = [](size_t offset, size_t length) {
        return Json{{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
    };
    auto accessor = [](int v, int count, const char* type) {
        return Json{{"bufferView", v}, {"componentType", 5126}, {"count", count}, {"type", type}};
    };
    const Json camera = {{"type", "perspective"}, {"perspective", {{"yfov", 0.8}, {"znear", 0.1}}}};
    const Json doc = {
        {"asset", {{"version", "2.0"}}},
        {"scene", 0},
        {"scenes", {{{"nodes", {0, 1, 2}}}}},
        {"nodes",
         {{{"name", "Spline"}, {"camera", 0}},
          {{"name", "Shape"}, {"mesh", 0}},
          {{"name", "Stepper"}, {"camera", 0}}}},
        {"cameras", {camera}},
        {"meshes",
         {{{"primitives", {{{"attributes", {{"POSITION", 0}}}, {"targets", {{{"POSITION", 1}}}}}}},
           {"weights", {0.0}}}}},
        {"buffers", {{{"byteLength", bin.size()}}}},
        {"bufferViews",
         {view(0, 36), view(36, 36), view(72, 8), view(80, 72), view(152, 24), view(176, 24)}},
        {"accessors",
         {Json{{"bufferView", 0},
               {"componentType", 5126},
               {"count", 3},
               {"type", "VEC3"},
               {"min", {0, 0, 0}},
               {"max", {1, 1, 0}}},
          accessor(1, 3, "VEC3"), accessor(2, 2, "SCALAR"), accessor(3, 6, "VEC3"),
          accessor(4, 6, "SCALAR"), accessor(5, 2, "VEC3")}},
        {"animations",
         {{{"samplers",
            {{{"input", 2}, {"output", 3}, {"interpolation", "CUBICSPLINE"}},
             {{"input", 2}, {"output", 4}, {"interpolation", "CUBICSPLINE"}},
             {{"input", 2}, {"output", 5}, {"interpolation", "STEP"}}}},
           {"channels",
            {{{"sampler", 0}, {"target", {{"node", 0}, {"path", "translation"}}}},
             {{"sampler", 1}, {"target", {{"node", 1}, {"path", "weights"}}}},
             {{"sampler", 2}, {"target", {{"node", 2}, {"path", "scale"}}}}}}}}}};
    const std::string path = ZK_TEST_OUT_DIR "/gltf_cubic.glb";
    std::ofstream(path, std::ios::binary) << Glb(doc, bin);
    LoadIntoHost(path);
    struct Case {
        double frame; // at 30 frames per second
        double spline;
        double step;
    };
    const Case cases[] = {{0, 0, 1},      {15, 0.8125, 1}, {30, 0.75, 1}, {59.9, -1, 1},
                          {60, 1.0, 5.0}, {90, 1.0, 5.0},  {-10, 0, 1}};
    for (const Case& c : cases) {
        if (c.spline >= 0) {
            EXPECT_NEAR(Translation(L"Spline", c.frame).x, c.spline, 1e-6) << c.frame;
            const std::vector<P3> points = Points(L"Shape", c.frame);
            ASSERT_EQ(points.size(), 3u);
            EXPECT_NEAR(points[2].z, c.spline, 1e-6) << c.frame;
        }
        EXPECT_NEAR(Axis(L"Stepper", c.frame, {1, 0, 0}).x, c.step, 1e-6) << c.frame;
    }
    // Key times that do not grow leave no interval to scale the tangents by.
    std::string still = bin;
    const std::string two = Bytes({2.0f});
    still.replace(76, 4, Bytes({0.0f}));
    ASSERT_EQ(bin.substr(76, 4), two);
    std::ofstream(path, std::ios::binary) << Glb(doc, still);
    EXPECT_THROW(LoadIntoHost(path), host::SceneLoadError);
}
