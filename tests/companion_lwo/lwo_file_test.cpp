// The LWO2 writer on its own: exact bytes of a small file, index encoding
// past 0xFF00, what Assimp reads back, refused meshes and failed writes.
#include "LWOFile.h"
#include "LWOTestRead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<unsigned char> FromHex(const std::string& hex) {
    std::vector<unsigned char> out;
    std::string digits;
    for (char c : hex) {
        if (c != ' ' && c != '\n') {
            digits += c;
        }
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<unsigned char> Build(const std::vector<double>& xyz, const std::vector<int>& polys,
                                 const char* surface = "Default") {
    LWOMesh mesh;
    std::string error;
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(
        LWOConvertMesh(xyz.data(), xyz.size() / 3, polys.data(), polys.size(), &mesh, &error))
        << error;
    EXPECT_TRUE(LWOBuildFile(mesh, surface, &bytes, &error)) << error;
    return bytes;
}

std::string TempPath(const char* name) {
    return ::testing::TempDir() + "lwo_file_test_" + std::to_string(getpid()) + "_" + name;
}

// One triangle, its last point at z = 0.5, laid out by hand from the LWO2
// layout: every size counted from the chunk bodies below it.
TEST(LWOFile, TriangleBytesExactly) {
    const std::vector<unsigned char> expected =
        FromHex("464F524D 000000B0 4C574F32"
                "54414753 00000008 44656661756C7400"
                "4C415952 00000012 0000 0000 00000000 00000000 00000000 0000"
                "504E5453 00000024"
                "  00000000 00000000 00000000"
                "  3F800000 00000000 00000000"
                "  00000000 3F800000 BF000000"
                "504F4C53 0000000C 46414345 0003 0002 0001 0000"
                "50544147 00000008 53555246 0000 0000"
                "53555246 0000002A 44656661756C7400 0000"
                "  434F4C52 000E 3F48C8C9 3F48C8C9 3F48C8C9 0000"
                "  44494646 0006 3F800000 0000");
    EXPECT_EQ(Build({0, 0, 0, 1, 0, 0, 0, 1, 0.5}, {3, 0, 1, 2}), expected);
}

TEST(LWOFile, ChunksAreEvenAndSumToTheFormSize) {
    // "Skin" makes a five-byte string, padded to six in TAGS and SURF.
    const auto bytes = Build({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {4, 0, 1, 3, 2}, "Skin");
    std::string problem;
    const auto chunks = lwotest::WalkChunks(bytes, &problem);
    ASSERT_TRUE(problem.empty()) << problem;
    std::vector<std::string> ids;
    for (const auto& c : chunks) {
        ids.push_back(c.id);
        EXPECT_EQ(c.size % 2, 0u) << c.id;
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"TAGS", "LAYR", "PNTS", "POLS", "PTAG", "SURF"}));
    EXPECT_EQ(chunks[0].size, 6u);
    EXPECT_EQ(bytes[chunks[0].offset + 4], 0);
    EXPECT_EQ(bytes[chunks[0].offset + 5], 0);
}

TEST(LWOFile, ZIsNegatedLikeTheCacheAndZeroStaysPositive) {
    LWOMesh mesh;
    std::string error;
    const double xyz[] = {0.1, -2.0, 0.0, 3.0, 4.0, -0.0, 0.0, 0.0, 1.5, 0.0, 0.0, -1e-50};
    ASSERT_TRUE(LWOConvertMesh(xyz, 4, nullptr, 0, &mesh, &error)) << error;
    ASSERT_EQ(mesh.points.size(), 12u);
    EXPECT_EQ(mesh.points[0], 0.1f);
    EXPECT_EQ(mesh.points[1], -2.0f);
    EXPECT_FALSE(std::signbit(mesh.points[2]));
    EXPECT_FALSE(std::signbit(mesh.points[5]));
    EXPECT_EQ(mesh.points[8], -1.5f);
    // A z that rounds to -0 in single precision is written as +0 as well.
    EXPECT_FALSE(std::signbit(mesh.points[11]));
}

// Indices from 0xFF00 on take four bytes with the top byte 0xFF, in POLS for
// points and in PTAG for polygons.
TEST(LWOFile, LargeIndicesUseFourBytes) {
    const int n = 0xFF01;
    std::vector<double> xyz(3 * n, 0.0);
    xyz[3 * 0xFF00] = 7.0;
    std::vector<int> polys;
    // 0xFF00 triangles, then one more whose polygon index is 0xFF00.
    for (int p = 0; p < 0xFF00; ++p) {
        polys.insert(polys.end(), {3, 0, 1, 2});
    }
    polys.insert(polys.end(), {3, 0, 0xFEFF, 0xFF00});
    const auto bytes = Build(xyz, polys);
    std::string problem;
    const auto chunks = lwotest::WalkChunks(bytes, &problem);
    ASSERT_TRUE(problem.empty()) << problem;
    ASSERT_EQ(chunks.size(), 6u);

    const auto& pols = chunks[3];
    EXPECT_EQ(pols.size, 4u + 0xFF00u * 8u + 10u);
    const std::vector<unsigned char> last(bytes.begin() + pols.offset + pols.size - 10,
                                          bytes.begin() + pols.offset + pols.size);
    // Reversed: 0xFF00 (four bytes), 0xFEFF (two), 0 (two).
    EXPECT_EQ(last, FromHex("0003 FF00FF00 FEFF 0000"));

    const auto& ptag = chunks[4];
    EXPECT_EQ(ptag.size, 4u + 0xFF00u * 4u + 6u);
    const std::vector<unsigned char> tail(bytes.begin() + ptag.offset + ptag.size - 6,
                                          bytes.begin() + ptag.offset + ptag.size);
    EXPECT_EQ(tail, FromHex("FF00FF00 0000"));
}

// Assimp reads LWO as left-handed: it negates z and reverses the polygons
// back, so what it reports is the host's own mesh, corner for corner.
TEST(LWOFile, AssimpReadsTheHostMeshBack) {
    const std::vector<double> xyz = {-1, -1, 1, 1, -1, 1, 1, 1, 1, -1, 1, 1, 0, 0, -2.25};
    const std::vector<int> polys = {4, 0, 1, 2, 3, 3, 0, 4, 1, 3, 1, 4, 2};
    const std::string path = TempPath("pyramid.lwo");
    ASSERT_TRUE(LWOWriteBytes(path.c_str(), Build(xyz, polys)));

    Assimp::Importer importer;
    const aiScene* scene = lwotest::ReadLWO(importer, path);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh* mesh = scene->mMeshes[0];
    ASSERT_EQ(mesh->mNumFaces, 3u);
    std::size_t at = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        ASSERT_EQ(face.mNumIndices, static_cast<unsigned>(polys[at]));
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            const int point = polys[at + 1 + k];
            const aiVector3D& v = mesh->mVertices[face.mIndices[k]];
            EXPECT_EQ(v.x, static_cast<float>(xyz[3 * point])) << "face " << f << " corner " << k;
            EXPECT_EQ(v.y, static_cast<float>(xyz[3 * point + 1]));
            EXPECT_EQ(v.z, static_cast<float>(xyz[3 * point + 2]));
        }
        at += 1 + face.mNumIndices;
    }
    aiString name;
    scene->mMaterials[mesh->mMaterialIndex]->Get(AI_MATKEY_NAME, name);
    EXPECT_STREQ(name.C_Str(), "Default");
    std::remove(path.c_str());
}

TEST(LWOFile, RefusesMeshesThatCannotBeWritten) {
    const double xyz[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    struct Case {
        const char* what;
        std::vector<int> polys;
    } cases[] = {
        {"index past the points", {3, 0, 1, 3}},
        {"negative index", {3, 0, -1, 2}},
        {"empty polygon", {0}},
        {"data ends inside a polygon", {3, 0, 1, 2, 3, 0, 1}},
        {"negative count", {-3, 0, 1, 2}},
    };
    for (const auto& c : cases) {
        LWOMesh mesh;
        std::string error;
        EXPECT_FALSE(LWOConvertMesh(xyz, 3, c.polys.data(), c.polys.size(), &mesh, &error))
            << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }

    // A polygon of 1024 points does not fit the 10-bit count; 1023 does.
    std::vector<double> many(3 * 1024, 0.0);
    std::vector<int> big = {1024};
    for (int i = 0; i < 1024; ++i) {
        big.push_back(i);
    }
    LWOMesh mesh;
    std::string error;
    EXPECT_FALSE(LWOConvertMesh(many.data(), 1024, big.data(), big.size(), &mesh, &error));
    big[0] = 1023;
    big.pop_back();
    EXPECT_TRUE(LWOConvertMesh(many.data(), 1024, big.data(), big.size(), &mesh, &error)) << error;
}

TEST(LWOFile, WriteFailuresAreReported) {
    const auto bytes = Build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {3, 0, 1, 2});
    EXPECT_FALSE(LWOWriteBytes("/nonexistent-folder/x.lwo", bytes));
    EXPECT_FALSE(LWOWriteBytes(::testing::TempDir().c_str(), bytes)); // a folder
    // Opens, but no byte reaches the disk: seen at the flush, not ignored.
    EXPECT_FALSE(LWOWriteBytes("/dev/full", bytes));
    struct stat st;
    EXPECT_EQ(stat("/dev/full", &st), 0) << "a device is never removed";

    const std::string path = TempPath("ok.lwo");
    ASSERT_TRUE(LWOWriteBytes(path.c_str(), bytes));
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> back((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    EXPECT_EQ(back, bytes);
    std::remove(path.c_str());
}

} // namespace
