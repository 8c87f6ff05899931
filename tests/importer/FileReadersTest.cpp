// The readers of a file's own meshes (FBX binary and text, OBJ, Collada), the
// mapping of Assimp's corners onto them, and what a scene file built through
// them holds: points, polygons, units, refusals.
#include "ImporterSupport.h"

#include "host/import/FileMeshes.h"
#include "host/import/fbx/FbxMeshes.h"
#include "host/import/fbx/FbxScene.h"
#include "host/import/fbx/FbxSceneBuilder.h"
#include "host/scene/Scene.h"
#include "host/import/VertexMapping.h"

#include <assimp/mesh.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>

using namespace importer_test;
using namespace std::string_literals;

namespace {

// --- A small writer of binary FBX 7.4 (32-bit offsets). ---

template <class T> std::string LE(T v) {
    std::string s(sizeof(T), '\0');
    std::memcpy(s.data(), &v, sizeof(T));
    return s;
}

std::string Text(const std::string& s) {
    return "S" + LE<uint32_t>(static_cast<uint32_t>(s.size())) + s;
}
std::string Int64(int64_t v) {
    return "L" + LE(v);
}
// An array value: type, element count, encoding, and its bytes as stored.
std::string ArrayValue(char type, uint32_t count, uint32_t encoding, const std::string& bytes) {
    return std::string(1, type) + LE(count) + LE(encoding) +
           LE<uint32_t>(static_cast<uint32_t>(bytes.size())) + bytes;
}
template <class T> std::string Raw(const std::vector<T>& values) {
    std::string s;
    for (T v : values) {
        s += LE(v);
    }
    return s;
}
std::string Deflate(const std::string& raw) {
    uLongf size = compressBound(raw.size());
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    out.resize(size);
    return out;
}

struct Node {
    std::string name;
    std::vector<std::string> values;
    std::vector<Node> children;
};

// The node's record, starting at file offset `at`; wide: FBX 7.5's 64-bit
// offsets and counts.
std::string Record(const Node& n, size_t at, bool wide) {
    std::string values;
    for (const std::string& v : n.values) {
        values += v;
    }
    const size_t word = wide ? 8 : 4;
    const size_t head = 3 * word + 1 + n.name.size();
    std::string body;
    for (const Node& c : n.children) {
        body += Record(c, at + head + values.size() + body.size(), wide);
    }
    if (!n.children.empty()) {
        body += std::string(3 * word + 1, '\0');
    }
    auto w = [wide](size_t v) {
        return wide ? LE<uint64_t>(v) : LE<uint32_t>(static_cast<uint32_t>(v));
    };
    const size_t end = at + head + values.size() + body.size();
    return w(end) + w(n.values.size()) + w(values.size()) +
           std::string(1, static_cast<char>(n.name.size())) + n.name + values + body;
}

std::string BinaryFbx(const std::vector<Node>& top, uint32_t version = 7400) {
    const bool wide = version >= 7500;
    std::string out = "Kaydara FBX Binary  \0\x1a\0"s + LE<uint32_t>(version);
    for (const Node& n : top) {
        out += Record(n, out.size(), wide);
    }
    return out + std::string(wide ? 25 : 13, '\0');
}

// A model "Quad" showing a geometry of two polygons over four vertices.
std::vector<Node> QuadScene(const std::string& vertices, const std::string& indices) {
    Node geometry{"Geometry", {Int64(7), Text("QuadMesh\0\1Geometry"s), Text("Mesh")}, {}};
    geometry.children.push_back({"Vertices", {vertices}, {}});
    geometry.children.push_back({"PolygonVertexIndex", {indices}, {}});
    Node model{"Model", {Int64(9), Text("Quad\0\1Model"s), Text("Mesh")}, {}};
    return {{"Objects", {}, {geometry, model}},
            {"Connections", {}, {{"C", {Text("OO"), Int64(7), Int64(9)}, {}}}}};
}

const std::vector<double> kQuadXYZ = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0};
const std::vector<int32_t> kQuadPolys = {0, 1, 2, ~3, 1, 4, ~2}; // a quad and a triangle

std::vector<std::vector<int>> Polygons(const host::FileMesh& m) {
    std::vector<std::vector<int>> out;
    for (int k = 0; k < m.PolygonCount(); ++k) {
        out.emplace_back(m.corners.begin() + m.starts[k], m.corners.begin() + m.starts[k + 1]);
    }
    return out;
}

// The mesh of the model "Quad" of an FBX file.
host::FileMesh QuadMesh(const std::string& bytes) {
    const host::FbxScene file = host::FbxScene::Read(bytes);
    for (const host::FbxObject* m : file.Models()) {
        if (m->name == "Quad" && file.GeometryOf(*m)) {
            return host::ReadFbxGeometry(file.Document(), *file.GeometryOf(*m)->node, m->name);
        }
    }
    throw std::runtime_error("no model \"Quad\" with a mesh");
}

// The error of reading a binary FBX's mesh, or "" when it reads.
std::string FbxMeshError(const std::string& bytes) {
    try {
        QuadMesh(bytes);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(FileReaders, BinaryFbxRawAndCompressedArrays) {
    const std::string raw = Raw(kQuadXYZ);
    const std::pair<std::string, uint32_t> cases[] = {{ArrayValue('d', 15, 0, raw), 7400},
                                                      {ArrayValue('d', 15, 1, Deflate(raw)), 7400},
                                                      {ArrayValue('d', 15, 1, Deflate(raw)), 7500}};
    for (const auto& [vertices, version] : cases) {
        const host::FileMesh mesh = QuadMesh(
            BinaryFbx(QuadScene(vertices, ArrayValue('i', 7, 0, Raw(kQuadPolys))), version));
        ASSERT_EQ(mesh.positions.size(), 5u);
        EXPECT_EQ(mesh.positions[4].x, 2.0);
        EXPECT_EQ(Polygons(mesh), (std::vector<std::vector<int>>{{0, 1, 2, 3}, {1, 4, 2}}));
    }
}

TEST(FileReaders, CorruptFbxIsRefusedNamingTheMesh) {
    const std::string xyz = Raw(kQuadXYZ), polys = ArrayValue('i', 7, 0, Raw(kQuadPolys));
    std::string badZlib = Deflate(xyz);
    badZlib[badZlib.size() / 2] ^= 0x5A;
    const struct {
        std::string vertices, indices, message;
    } cases[] = {
        {ArrayValue('d', 15, 1, badZlib), polys, "bad compressed data"},
        {ArrayValue('d', 15, 1, "not zlib at all"), polys, "bad compressed data"},
        // More elements than the data hold, and far more than any mesh.
        {ArrayValue('d', 16, 1, Deflate(xyz)), polys, "do not hold the element count"},
        {ArrayValue('d', 0x40000000, 1, Deflate(xyz)), polys, "element count out of range"},
        {ArrayValue('d', 16, 0, xyz), polys, "does not match the element count"},
        {ArrayValue('d', 15, 7, xyz), polys, "unknown encoding"},
        {ArrayValue('d', 15, 0, xyz), ArrayValue('i', 3, 0, Raw<int32_t>({0, 1, ~5})),
         "names a vertex that does not exist"},
        {ArrayValue('d', 15, 0, xyz), ArrayValue('i', 3, 0, Raw<int32_t>({0, 1, 2})),
         "last polygon is not closed"},
        {ArrayValue('d', 14, 0, Raw(std::vector<double>(14, 0.0))), polys, "not a list of points"},
    };
    for (const auto& c : cases) {
        const std::string what = FbxMeshError(BinaryFbx(QuadScene(c.vertices, c.indices)));
        EXPECT_NE(what.find("FBX mesh \"Quad\""), std::string::npos) << what;
        EXPECT_NE(what.find(c.message), std::string::npos) << what;
        EXPECT_EQ(what.find('\n'), std::string::npos) << what;
    }
    // A node whose end lies past its parent's, or past the file.
    std::string file = BinaryFbx(QuadScene(ArrayValue('d', 15, 0, xyz), polys));
    const std::string cut = file.substr(0, file.size() - 40);
    EXPECT_NE(FbxMeshError(cut).find("outside"), std::string::npos) << FbxMeshError(cut);
    file[27] = '\xff'; // the first node's end offset
    EXPECT_FALSE(FbxMeshError(file).empty());

    // Through xsihost: one line, status 2.
    const zkt::ScratchDir scratch;
    const std::string path = scratch / "corrupt.fbx";
    std::string fbx = ReadText(ZK_DATA_DIR "/dcc/rig_m.fbx");
    const size_t at = fbx.find("Vertices");
    ASSERT_NE(at, std::string::npos);
    for (size_t i = at + 8 + 13 + 20; i < at + 8 + 13 + 60; ++i) {
        fbx[i] = static_cast<char>(fbx[i] ^ 0x33); // inside the compressed bytes
    }
    std::ofstream(path, std::ios::binary) << fbx;
    const Outcome r = Xsihost("list --scene " + path);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

TEST(FileReaders, AsciiFbx) {
    const std::string text = R"(; FBX 7.4.0 project file
FBXHeaderExtension:  {
	FBXHeaderVersion: 1003
}
GlobalSettings:  {
	Properties70:  {
		P: "UnitScaleFactor", "double", "Number", "",2.54
		P: "TimeMode", "enum", "", "",14
		P: "CustomFrameRate", "double", "Number", "",12.5
	}
}
Objects:  {
	Geometry: 7, "Geometry::QuadMesh", "Mesh" {
		Vertices: *15 {
			a: 0,0,0,1,0,0,1,1,0,
0,1,0,2,0,0
		} 
		PolygonVertexIndex: *7 {
			a: 0,1,2,-4,1,4,-3
		}
		Shading: T
	}
	Model: 9, "Model::Quad", "Mesh" {
	}
	AnimationStack: 3, "AnimStack::Take", "" {
		Properties70:  {
			P: "LocalStart", "KTime", "Time", "",92372316000
			P: "LocalStop", "KTime", "Time", "",184744632000
		}
	}
	AnimationStack: 4, "AnimStack::Open", "" {
	}
	AnimationCurve: 5, "AnimCurve::", "" {
		KeyTime: *2 {
			a: 138558474000,46186158000
		}
	}
}
Connections:  {
	C: "OO",7,9
	C: "OO",9,0
}
)";
    host::SceneFileInfo info;
    const std::unique_ptr<host::Scene> scene = host::BuildFbxScene(text, "", {}, &info, nullptr);
    const host::Item* quad = scene->FindItem(L"Quad");
    ASSERT_NE(quad, nullptr);
    // In metres: the file's inches.
    const std::vector<host::Vec3> points = quad->GetMesh()->GetPoints();
    ASSERT_EQ(points.size(), 5u);
    EXPECT_DOUBLE_EQ(points[3].y, 0.0254);
    EXPECT_EQ(quad->GetMesh()->GetPolygonSizes(), (std::vector<int>{4, 3}));
    EXPECT_EQ(quad->GetMesh()->GetPolygonPoints(), (std::vector<int>{0, 1, 2, 3, 1, 4, 2}));
    EXPECT_DOUBLE_EQ(info.metresPerUnit, 0.0254);
    EXPECT_EQ(info.fileFrameRate, 12.5);
    EXPECT_EQ(info.frameRate, 12.5);
    // The first stack plays: from 2 s to 4 s of the file's time, frames 25
    // to 50 at 12.5 frames per second.
    EXPECT_EQ(scene->GetStartFrame(), 25.0);
    EXPECT_EQ(scene->GetEndFrame(), 50.0);

    for (const char* bad : {"Objects: {\n", "Objects: }\n", "a b c\n", "V: \"open\n"}) {
        EXPECT_THROW(host::FbxScene::Read(bad), host::FbxError) << bad;
    }
}

TEST(FileReaders, Obj) {
    const host::FileMesh m = host::ReadObjMeshes("# quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\n"
                                                 "o A\nf 1/1/1 2//2 3\nv 0 1 0\n"
                                                 "g B\nf -4 -2 \\\n -1\nl 1 2\nf 1 2\n");
    EXPECT_FALSE(m.allVertices);
    EXPECT_EQ(m.positions.size(), 4u);
    EXPECT_EQ(Polygons(m), (std::vector<std::vector<int>>{{0, 1, 2}, {0, 2, 3}}));
    for (const char* bad : {"v 0 0 0\nf 1 2 3\n", "v 0 0\n", "v 0 0 0\nf 0 1 1\n",
                            "v 0 0 0\nf 1 -2 1\n", "v 0 0 0\nf a b c\n"}) {
        EXPECT_THROW(host::ReadObjMeshes(bad), host::FileMeshError) << bad;
    }
}

TEST(FileReaders, MappingNeedsEveryCornerOnItsVertex) {
    host::FileMesh file;
    file.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    file.corners = {0, 1, 2, 0, 2, 3};
    file.starts = {0, 3, 6};
    file.users = {"Quad"};
    // Assimp's corners: one vertex per corner, faces in file order.
    auto corners = [](std::vector<aiVector3D> v, std::vector<std::vector<unsigned>> faces) {
        auto m = std::make_unique<aiMesh>();
        m->mNumVertices = static_cast<unsigned>(v.size());
        m->mVertices = new aiVector3D[v.size()];
        std::copy(v.begin(), v.end(), m->mVertices);
        m->mNumFaces = static_cast<unsigned>(faces.size());
        m->mFaces = new aiFace[faces.size()];
        for (size_t f = 0; f < faces.size(); ++f) {
            m->mFaces[f].mNumIndices = static_cast<unsigned>(faces[f].size());
            m->mFaces[f].mIndices = new unsigned[faces[f].size()];
            std::copy(faces[f].begin(), faces[f].end(), m->mFaces[f].mIndices);
        }
        return m;
    };
    const aiVector3D a(0, 0, 0), b(1, 0, 0), c(1, 1, 0), d(0, 1, 0);
    // Split by material: the second triangle in a mesh of its own.
    auto first = corners({a, b, c}, {{0, 1, 2}}), second = corners({a, c, d}, {{0, 1, 2}});
    host::VertexMapper mapper({file});
    host::ItemVertices out;
    ASSERT_TRUE(mapper.Map("Quad", {first.get(), second.get()}, &out));
    ASSERT_EQ(out.points.size(), 4u);
    ASSERT_EQ(out.pointOf.size(), 2u);
    ASSERT_EQ(out.source.size(), 4u);
    EXPECT_EQ(out.polygonSizes, (std::vector<int>{3, 3}));
    EXPECT_EQ(out.polygonPoints, (std::vector<int>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(out.pointOf[1], (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(out.source[3], (std::pair<int, unsigned>{1, 2u}));

    // A corner off its vertex, a turned winding, a face the file lacks.
    auto moved = corners({a, b, aiVector3D(1, 1.001f, 0)}, {{0, 1, 2}});
    auto turned = corners({b, c, a}, {{0, 1, 2}});
    auto quad = corners({a, b, c, d}, {{0, 1, 2, 3}});
    for (const aiMesh* m : {moved.get(), turned.get(), quad.get()}) {
        EXPECT_FALSE(mapper.Map("Quad", {m}, &out));
    }
}

TEST(FileReaders, ColladaPolygonsUnitsAndUnmappableFiles) {
    // A quad of a <polylist> and two triangles, in centimetres: metres by
    // default, the file's numbers with keepUnits.
    for (const bool keep : {false, true}) {
        FreshHost();
        host::AssimpLoadOptions options;
        options.keepUnits = keep;
        host::LoadSceneFile(ZK_DATA_DIR "/quads_cm.dae", options);
        const double k = keep ? 100.0 : 1.0;
        ExpectPoints(Points(L"Strip", 0, true),
                     {{0.5 * k, 0, 0},
                      {1.5 * k, 0, 0},
                      {2.5 * k, 0, 0},
                      {0.5 * k, 1 * k, 0},
                      {1.5 * k, 1 * k, 0},
                      {2.5 * k, 1 * k, 0}},
                     0);
        const host::Mesh& mesh = *Find(L"Strip")->GetMesh();
        EXPECT_EQ(mesh.GetPolygonSizes(), (std::vector<int>{4, 3, 3}));
        EXPECT_EQ(mesh.GetPolygonPoints(), (std::vector<int>{1, 2, 5, 4, 0, 1, 4, 0, 4, 3}));
    }

    // Triangle strips have no reader: the file is refused, naming the mesh.
    const Outcome r = Xsihost("list --scene " ZK_DATA_DIR "/tristrip.dae");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("mesh \"Strip\""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;

    double unit = -1;
    const auto meshes = host::ReadColladaMeshes(ReadText(ZK_DATA_DIR "/quads_cm.dae"), &unit);
    EXPECT_EQ(unit, 0.01);
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_EQ(meshes[0].users, (std::vector<std::string>{"Strip", "Strip"}));
    for (const char* bad :
         {"<COLLADA", "<COLLADA><library_geometries><geometry id='g'><mesh><vertices id='v'/>"
                      "</mesh></geometry></library_geometries></COLLADA>"}) {
        EXPECT_THROW(host::ReadColladaMeshes(bad, &unit), host::FileMeshError) << bad;
    }
}

// A node of <library_nodes> that two scene nodes instance ("A" at z = 5,
// "B" at z = -5), its translate X animated from 0 (0 s) to 2 (1 s): Assimp
// drops the channel; both instances move, and the scene runs to 1 s. A
// library node whose animated element the importer does not follow (a
// <lookat>) is named in one warning line.
TEST(FileReaders, ColladaLibraryNodesMoveInEveryInstance) {
    LoadIntoHost(ZK_DATA_DIR "/library_nodes.dae");
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 30.0);
    for (const double frame : {0.0, 15.0, 30.0, 45.0}) {
        const double x = std::min(frame, 30.0) / 15.0;
        EXPECT_P3_NEAR(Translation(L"A.Lib", frame), (P3{x, 0, 5}), "A.Lib frame " << frame);
        EXPECT_P3_NEAR(Translation(L"B.Lib1", frame), (P3{x, 0, -5}), "B.Lib1 frame " << frame);
    }
    std::string lookat = ReadText(ZK_DATA_DIR "/library_nodes.dae");
    const std::string translate = R"(<translate sid="location">0 0 0</translate>)";
    const size_t at = lookat.find(translate);
    ASSERT_NE(at, std::string::npos);
    lookat.replace(at, translate.size(), R"(<lookat sid="location">0 0 0 1 0 0 0 1 0</lookat>)");
    const std::string path = ZK_TEST_OUT_DIR "/library_lookat.dae";
    std::ofstream(path) << lookat;
    const Outcome r = Xsihost("list --scene " + path);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "WARNING: the Collada animation of \"Lib/location.X\" moves a node of "
                     "<library_nodes> in a way the importer does not follow; it is left out\n");
}
