// Files written by the ZSC writer (and MDD files built here) read back with
// every value; printers under a foreign locale; several files at once.
#include "inspect/ZK_Inspect.h"

#include "writers/ZSCFile.h"

#include "ZK_JsonCheck.h"
#include "ZK_TestFiles.h"
#include "ZK_TestScene.h"

#include <clocale>
#include <cstring>
#include <locale>
#include <sstream>

namespace {

using Bytes = std::vector<unsigned char>;

// A distinct value for sample k, field f of item i.
float V(int i, int k, int f) {
    return static_cast<float>(i * 100 + k * 10 + f) * 0.25f - 3.0f;
}

void Fill3(float* v, int i, int k, int f) {
    for (int a = 0; a < 3; ++a)
        v[a] = V(i, k, f + a);
}

// Every kind, cameras of the three fov layouts, frames 3 to 3 + frames - 1.
ZK_TestScene FullScene(int frames, int meshFormat) {
    ZK_TestScene scene(3, 3 + frames - 1, 25.0f);
    scene.ctrl.mddAct = 1;
    scene.ctrl.meshFormat = meshFormat;
    scene.Motion(ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS);
    for (int i = 0; i < 3; ++i) {
        CameraFrame_st* m = scene.AddCamera("cam" + std::to_string(i), 0.5f + i, 1.25f);
        scene.cameras.back().aspect = 1.5f;
        scene.cameras.back().fovType = i; // 0, 1 and 2 (no fov stored)
        for (int k = 0; k < frames; ++k) {
            Fill3(m[k].pos, i, k, 0);
            Fill3(m[k].rotXYZ, i, k, 3);
            m[k].fov = V(i, k, 6) + 10.0f; // never 0
            m[k].projPlaneDist = V(i, k, 7);
        }
    }
    for (int i = 0; i < 2; ++i) {
        LightFrame_st* m = scene.AddLight("light" + std::to_string(i), i + 1);
        for (int k = 0; k < frames; ++k) {
            Fill3(m[k].pos, i, k, 0);
            Fill3(m[k].rotXYZ, i, k, 3);
            Fill3(m[k].scale, i, k, 6);
            for (int c = 0; c < 4; ++c)
                m[k].color[c] = V(i, k, 9 + c);
            m[k].intensity = V(i, k, 13);
        }
    }
    MotionFrame_st* n = scene.AddNull("null \"quoted\" \xE9");
    for (int k = 0; k < frames; ++k) {
        Fill3(n[k].pos, 0, k, 0);
        Fill3(n[k].rotXYZ, 0, k, 3);
        Fill3(n[k].scale, 0, k, 6);
    }
    for (int i = 0; i < 2; ++i) {
        const std::string name = "obj" + std::to_string(i);
        // The first object has no paths at all (their steps did not run).
        MotionFrame_st* m = i == 0 ? scene.AddObject(name)
                                   : scene.AddObject(name, "/l/" + name + ".lwo",
                                                     "/m/" + name + ".mdd", "/e/" + name + ".emdl");
        for (int k = 0; k < frames; ++k) {
            Fill3(m[k].pos, i, k, 0);
            Fill3(m[k].ppos, i, k, 3);
            Fill3(m[k].rotXYZ, i, k, 6);
            Fill3(m[k].scale, i, k, 9);
        }
    }
    return scene;
}

std::vector<float> Values(std::initializer_list<const float*> groups, int count) {
    std::vector<float> out;
    for (const float* g : groups)
        out.insert(out.end(), g, g + count);
    return out;
}

// Checks every record read against the records written.
void ExpectSameScene(const ZK_TestScene& scene, const ZK_ZscFile& zsc) {
    const int frames = scene.Frames();
    EXPECT_EQ(zsc.frameCount, frames);
    EXPECT_EQ(zsc.startFrame, 3);
    EXPECT_EQ(zsc.itemCount, 3 + 2 + 1 + 2 + 2);
    ASSERT_EQ(zsc.records.size(), 10u);
    const auto negZ = [](const float* p) { return std::vector<float>{p[0], p[1], -p[2]}; };
    const auto samplesAt = [&](const ZK_ZscRecord& r, int k) {
        EXPECT_EQ(r.samples[k].frame, 3 + k);
        EXPECT_EQ(r.samples[k].time, static_cast<float>(3 + k) / 25.0f);
        return r.samples[k].values;
    };
    for (int i = 0; i < 3; ++i) {
        const ZK_ZscRecord& r = zsc.records[i];
        const CameraData_st& c = scene.cameras[i];
        EXPECT_EQ(r.kind, ZK_ZscRecordKind::Camera);
        EXPECT_EQ(r.name, c.name);
        EXPECT_EQ(r.fovType, i);
        EXPECT_EQ(r.sampleSize, i == 2 ? 36u : 44u);
        EXPECT_EQ(r.imageHeight, 480);
        EXPECT_EQ(r.imageWidth, 640);
        EXPECT_EQ(r.pixelRatio, 1.25f);
        EXPECT_EQ(r.aspect, 1.5f);
        EXPECT_EQ(r.filmHeight, static_cast<float>((0.5 + i) * 25.4));
        ASSERT_EQ(r.samples.size(), static_cast<size_t>(frames));
        for (int k = 0; k < frames; ++k) {
            const CameraFrame_st& m = c.motion[k];
            std::vector<float> expected = negZ(m.pos);
            expected.insert(expected.end(), m.rotXYZ, m.rotXYZ + 3);
            if (i == 0)
                expected.insert(expected.end(), {0.0f, m.fov});
            if (i == 1)
                expected.insert(expected.end(), {m.fov, 0.0f});
            expected.push_back(m.projPlaneDist);
            EXPECT_EQ(samplesAt(r, k), expected);
        }
    }
    for (int i = 0; i < 2; ++i) {
        const ZK_ZscRecord& r = zsc.records[3 + i];
        EXPECT_EQ(r.kind, ZK_ZscRecordKind::Light);
        EXPECT_EQ(r.name, scene.lights[i].name);
        EXPECT_EQ(r.lightType, i + 1);
        for (int k = 0; k < frames; ++k) {
            const LightFrame_st& m = scene.lights[i].motion[k];
            std::vector<float> expected = negZ(m.pos);
            const std::vector<float> rest = Values({m.rotXYZ, m.scale}, 3);
            expected.insert(expected.end(), rest.begin(), rest.end());
            expected.insert(expected.end(), m.color, m.color + 4);
            expected.push_back(m.intensity);
            EXPECT_EQ(samplesAt(r, k), expected);
        }
    }
    const ZK_ZscRecord& n = zsc.records[5];
    EXPECT_EQ(n.kind, ZK_ZscRecordKind::Null);
    EXPECT_EQ(n.name, scene.nulls[0].name);
    for (int k = 0; k < frames; ++k) {
        const MotionFrame_st& m = scene.nulls[0].motion[k];
        std::vector<float> expected = negZ(m.pos);
        const std::vector<float> rest = Values({m.rotXYZ, m.scale}, 3);
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_EQ(samplesAt(n, k), expected);
    }
    const int format = scene.ctrl.meshFormat;
    for (int i = 0; i < 2; ++i) {
        const ObjectData& o = scene.objects[i];
        const std::string mesh = format == 0 ? o.lwoPath : format == 1 ? o.emdlPath : "";
        const ZK_ZscRecord& mdd = zsc.records[6 + i];
        EXPECT_EQ(mdd.kind, ZK_ZscRecordKind::MddObject);
        EXPECT_EQ(mdd.name, o.name);
        EXPECT_EQ(mdd.hasMeshPath, format == 0 || format == 1);
        EXPECT_EQ(mdd.meshPath, mesh);
        EXPECT_EQ(mdd.meshFormat, format);
        EXPECT_EQ(mdd.mddPath, o.mddPath);
        const ZK_ZscRecord& keyed = zsc.records[8 + i];
        EXPECT_EQ(keyed.kind, ZK_ZscRecordKind::KeyedObject);
        EXPECT_EQ(keyed.name, o.name);
        EXPECT_EQ(keyed.meshPath, mesh);
        EXPECT_EQ(keyed.meshFormat, format);
        for (int k = 0; k < frames; ++k) {
            const MotionFrame_st& m = o.motion[k];
            std::vector<float> expected = negZ(m.pos);
            const std::vector<float> rest = Values({m.ppos, m.rotXYZ, m.scale}, 3);
            expected.insert(expected.end(), rest.begin(), rest.end());
            EXPECT_EQ(samplesAt(keyed, k), expected);
        }
    }
}

TEST(InspectRoundTrip, ZscWrittenByTheWriterReadsBackWhole) {
    ZK_ScratchDir dir;
    // One frame makes the camera sample size undecidable from the frame
    // numbers alone; the other records decide it.
    for (int frames : {1, 2, 4}) {
        for (int format : {0, 1, 5}) {
            SCOPED_TRACE("frames " + std::to_string(frames) + ", mesh format " +
                         std::to_string(format));
            ZK_TestScene scene = FullScene(frames, format);
            const std::string path = dir.File("scene.zsc");
            ASSERT_EQ(scene.Write(WriteZSC, path), 1);
            ZK_ZscFile zsc;
            std::string error;
            ASSERT_TRUE(ZK_ReadZsc(path, &zsc, &error)) << error;
            ExpectSameScene(scene, zsc);

            std::ostringstream json;
            ZK_PrintZscJson(json, zsc);
            EXPECT_TRUE(ZK_JsonCheck::Valid(json.str()));
            EXPECT_NE(json.str().find("\"name\": \"null \\\"quoted\\\" \\u00e9\""),
                      std::string::npos);

            // No shorter file reads.
            const Bytes bytes = ZK_ReadBytes(path);
            for (size_t n = 36; n < bytes.size(); ++n) {
                ZK_ZscFile cut;
                EXPECT_FALSE(ZK_ParseZsc(bytes.data(), n, &cut, &error)) << n;
            }
        }
    }
}

// MDD bytes for F frames and P points: times (first + f) / rate, then F + 1
// blocks whose values depend on block, point and axis.
Bytes BuildMdd(int frames, int points, int blocks) {
    Bytes bytes;
    const auto put = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<unsigned char>(v >> shift));
    };
    const auto putFloat = [&](float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        put(v);
    };
    put(static_cast<uint32_t>(frames));
    put(static_cast<uint32_t>(points));
    for (int f = 0; f < frames; ++f)
        putFloat(static_cast<float>(1 + f) / 30.0f);
    for (int b = 0; b < blocks; ++b)
        for (int p = 0; p < points; ++p)
            for (int a = 0; a < 3; ++a)
                putFloat(V(b, p, a));
    return bytes;
}

TEST(InspectRoundTrip, MddBuiltHereReadsBackWhole) {
    for (int frames : {1, 3, 17}) {
        for (int points : {0, 1, 5}) {
            for (int blocks = 0; blocks <= frames + 1; ++blocks) {
                const Bytes bytes = BuildMdd(frames, points, blocks);
                ZK_MddFile mdd;
                std::string error;
                ASSERT_TRUE(ZK_ParseMdd(bytes.data(), bytes.size(), &mdd, &error)) << error;
                EXPECT_EQ(mdd.frameCount, frames);
                EXPECT_EQ(mdd.pointCount, points);
                EXPECT_EQ(mdd.blockCount, points == 0 ? frames + 1 : blocks);
                EXPECT_EQ(mdd.complete, points == 0 || blocks == frames + 1);
                ASSERT_EQ(mdd.times.size(), static_cast<size_t>(frames));
                EXPECT_EQ(mdd.times.back(), static_cast<float>(frames) / 30.0f);
                ASSERT_EQ(mdd.points.size(), static_cast<size_t>(blocks * points * 3));
                for (int b = 0; b < blocks; ++b)
                    for (int p = 0; p < points; ++p)
                        for (int a = 0; a < 3; ++a)
                            EXPECT_EQ(mdd.points[(b * points + p) * 3 + a], V(b, p, a));
            }
        }
    }
}

TEST(InspectRoundTrip, PrintersIgnoreTheProcessLocale) {
    ZK_ScratchDir dir;
    ZK_TestScene scene = FullScene(2, 0);
    const std::string zscPath = dir.File("scene.zsc");
    ASSERT_EQ(scene.Write(WriteZSC, zscPath), 1);
    const std::string mddPath = dir.File("obj.mdd");
    {
        const Bytes bytes = BuildMdd(1200, 3, 1201);
        std::FILE* f = std::fopen(mddPath.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    const auto print = [&](bool json) {
        std::ostringstream out, err;
        EXPECT_EQ(ZK_InspectFiles({zscPath, mddPath}, json, out, err), 0);
        EXPECT_EQ(err.str(), "");
        return out.str();
    };
    const std::string summary = print(false);
    const std::string json = print(true);
    EXPECT_NE(summary.find("frames 1200, points 3"), std::string::npos) << summary;
    EXPECT_NE(summary.find("at 25 fps"), std::string::npos);
    EXPECT_TRUE(ZK_JsonCheck::Valid(json));

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::locale german;
    try {
        german = std::locale("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed: the locale check is skipped";
    }
    const std::locale before = std::locale::global(german);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const std::string germanSummary = print(false);
    const std::string germanJson = print(true);
    std::locale::global(before);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(germanSummary, summary);
    EXPECT_EQ(germanJson, json);
}

TEST(InspectRoundTrip, InspectFilesReportsEachFileThatCannotBeRead) {
    ZK_ScratchDir dir;
    ZK_TestScene scene = FullScene(1, 1);
    const std::string good = dir.File("scene.zsc");
    ASSERT_EQ(scene.Write(WriteZSC, good), 1);
    const std::string missing = dir.File("missing.mdd");
    const std::string cut = dir.File("cut.zsc");
    {
        const Bytes bytes = ZK_ReadBytes(good);
        std::FILE* f = std::fopen(cut.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size() - 1, f);
        std::fclose(f);
    }
    std::ostringstream out, err;
    EXPECT_EQ(ZK_InspectFiles({missing, good, cut}, true, out, err), 1);
    EXPECT_TRUE(ZK_JsonCheck::Valid(out.str())) << out.str();
    EXPECT_EQ(ZK_Count(out.str(), "\"error\": "), 2);
    EXPECT_EQ(ZK_Count(out.str(), "\"format\": \"zsc\""), 1);
    const std::string messages = err.str();
    EXPECT_EQ(ZK_Count(messages, "\n"), 2);
    EXPECT_EQ(messages.find(missing + ": cannot be opened: "), 0u) << messages;
    EXPECT_NE(messages.find(cut + ": record 10 at byte "), std::string::npos) << messages;

    std::ostringstream none, noErr;
    EXPECT_EQ(ZK_InspectFiles({}, true, none, noErr), 0);
    EXPECT_EQ(none.str(), "[]\n");
}

} // namespace
