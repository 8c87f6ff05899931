// Files written by the ZSC writer (and MDD files built here) read back with
// every value; the printers under a foreign locale; several files at once;
// and mutated files, which must never break the readers (meant to run under
// the address and undefined-behaviour sanitizers too).
#include "InspectSupport.h"

#include "writers/ZSCFile.h"

#include <random>

namespace {

using Kind = ZK_ZscRecordKind;

// Sets the fields, in order, of item i at sample k to V(i, k, 0), V(i, k, 1)...
void Fill(int i, int k, std::initializer_list<std::pair<float*, int>> fields) {
    int f = 0;
    for (const auto& [values, count] : fields)
        for (int a = 0; a < count; ++a)
            values[a] = V(i, k, f++);
}

// Every kind from frame 3 at 25 fps: cameras of fov types 0, 1 and 2, two
// lights, a null with quotes and a byte above 127 in its name, and two
// objects under MDD and keyed, the first without any path.
Scene FullScene(int frames, int meshFormat) {
    Scene s(3, frames, 25.0f, kAllKinds);
    s.ctrl.mddAct = 1;
    s.ctrl.meshFormat = meshFormat;
    for (int i = 0; i < 3; ++i) {
        CameraFrame_st* m = s.AddCamera("cam" + std::to_string(i), 0.5f + i, 1.25f);
        s.cameras[i].aspect = 1.5f;
        s.cameras[i].fovType = i;
        for (int k = 0; k < frames; ++k) {
            Fill(i, k, {{m[k].pos, 3}, {m[k].rotXYZ, 3}, {&m[k].fov, 1}, {&m[k].projPlaneDist, 1}});
            m[k].fov += 10.0f; // never 0
        }
    }
    for (int i = 0; i < 2; ++i) {
        LightFrame_st* m = s.AddLight("light" + std::to_string(i), i + 1);
        for (int k = 0; k < frames; ++k)
            Fill(i, k,
                 {{m[k].pos, 3},
                  {m[k].rotXYZ, 3},
                  {m[k].scale, 3},
                  {m[k].color, 4},
                  {&m[k].intensity, 1}});
    }
    MotionFrame_st* n = s.AddNull("null \"quoted\" \xE9");
    for (int k = 0; k < frames; ++k)
        Fill(0, k, {{n[k].pos, 3}, {n[k].rotXYZ, 3}, {n[k].scale, 3}});
    for (int i = 0; i < 2; ++i) {
        const std::string name = "obj" + std::to_string(i);
        MotionFrame_st* m = i == 0 ? s.AddObject(name)
                                   : s.AddObject(name, "/l/" + name + ".lwo", "/m/" + name + ".mdd",
                                                 "/e/" + name + ".emdl");
        for (int k = 0; k < frames; ++k)
            Fill(i, k, {{m[k].pos, 3}, {m[k].ppos, 3}, {m[k].rotXYZ, 3}, {m[k].scale, 3}});
    }
    return s;
}

// The values of sample k of item i as its record stores them: z negated, and
// a camera's fov where its fov type puts it.
std::vector<float> Expected(Kind kind, int i, int k) {
    const int count = std::vector<int>{6, 14, 9, 0, 12}[static_cast<int>(kind)];
    std::vector<float> values;
    for (int f = 0; f < count; ++f)
        values.push_back(f == 2 ? -V(i, k, f) : V(i, k, f));
    if (kind == Kind::Camera) {
        const float fov = V(i, k, 6) + 10.0f;
        if (i < 2)
            values.insert(values.end(), {i == 0 ? 0.0f : fov, i == 0 ? fov : 0.0f});
        values.push_back(V(i, k, 7));
    }
    return values;
}

void ExpectSameScene(const Scene& s, const ZK_ZscFile& zsc) {
    EXPECT_EQ(zsc.frameCount, s.frames);
    EXPECT_EQ(zsc.startFrame, 3);
    EXPECT_EQ(zsc.itemCount, 10);
    ASSERT_EQ(zsc.records.size(), 10u);
    const Kind kinds[] = {Kind::Camera,      Kind::Camera,     Kind::Camera,    Kind::Light,
                          Kind::Light,       Kind::Null,       Kind::MddObject, Kind::MddObject,
                          Kind::KeyedObject, Kind::KeyedObject};
    const int items[] = {0, 1, 2, 0, 1, 0, 0, 1, 0, 1};
    const int format = s.ctrl.meshFormat;
    for (int j = 0; j < 10; ++j) {
        SCOPED_TRACE("record " + std::to_string(j));
        const ZK_ZscRecord& r = zsc.records[j];
        const int i = items[j];
        ASSERT_EQ(r.kind, kinds[j]);
        if (r.kind == Kind::Camera) {
            EXPECT_EQ(r.name, s.cameras[i].name);
            EXPECT_EQ(r.fovType, i);
            EXPECT_EQ(r.sampleSize, i == 2 ? 36u : 44u);
            EXPECT_EQ(r.imageHeight, 480);
            EXPECT_EQ(r.imageWidth, 640);
            EXPECT_EQ(r.pixelRatio, 1.25f);
            EXPECT_EQ(r.aspect, 1.5f);
            EXPECT_EQ(r.filmHeight, static_cast<float>((0.5 + i) * 25.4));
        } else if (r.kind == Kind::Light) {
            EXPECT_EQ(r.name, s.lights[i].name);
            EXPECT_EQ(r.lightType, i + 1);
        } else if (r.kind == Kind::Null) {
            EXPECT_EQ(r.name, s.nulls[0].name);
        } else {
            const ObjectData& o = s.objects[i];
            EXPECT_EQ(r.name, o.name);
            EXPECT_EQ(r.meshPath, format == 0 ? o.lwoPath : format == 1 ? o.emdlPath : "");
            EXPECT_EQ(r.meshFormat, format);
            if (r.kind == Kind::MddObject) {
                EXPECT_EQ(r.hasMeshPath, format == 0 || format == 1);
                EXPECT_EQ(r.mddPath, o.mddPath);
                continue;
            }
        }
        ASSERT_EQ(r.samples.size(), static_cast<size_t>(s.frames));
        for (int k = 0; k < s.frames; ++k) {
            EXPECT_EQ(r.samples[k].frame, 3 + k);
            EXPECT_EQ(r.samples[k].time, static_cast<float>(3 + k) / 25.0f);
            EXPECT_EQ(r.samples[k].values, Expected(r.kind, i, k));
        }
    }
}

TEST(InspectRoundTrip, ZscWrittenByTheWriterReadsBackWhole) {
    ScratchDir dir;
    std::vector<std::string> jsons;
    // One frame makes the camera sample size undecidable from the frame
    // numbers alone; the other records decide it.
    for (int frames : {1, 2, 4})
        for (int format : {0, 1, 5}) {
            SCOPED_TRACE("frames " + std::to_string(frames) + ", format " + std::to_string(format));
            Scene s = FullScene(frames, format);
            ASSERT_EQ(s.Run(WriteZSC, dir / "scene.zsc"), 1);
            ZK_ZscFile zsc;
            std::string error;
            ASSERT_TRUE(ZK_ReadZsc(dir / "scene.zsc", &zsc, &error)) << error;
            ExpectSameScene(s, zsc);
            jsons.push_back(Print(ZK_PrintZscJson, zsc));
            EXPECT_NE(jsons.back().find("\"name\": \"null \\\"quoted\\\" \\u00e9\""),
                      std::string::npos);
            const Bytes bytes = Read<Bytes>(dir / "scene.zsc");
            for (size_t n = 36; n < bytes.size(); ++n) // no shorter file reads
                EXPECT_FALSE(ZK_ParseZsc(bytes.data(), n, &zsc, &error)) << n;
        }
    EXPECT_TRUE(JsonValid(jsons));
}

TEST(InspectRoundTrip, MddBuiltHereReadsBackWhole) {
    for (int frames : {1, 3, 17})
        for (int points : {0, 1, 5})
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
                const std::string summary = Print(ZK_PrintMddSummary, mdd);
                EXPECT_EQ(Count(summary, " (partial: the frame walk stopped early)\n"),
                          points > 0 && blocks <= frames);
                EXPECT_EQ(Count(summary, "  no frame blocks\n"), points > 0 && blocks == 0);
                EXPECT_EQ(Count(summary, "  no points\n"), points == 0);
                ASSERT_EQ(mdd.points.size(), static_cast<size_t>(blocks * points * 3));
                for (int b = 0; b < blocks; ++b)
                    for (int p = 0; p < points; ++p)
                        for (int a = 0; a < 3; ++a)
                            EXPECT_EQ(mdd.points[(b * points + p) * 3 + a], V(b, p, a));
            }
}

TEST(InspectRoundTrip, InspectFilesPrintsEveryFileAndEachErrorTheSameUnderAnyLocale) {
    ScratchDir dir;
    Scene s = FullScene(2, 0);
    ASSERT_EQ(s.Run(WriteZSC, dir / "scene.zsc"), 1);
    const Bytes zsc = Read<Bytes>(dir / "scene.zsc");
    Write(dir / "cut.zsc", Bytes(zsc.begin(), zsc.end() - 1));
    Write(dir / "obj.mdd", BuildMdd(1200, 3, 1201));
    const auto inspect = [&](std::vector<std::string> paths, bool json) {
        std::ostringstream out, err;
        EXPECT_EQ(ZK_InspectFiles(paths, json, out, err), paths.empty() ? 0 : 2);
        return std::pair(out.str(), err.str());
    };
    const std::vector<std::string> files = {dir / "scene.zsc", dir / "obj.mdd", dir / "cut.zsc"};
    const std::pair<std::string, std::string> summary = inspect(files, false),
                                              json = inspect(files, true);
    EXPECT_NE(summary.first.find("frames 1200, points 3"), std::string::npos) << summary.first;
    EXPECT_NE(summary.first.find("at 25 fps"), std::string::npos);
    EXPECT_EQ(summary.second, json.second);
    EXPECT_EQ(json.second.find(dir / "cut.zsc: record 10 at byte "), 0u) << json.second;
    EXPECT_EQ(Count(json.second, "\n"), 1);
    EXPECT_TRUE(JsonValid({json.first}));
    EXPECT_EQ(Count(json.first, "\"error\": "), 1);
    EXPECT_EQ(Count(json.first, "\"format\": \"zsc\""), 1);
    const std::string missing = inspect({dir / "missing.mdd"}, false).second;
    EXPECT_EQ(missing.find(dir / "missing.mdd: cannot be opened: "), 0u) << missing;
    EXPECT_EQ(inspect({}, true).first, "[]\n");
    if (!UnderCommaLocale([&] {
            EXPECT_EQ(inspect(files, false), summary);
            EXPECT_EQ(inspect(files, true), json);
        }))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/install-deps.sh adds it)";
}

// Truncations, bit flips, telling values, inserted and removed bytes.
Bytes Mutate(Bytes bytes, std::mt19937& rng) {
    const auto pick = [&](size_t n) {
        return n == 0 ? size_t{0} : std::uniform_int_distribution<size_t>(0, n - 1)(rng);
    };
    static const unsigned char telling[] = {0x00, 0x01, 0x02, 0x03, 0x7F, 0x80, 0xFF};
    for (int step = 0, steps = 1 + static_cast<int>(pick(4)); step < steps; ++step) {
        const size_t at = pick(bytes.size() + 1);
        const size_t kind = pick(5);
        if (kind == 0)
            bytes.resize(at);
        else if (kind == 3)
            bytes.insert(bytes.begin() + static_cast<long>(at), 1 + pick(8),
                         static_cast<unsigned char>(pick(256)));
        else if (kind == 4)
            bytes.erase(bytes.begin() + static_cast<long>(at),
                        bytes.begin() + static_cast<long>(std::min(bytes.size(), at + 4)));
        else if (!bytes.empty()) {
            unsigned char& byte = bytes[pick(bytes.size())];
            byte = kind == 1 ? static_cast<unsigned char>(byte ^ (1u << pick(8)))
                             : telling[pick(sizeof telling)];
        }
    }
    return bytes;
}

TEST(InspectFuzz, MutatedFilesNeverBreakTheReaders) {
    ScratchDir dir;
    std::vector<Bytes> seeds = {BuildMdd(3, 2, 4)};
    for (int frames : {1, 3}) {
        Scene s = FullScene(frames, frames == 1 ? 0 : 1);
        ASSERT_EQ(s.Run(WriteZSC, dir / "seed.zsc"), 1);
        seeds.push_back(Read<Bytes>(dir / "seed.zsc"));
    }
    std::mt19937 rng(20240611);
    std::vector<std::string> jsons;
    for (int round = 0; round < 4000; ++round) {
        const Bytes bytes = Mutate(seeds[round % 3], rng);
        std::string error;
        ZK_MddFile mdd;
        ZK_ZscFile zsc;
        const bool isMdd = round % 3 == 0;
        if (isMdd ? ZK_ParseMdd(bytes.data(), bytes.size(), &mdd, &error)
                  : ZK_ParseZsc(bytes.data(), bytes.size(), &zsc, &error)) {
            jsons.push_back(isMdd ? Print(ZK_PrintMddJson, mdd) : Print(ZK_PrintZscJson, zsc));
            EXPECT_FALSE(isMdd ? Print(ZK_PrintMddSummary, mdd).empty()
                               : Print(ZK_PrintZscSummary, zsc).empty());
        } else {
            ASSERT_FALSE(error.empty()) << "round " << round;
            ASSERT_EQ(error.find('\n'), std::string::npos) << "round " << round;
        }
    }
    // Flips inside sample values leave a file readable: some must pass.
    EXPECT_GT(jsons.size(), 0u);
    EXPECT_TRUE(JsonValid(jsons));
}

} // namespace

// ZK_InspectFiles reads a point cache piece by piece as it prints it: what
// it prints is what the printers of the whole file in memory print, for
// files whose values span several pieces (of 65,536 values), partial files,
// files of no points or no frames, and values that are not finite.
TEST(InspectRoundTrip, ACacheReadAsItIsPrintedPrintsAsTheWholeFile) {
    ScratchDir dir;
    Bytes odd = BuildMdd(2, 3, 3);
    // x of point 1 in block 0 NaN, y infinite, a negative zero.
    const unsigned char nan[4] = {0x7F, 0xC0, 0, 0}, inf[4] = {0xFF, 0x80, 0, 0},
                        negZero[4] = {0x80, 0, 0, 0};
    const size_t block0 = 8 + 4 * 2;
    std::memcpy(&odd[block0 + 12], nan, 4);
    std::memcpy(&odd[block0 + 16], inf, 4);
    std::memcpy(&odd[block0 + 8], negZero, 4);
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"pieces.mdd", BuildMdd(3, 30000, 4)},   // 90,000 values a block
        {"partial.mdd", BuildMdd(70000, 2, 9)},  // times over two pieces
        {"boundary.mdd", BuildMdd(1, 21846, 2)}, // 65,538 values a block
        {"exact.mdd", BuildMdd(65536, 1, 2)},    // one piece of times exactly
        {"none.mdd", BuildMdd(4, 0, 0)},         {"frameless.mdd", BuildMdd(0, 2, 1)},
        {"headed.mdd", BuildMdd(5, 2, 0)},       {"odd.mdd", odd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write(dir / c.name, c.bytes);
        ZK_MddFile mdd;
        std::string error;
        ASSERT_TRUE(ZK_ParseMdd(c.bytes.data(), c.bytes.size(), &mdd, &error)) << error;
        mdd.path = dir / c.name;
        for (const bool json : {false, true}) {
            std::ostringstream out, err;
            const int status = ZK_InspectFiles({dir / c.name}, json, out, err);
            EXPECT_EQ(status, mdd.complete ? ZK_INSPECT_COMPLETE : ZK_INSPECT_PARTIAL);
            const std::string whole = json ? "[\n" + Print(ZK_PrintMddJson, mdd) + "\n]\n"
                                           : Print(ZK_PrintMddSummary, mdd);
            EXPECT_EQ(out.str(), whole);
        }
    }
}
