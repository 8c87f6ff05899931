// Blender's scene (data/dcc, see its README) baked through xsihost: every
// mesh keeps the file's vertices, and every block of its MDD cache is
// Blender's evaluated points of that frame in the same order. Also the LWO of
// a mesh (connected polygons), the file's unit and frame rate, and files
// whose corners cannot be mapped.
#include "ImporterSupport.h"

#include <cstdint>
#include <set>

using namespace importer_test;

namespace {

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
        v = v << 8 | static_cast<unsigned char>(bytes.at(at + i));
    }
    return v;
}
float BigEndianFloat(const std::string& bytes, size_t at) {
    const uint32_t bits = BigEndian32(bytes, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

struct Mdd {
    int frames = 0, points = 0;
    std::vector<float> times;
    std::vector<std::vector<P3>> blocks; // the lead block first
};

Mdd ReadMdd(const std::string& path) {
    const std::string b = ReadText(path);
    Mdd m;
    if (b.size() < 8) {
        ADD_FAILURE() << "no MDD file " << path;
        return m;
    }
    m.frames = static_cast<int>(BigEndian32(b, 0));
    m.points = static_cast<int>(BigEndian32(b, 4));
    size_t at = 8;
    for (int f = 0; f < m.frames; ++f, at += 4) {
        m.times.push_back(BigEndianFloat(b, at));
    }
    EXPECT_EQ(b.size(), at + size_t(12) * m.points * (m.frames + 1)) << path;
    for (int f = 0; f <= m.frames && at + size_t(12) * m.points <= b.size(); ++f) {
        std::vector<P3> block;
        for (int p = 0; p < m.points; ++p, at += 12) {
            // An MDD point is (x, y, -z) of the scene's axes.
            block.push_back(
                {BigEndianFloat(b, at), BigEndianFloat(b, at + 4), -BigEndianFloat(b, at + 8)});
        }
        m.blocks.push_back(std::move(block));
    }
    return m;
}

// Bakes a fixture into a folder of its own; returns the folder.
std::string Bake(const std::string& file, const std::string& options = "") {
    const std::string out = ZK_TEST_OUT_DIR "/bake_" + file + std::to_string(getpid());
    const Outcome r =
        Xsihost("bake --quiet " + options + " --scene " ZK_DATA_DIR "/dcc/" + file + " " + out);
    EXPECT_EQ(r.exitCode, 0) << file << ": " << r.err;
    return out;
}

// The worst distance, coordinate by coordinate, of each MDD block of frames
// 0..lastFrame from Blender's points of that frame, in order; scale: the
// factor from metres to the baked numbers.
double WorstError(const Mdd& mdd, const char* mesh, int lastFrame, double scale = 1.0,
                  const char* expectedFile = "rig_expected.json") {
    const auto& expected = Expected(expectedFile)["meshes"][mesh];
    EXPECT_EQ(mdd.points, expected["vertex_count"].get<int>()) << mesh;
    double worst = 0.0;
    for (int f = 0; f <= lastFrame && f + 1 < static_cast<int>(mdd.blocks.size()); ++f) {
        const std::vector<double> flat = expected["frames"][f].get<std::vector<double>>();
        const std::vector<P3>& block = mdd.blocks[f + 1];
        if (flat.size() != block.size() * 3) {
            return DBL_MAX;
        }
        for (size_t i = 0; i < block.size(); ++i) {
            const P3 d = block[i] - P3{flat[3 * i], flat[3 * i + 1], flat[3 * i + 2]} * scale;
            worst = std::max({worst, std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
        }
    }
    return worst;
}

struct MeshCase {
    const char* item; // the full name, which names the cache
    const char* mesh; // its name in the expected data
    int lastFrame;    // frames 0..lastFrame hold what Blender shows
};

} // namespace

TEST(FileVertices, EveryCacheBlockIsBlendersPointsInTheFilesOrder) {
    const struct {
        const char* file;
        std::vector<MeshCase> meshes;
        const char* expected = "rig_expected.json";
    } cases[] = {
        {"rig_m.fbx", {{"Limb", "Limb", 16}, {"Pivot.Box", "Box", 16}, {"Blob", "Blob", 16}}},
        {"rig_cm.fbx", {{"Limb", "Limb", 16}, {"Pivot.Box", "Box", 16}, {"Blob", "Blob", 16}}},
        {"rig_m_ascii.fbx", {{"Limb", "Limb", 16}, {"Pivot.Box", "Box", 16}, {"Blob", "Blob", 16}}},
        // Collada keeps no shape key: the sphere is its basis (frame 0).
        {"rig.dae", {{"Rig.Limb", "Limb", 16}, {"Pivot.Box", "Box", 16}, {"Blob", "Blob", 0}}},
        {"rig.obj", {{"Limb", "Limb", 0}, {"Box", "Box", 0}, {"Blob", "Blob", 0}}},
        // glTF splits the box by material: only the others keep Blender's count.
        {"rig.glb", {{"Rig.Limb", "Limb", 16}, {"Blob", "Blob", 16}}},
        // Two copies of a rig with the same bone names: each limb follows
        // its own rig.
        {"dup.glb",
         {{"Rig.Limb", "Limb", 16}, {"Rig_001.Limb_001", "Limb.001", 16}},
         "dup_expected.json"},
        {"dup.dae",
         {{"Rig.Limb", "Limb", 16}, {"Rig_001.Limb_001", "Limb.001", 16}},
         "dup_expected.json"},
        // Squash and stretch: the bone matrices shear.
        {"squash.dae", {{"Squash.Jelly", "Jelly", 16}}, "squash_expected.json"},
        // Shape keys keyed and set below 0 (and above 1).
        {"shapes.glb", {{"Blob", "Blob", 16}, {"Dish", "Dish", 16}}, "shapes_expected.json"},
        // OBJ objects with vertices no polygon uses: loose ones, those of
        // lines alone, an object of vertices only.
        {"loose.obj",
         {{"Frame", "Frame", 0}, {"Wire", "Wire", 0}, {"Dots", "Dots", 0}, {"Plate", "Plate", 0}},
         "loose_expected.json"},
    };
    for (const auto& c : cases) {
        const std::string out = Bake(c.file, "--fps 24 --frames 0:16");
        for (const MeshCase& m : c.meshes) {
            const Mdd mdd = ReadMdd(out + "/mdd/" + m.item + ".mdd");
            EXPECT_LT(WorstError(mdd, m.mesh, m.lastFrame, 1.0, c.expected), kTolerance)
                << c.file << " " << m.mesh;
        }
        std::system(("rm -rf " + out).c_str());
    }
}

TEST(FileVertices, FbxFrameRateAndUnits) {
    // No --fps: the file's 24 frames per second and its frames 0..16.
    std::string out = Bake("rig_cm.fbx");
    Mdd mdd = ReadMdd(out + "/mdd/Limb.mdd");
    ASSERT_EQ(mdd.frames, 17);
    EXPECT_FLOAT_EQ(mdd.times[1], 1.0f / 24.0f);
    EXPECT_LT(WorstError(mdd, "Limb", 16), kTolerance);
    std::system(("rm -rf " + out).c_str());

    // --keep-units: the file's centimetres; --fps still overrides the file.
    out = Bake("rig_cm.fbx", "--keep-units --fps 48");
    mdd = ReadMdd(out + "/mdd/Limb.mdd");
    ASSERT_EQ(mdd.frames, 33);
    EXPECT_FLOAT_EQ(mdd.times[1], 1.0f / 48.0f);
    // Frame 2f at 48 frames per second is Blender's frame f.
    Mdd even = mdd;
    even.blocks.clear();
    for (size_t f = 0; f < mdd.blocks.size(); f += 2) {
        even.blocks.push_back(mdd.blocks[f == 0 ? 0 : f - 1]);
    }
    EXPECT_LT(WorstError(even, "Limb", 16, 100.0), 100 * kTolerance);
    std::system(("rm -rf " + out).c_str());

    // Cameras, lights and nulls are placed in metres too, and --keep-units
    // leaves their centimetres.
    for (const bool keep : {false, true}) {
        FreshHost();
        host::AssimpLoadOptions options;
        options.keepUnits = keep;
        host::LoadSceneFile(ZK_DATA_DIR "/dcc/rig_cm.fbx", options);
        EXPECT_EQ(host::HostApp::Get().GetFrameRate(), 24.0);
        for (const char* item : {"Pivot", "Cam", "Lamp"}) {
            for (int f : {0, 5, 16}) {
                const auto& e = Expected()["locations"][item][f];
                const P3 expected = P3{e[0].get<double>(), e[1].get<double>(), e[2].get<double>()};
                EXPECT_P3_NEAR(Translation(std::wstring(item, item + std::strlen(item)), f) *
                                   (keep ? 0.01 : 1.0),
                               expected, item << " frame " << f);
            }
        }
    }

    const Outcome list = Xsihost("list --scene " ZK_DATA_DIR "/dcc/rig_cm.fbx --keep-units");
    EXPECT_EQ(list.out.substr(0, list.out.find('\n')),
              "# unit 0.01 m (numbers kept), frame rate 24 fps (the file's)");
}

namespace {

// The point count of an LWO file's PNTS chunk and the faces of its POLS chunk.
struct Lwo {
    size_t points = 0;
    std::vector<std::vector<uint32_t>> faces;
};

Lwo ReadLwo(const std::string& path) {
    const std::string lwo = ReadText(path);
    Lwo out;
    EXPECT_GT(lwo.size(), 12u) << path;
    size_t& points = out.points;
    std::vector<std::vector<uint32_t>>& faces = out.faces;
    for (size_t at = 12; at + 8 <= lwo.size();) {
        const std::string id = lwo.substr(at, 4);
        const size_t size = BigEndian32(lwo, at + 4);
        const size_t body = at + 8;
        if (id == "PNTS") {
            points = size / 12;
        } else if (id == "POLS" && lwo.substr(body, 4) == "FACE") {
            for (size_t p = body + 4; p < body + size;) {
                const unsigned count = (static_cast<unsigned char>(lwo[p]) << 8 |
                                        static_cast<unsigned char>(lwo[p + 1])) &
                                       0x3FF;
                p += 2;
                std::vector<uint32_t> face;
                for (unsigned k = 0; k < count; ++k) {
                    if (static_cast<unsigned char>(lwo[p]) == 0xFF) {
                        face.push_back(BigEndian32(lwo, p) & 0xFFFFFF);
                        p += 4;
                    } else {
                        face.push_back(static_cast<unsigned char>(lwo[p]) << 8 |
                                       static_cast<unsigned char>(lwo[p + 1]));
                        p += 2;
                    }
                }
                faces.push_back(face);
            }
        }
        at = body + size + (size & 1);
    }
    return out;
}

} // namespace

TEST(FileVertices, LwoOfAMeshHasTheFilesPointsAndSharedEdges) {
    const std::string out = Bake("rig_m.fbx", "--frames 0:0");
    for (const char* mesh : {"Limb", "Box", "Blob"}) {
        const std::string name = std::string(mesh) == "Box" ? "Pivot.Box" : mesh;
        const Lwo lwo = ReadLwo(out + "/lwo/" + name + ".lwo");
        const size_t points = lwo.points;
        const std::vector<std::vector<uint32_t>>& faces = lwo.faces;
        const auto& expected = Expected()["meshes"][mesh];
        EXPECT_EQ(points, expected["vertex_count"].get<size_t>()) << mesh;
        ASSERT_EQ(faces.size(), expected["polygons"].size()) << mesh;
        // Closed meshes: every edge is shared by exactly two polygons.
        std::map<std::pair<uint32_t, uint32_t>, int> edges;
        for (const auto& face : faces) {
            for (size_t k = 0; k < face.size(); ++k) {
                const uint32_t a = face[k], b = face[(k + 1) % face.size()];
                ++edges[{std::min(a, b), std::max(a, b)}];
            }
        }
        for (const auto& e : edges) {
            EXPECT_EQ(e.second, 2) << mesh << " edge " << e.first.first << "-" << e.first.second;
        }
    }
    std::system(("rm -rf " + out).c_str());
}

TEST(FileVertices, LwoOfAnObjObjectHasEveryVertex) {
    // The LWO holds the same points as the cache: loose vertices and those
    // of lines alone too, and an object of vertices only has no polygon.
    const std::string out = Bake("loose.obj");
    for (const char* mesh : {"Frame", "Wire", "Dots", "Plate"}) {
        const Lwo lwo = ReadLwo(out + "/lwo/" + mesh + ".lwo");
        const auto& expected = Expected("loose_expected.json")["meshes"][mesh];
        EXPECT_EQ(lwo.points, expected["vertex_count"].get<size_t>()) << mesh;
        EXPECT_EQ(lwo.faces.size(), expected["polygons"].size()) << mesh;
    }
    std::system(("rm -rf " + out).c_str());
}
