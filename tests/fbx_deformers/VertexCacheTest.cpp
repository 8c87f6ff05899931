// The vertex-cache readers on small files made here byte by byte from the
// formats' layouts (.pc2, Maya .mcx and .mc with their .xml): samples at
// their times, frames between samples blended, the ends held, units mapped;
// every kind of broken file refused with one line naming it; a file that
// fails while the scene is evaluated reported once, with the rest points
// standing in.
#include "host/import/fbx/VertexCache.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using host::CacheBytesInMemory;
using host::CacheLayout;
using host::Mat34;
using host::PointArray;
using host::Vec3;
using host::VertexCache;
using host::VertexCacheError;
using host::VertexCacheMissing;

namespace {

using Pts = std::vector<Vec3>;

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}
std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (24 - 8 * i)) & 0xff);
    return s;
}
std::string Be64(uint64_t v) {
    return Be32(static_cast<uint32_t>(v >> 32)) + Be32(static_cast<uint32_t>(v));
}
uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}
uint64_t Bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

// A .pc2 file: the header, then each sample's points as float triples.
std::string Pc2(const std::vector<Pts>& samples, float start, float rate, int version = 1,
                int points = INT32_MIN) {
    std::string s("POINTCACHE2", 12);
    s += Le32(version);
    s += Le32(points != INT32_MIN ? points
                                  : static_cast<int>(samples.empty() ? 0 : samples[0].size()));
    s += Le32(Bits(start)) + Le32(Bits(rate)) + Le32(static_cast<uint32_t>(samples.size()));
    for (const Pts& sample : samples)
        for (const Vec3& p : sample)
            s += Le32(Bits(static_cast<float>(p.x))) + Le32(Bits(static_cast<float>(p.y))) +
                 Le32(Bits(static_cast<float>(p.z)));
    return s;
}

// Maya's IFF: .mcx (wide: tag, 4 unused bytes, 64-bit size, data padded to
// 8) or .mc (tag, 32-bit size, padded to 4). A form's size counts its type.
struct Iff {
    bool wide;
    std::string Chunk(const std::string& tag, const std::string& data) const {
        std::string s = tag + (wide ? std::string("\xff\x7f\0\0", 4) + Be64(data.size())
                                    : Be32(static_cast<uint32_t>(data.size())));
        s += data;
        const size_t align = wide ? 8 : 4;
        s.append((align - data.size() % align) % align, '\0');
        return s;
    }
    std::string Form(const std::string& type, const std::string& chunks) const {
        const std::string body = type + chunks;
        return (wide ? "FOR8" + std::string("\0\0\0\0", 4) + Be64(body.size())
                     : "FOR4" + Be32(static_cast<uint32_t>(body.size()))) +
               body;
    }
    std::string Header() const {
        return Form("CACH", Chunk("VRSN", std::string("0.1\0", 4)) + Chunk("STIM", Be32(0)) +
                                Chunk("ETIM", Be32(0)));
    }
    // Points as float triples (FVCA) or double triples (DVCA).
    std::string Channel(const std::string& name, const Pts& points, bool doubles = false) const {
        std::string data;
        for (const Vec3& p : points)
            for (double v : {p.x, p.y, p.z})
                data += doubles ? Be64(Bits(v)) : Be32(Bits(static_cast<float>(v)));
        return Chunk("CHNM", name + '\0') +
               Chunk("SIZE", Be32(static_cast<uint32_t>(points.size()))) +
               Chunk(doubles ? "DVCA" : "FVCA", data);
    }
    std::string Sample(int ticks, const std::string& channels) const {
        return Form("MYCH", Chunk("TIME", Be32(static_cast<uint32_t>(ticks))) + channels);
    }
};

std::string Xml(const std::string& type, const std::string& format, const std::string& channels,
                int timePerFrame = 250) {
    return "<?xml version=\"1.0\"?>\n<Autodesk_Cache_File>\n  <cacheType Type=\"" + type +
           "\" Format=\"" + format +
           "\"/>\n  <time Range=\"250-750\"/>\n"
           "  <cacheTimePerFrame TimePerFrame=\"" +
           std::to_string(timePerFrame) +
           "\"/>\n  <cacheVersion Version=\"2.0\"/>\n  <Channels>\n" + channels +
           "  </Channels>\n</Autodesk_Cache_File>\n";
}
std::string XmlChannel(int index, const std::string& name, const std::string& interpretation,
                       const std::string& extra = "SamplingType=\"Regular\" SamplingRate=\"250\"") {
    return "    <channel" + std::to_string(index) + " ChannelName=\"" + name +
           "\" ChannelType=\"FloatVectorArray\" ChannelInterpretation=\"" + interpretation + "\" " +
           extra + " StartTime=\"250\" EndTime=\"750\"/>\n";
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

PointArray Rest(const Pts& points) {
    return PointArray::Build(points.size(), [&](Vec3* out) {
        for (size_t i = 0; i < points.size(); ++i)
            out[i] = points[i];
    });
}

Pts Read(host::PointSource& source, double frame) {
    Pts out(source.GetPointCount());
    source.ReadPoints(frame, out.data());
    return out;
}

void ExpectPoints(const Pts& got, const Pts& want, double tolerance = 1e-6) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, tolerance) << "point " << i;
        EXPECT_NEAR(got[i].y, want[i].y, tolerance) << "point " << i;
        EXPECT_NEAR(got[i].z, want[i].z, tolerance) << "point " << i;
    }
}

// The message of what `fn` throws as a VertexCacheError ("" when nothing).
std::string Refusal(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const VertexCacheError& e) {
        return e.what();
    }
    return "";
}

const Pts kRest = {{9, 9, 9}, {8, 8, 8}};
const Pts kA = {{0, 0, 0}, {1, 2, 3}};
const Pts kB = {{2, 0, 0}, {1, 4, 3}};
const Pts kC = {{2, 2, 0}, {0, 0, 0}};

// Samples at frames 10, 10.5 and 11: a frame on a sample reads it, one
// between two blends them, frames before and after hold the ends.
TEST(Pc2Cache, SamplesAtTheirFramesBlendedBetweenAndHeldOutside) {
    CacheLayout layout;
    layout.files = {"mem.pc2"};
    const auto bytes = CacheBytesInMemory("mem.pc2", Pc2({kA, kB, kC}, 10.0f, 0.5f));
    host::ScanPc2(*bytes, 2, &layout.samples);
    ASSERT_EQ(layout.samples.size(), 3u);
    EXPECT_EQ(layout.samples[2].time, 11.0);
    std::vector<std::unique_ptr<host::CacheBytes>> files;
    files.push_back(CacheBytesInMemory("mem.pc2", Pc2({kA, kB, kC}, 10.0f, 0.5f)));
    VertexCache cache(layout, std::move(files), Rest(kRest), 1.0, 0.0, Mat34{}, nullptr);
    ExpectPoints(Read(cache, 9), kA);
    ExpectPoints(Read(cache, 10), kA);
    ExpectPoints(Read(cache, 10.25), {{1, 0, 0}, {1, 3, 3}});
    ExpectPoints(Read(cache, 10.5), kB);
    ExpectPoints(Read(cache, 10.75), {{2, 1, 0}, {0.5, 2, 1.5}});
    ExpectPoints(Read(cache, 11), kC);
    ExpectPoints(Read(cache, 50), kC);
}

// Opened from disk: frames at 60 per second on a cache written at 30 (frame
// 20 is the cache's frame 10), every point mapped by the importer's
// transform (here centimetres to metres).
TEST(Pc2Cache, OpensFromDiskAtTheScenesRateWithTheImportersTransform) {
    zkt::ScratchDir dir;
    Write(dir / "a.pc2", Pc2({kA, kB}, 10.0f, 1.0f));
    Mat34 cm;
    for (int i = 0; i < 3; ++i)
        cm.m[i][i] = 0.01;
    const auto cache = host::OpenPc2Cache(dir / "a.pc2", Rest(kRest), 60.0, 30.0, cm, nullptr);
    ExpectPoints(Read(*cache, 20), {{0, 0, 0}, {0.01, 0.02, 0.03}});
    ExpectPoints(Read(*cache, 21), {{0.01, 0, 0}, {0.01, 0.03, 0.03}});
    ExpectPoints(Read(*cache, 22), {{0.02, 0, 0}, {0.01, 0.04, 0.03}});
    EXPECT_THROW(host::OpenPc2Cache(dir / "none.pc2", Rest(kRest), 30, 30, Mat34{}, nullptr),
                 VertexCacheMissing);
    std::filesystem::create_directory(dir / "folder.pc2");
    EXPECT_TRUE(zkt::Contains(Refusal([&] {
                                  host::OpenPc2Cache(dir / "folder.pc2", Rest(kRest), 30, 30,
                                                     Mat34{}, nullptr);
                              }),
                              "not a regular file"));
}

TEST(Pc2Cache, BrokenFilesAreRefusedWithOneLineNamingThem) {
    const std::string good = Pc2({kA, kB}, 1.0f, 1.0f);
    std::string badSignature = good;
    badSignature[0] = 'Q';
    std::string zeroSamples = good.substr(0, 32);
    zeroSamples.replace(28, 4, Le32(0));
    const struct {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "shorter than its 32-byte header"},
        {"header cut", good.substr(0, 31), "shorter than its 32-byte header"},
        {"signature", badSignature, "no POINTCACHE2 signature"},
        {"version", Pc2({kA}, 1, 1, 2), "pc2 version 2 is not read"},
        {"points", Pc2({kA}, 1, 1, 1, 3), "holds 3 points per sample, the mesh 2"},
        {"negative points", Pc2({kA}, 1, 1, 1, -5), "holds -5 points"},
        {"rate 0", Pc2({kA}, 1, 0), "the rate above 0"},
        {"rate NaN", Pc2({kA}, 1, NAN), "the rate above 0"},
        {"start infinite", Pc2({kA}, INFINITY, 1), "must be numbers"},
        {"no samples", zeroSamples, "holds 0 samples"},
        {"cut short", good.substr(0, good.size() - 1), "79 bytes where its header says 80"},
        {"too long", good + "x", "81 bytes where its header says 80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto bytes = CacheBytesInMemory("x/broken.pc2", c.bytes);
        std::vector<host::CacheSample> samples;
        const std::string message = Refusal([&] { host::ScanPc2(*bytes, 2, &samples); });
        EXPECT_TRUE(zkt::StartsWith(message, "vertex cache x/broken.pc2: ")) << message;
        EXPECT_TRUE(zkt::Contains(message, c.message)) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
}

// A Maya cache of one file: samples at ticks 250, 500 and 750 (frames 1, 2
// and 3 at 24 per second), two channels per sample (the mesh's points and
// its normals); the points channel found by name, in .mcx floats and in .mc
// doubles.
TEST(MayaCache, OneFileInBothWidthsFindsItsChannelAtItsTimes) {
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "mcx" : "mc");
        const Iff iff{wide};
        const Pts normals = {{0, 1, 0}, {0, 1, 0}};
        std::string data = iff.Header();
        const Pts* samples[3] = {&kA, &kB, &kC};
        for (int k = 0; k < 3; ++k)
            data += iff.Sample(250 * (k + 1), iff.Channel("shapeA", *samples[k], !wide) +
                                                  iff.Channel("shapeA_normals", normals));
        zkt::ScratchDir dir;
        const std::string ext = wide ? ".mcx" : ".mc";
        Write(dir / ("shapeA" + ext), data);
        Write(dir / "shapeA.xml", Xml("OneFile", wide ? "mcx" : "mcc",
                                      XmlChannel(0, "shapeA", "positions") +
                                          XmlChannel(1, "shapeA_normals", "normals")));
        const auto cache =
            host::OpenMayaCache(dir / "shapeA.xml", "shapeA", Rest(kRest), 24.0, Mat34{}, nullptr);
        ASSERT_EQ(cache->GetLayout().samples.size(), 3u);
        ExpectPoints(Read(*cache, 0), kA);
        ExpectPoints(Read(*cache, 1), kA);
        ExpectPoints(Read(*cache, 1.5), {{1, 0, 0}, {1, 3, 3}});
        ExpectPoints(Read(*cache, 2), kB);
        ExpectPoints(Read(*cache, 3), kC);
        ExpectPoints(Read(*cache, 4), kC);
        // At 48 frames per second frame 3 is tick 375: halfway from 1 to 2.
        const auto fast =
            host::OpenMayaCache(dir / "shapeA.xml", "shapeA", Rest(kRest), 48.0, Mat34{}, nullptr);
        ExpectPoints(Read(*fast, 3), {{1, 0, 0}, {1, 3, 3}});
        EXPECT_EQ(
            host::ReadMayaCacheDescription(dir / "shapeA.xml", "shapeA_normals").interpretation,
            "normals");
    }
}

// One file per frame: <base>Frame<N>.mcx and, between frames, Frame<N>Tick<T>;
// the samples hold no time of their own. Files of other names are not
// samples; a missing data file leaves the cache missing.
TEST(MayaCache, OneFilePerFrameTakesItsTimesFromTheFileNames) {
    const Iff iff{true};
    zkt::ScratchDir dir;
    Write(dir / "body.xml", Xml("OneFilePerFrame", "mcx", XmlChannel(0, "bodyShape", "positions")));
    EXPECT_THROW(
        host::OpenMayaCache(dir / "body.xml", "bodyShape", Rest(kRest), 24, Mat34{}, nullptr),
        VertexCacheMissing);
    const auto frame = [&](const Pts& p) {
        return iff.Header() + iff.Form("MYCH", iff.Channel("bodyShape", p));
    };
    Write(dir / "bodyFrame1.mcx", frame(kA));
    Write(dir / "bodyFrame2.mcx", frame(kC));
    Write(dir / "bodyFrame1Tick125.mcx", frame(kB));
    Write(dir / "bodyFrame3.mcx.bak", "not a sample");
    Write(dir / "bodyFrameX.mcx", "not a sample");
    Write(dir / "otherFrame1.mcx", "not a sample");
    const auto cache =
        host::OpenMayaCache(dir / "body.xml", "bodyShape", Rest(kRest), 24.0, Mat34{}, nullptr);
    ASSERT_EQ(cache->GetLayout().files.size(), 3u);
    ExpectPoints(Read(*cache, 1), kA);
    ExpectPoints(Read(*cache, 1.25), {{1, 0, 0}, {1, 3, 3}});
    ExpectPoints(Read(*cache, 1.5), kB);
    ExpectPoints(Read(*cache, 2), kC);
}

TEST(MayaCache, BrokenDescriptionsAreRefusedWithOneLine) {
    const std::string channel = XmlChannel(0, "s", "positions");
    const struct {
        const char* what;
        std::string xml;
        const char* message;
    } cases[] = {
        {"not XML", "<Autodesk_Cache_File><cacheType", "not an XML description"},
        {"other root", "<?xml version=\"1.0\"?><Cache/>", "no Autodesk_Cache_File element"},
        {"cache type", Xml("OneFilePerGeometry", "mcx", channel),
         "cache type \"OneFilePerGeometry\" is not read"},
        {"format", Xml("OneFile", "abc", channel), "data format \"abc\" is not read"},
        {"time per frame", Xml("OneFile", "mcx", channel, 0), "time per frame \"0\""},
        {"no channel", Xml("OneFile", "mcx", XmlChannel(0, "t", "positions")), "no channel \"s\""},
        {"sampling rate",
         Xml("OneFile", "mcx", XmlChannel(0, "s", "positions", "SamplingType=\"Regular\"")),
         "no sampling rate above 0"},
        {"sampling type",
         Xml("OneFile", "mcx", XmlChannel(0, "s", "positions", "SamplingType=\"Odd\"")),
         "sampling type \"Odd\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = Refusal([&] { host::ReadMayaCacheXml(c.xml, "d/s.xml", "s"); });
        EXPECT_TRUE(zkt::StartsWith(message, "vertex cache d/s.xml: ")) << message;
        EXPECT_TRUE(zkt::Contains(message, c.message)) << message;
    }
    const host::MayaCacheDescription irregular = host::ReadMayaCacheXml(
        Xml("OneFile", "mcx", XmlChannel(0, "s", "positions", "SamplingType=\"Irregular\"")), "x",
        "s");
    EXPECT_EQ(irregular.samplingRate, 0.0);
    EXPECT_TRUE(irregular.wide);
}

TEST(MayaCache, BrokenDataIsRefusedWithOneLine) {
    const Iff iff{true};
    const std::string head = iff.Header();
    const std::string a = iff.Sample(250, iff.Channel("s", kA));
    std::string sizeMismatch =
        iff.Sample(250, iff.Chunk("CHNM", std::string("s\0", 2)) + iff.Chunk("SIZE", Be32(3)) +
                            iff.Chunk("FVCA", std::string(24, '\0')));
    const struct {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "shorter than 4 bytes"},
        {"not IFF", "RIFF....", "it starts with \"RIFF\""},
        {"header cut", head.substr(0, 10), "a chunk header runs past the end"},
        {"form past the end", head + a.substr(0, a.size() - 8), "runs past the end of its form"},
        {"no samples", head, "no samples of channel \"s\""},
        {"other channel", head + iff.Sample(250, iff.Channel("t", kA)), "no samples of channel"},
        {"samples first", a + head, "samples before the cache header"},
        {"point count", head + iff.Sample(250, iff.Channel("s", {{1, 2, 3}})),
         "holds 1 points, the mesh 2"},
        {"data size", head + sizeMismatch, "holds 3 points, the mesh 2"},
        {"data kind",
         head +
             iff.Sample(250, iff.Chunk("CHNM", std::string("s\0", 2)) + iff.Chunk("SIZE", Be32(2)) +
                                 iff.Chunk("FBCA", std::string(8, '\0'))),
         "holds \"FBCA\" data, not points"},
        {"twice", head + iff.Sample(250, iff.Channel("s", kA) + iff.Channel("s", kA)),
         "twice in one sample"},
        {"bad time chunk", head + iff.Form("MYCH", iff.Chunk("TIME", "ab") + iff.Channel("s", kA)),
         "\"TIME\" is not one 32-bit number"},
        {"no time", head + iff.Form("MYCH", iff.Channel("s", kA)), "a sample without a time"},
        {"loose chunk", head + iff.Chunk("ABCD", "xx"), "chunk \"ABCD\" where a form"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto bytes = CacheBytesInMemory("d/s.mcx", c.bytes);
        std::vector<host::CacheSample> samples;
        const std::string message =
            Refusal([&] { host::ScanMayaCacheData(*bytes, 0, "s", 2, NAN, &samples); });
        EXPECT_TRUE(zkt::StartsWith(message, "vertex cache d/s.mcx: ")) << message;
        EXPECT_TRUE(zkt::Contains(message, c.message)) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
    // Two samples at one time, across a one-file cache.
    zkt::ScratchDir dir;
    Write(dir / "s.mcx", head + a + a);
    Write(dir / "s.xml", Xml("OneFile", "mcx", XmlChannel(0, "s", "positions")));
    EXPECT_TRUE(zkt::Contains(Refusal([&] {
                                  host::OpenMayaCache(dir / "s.xml", "s", Rest(kRest), 24, Mat34{},
                                                      nullptr);
                              }),
                              "two samples at time 250"));
}

// A file that shrinks after it was opened, and a sample holding a NaN: one
// report per cache, and the rest points for the frames it cannot give.
TEST(VertexCacheReading, FailuresWhileEvaluatingAreReportedOnceAndTheRestPointsStandIn) {
    zkt::ScratchDir dir;
    const std::string path = dir / "a.pc2";
    Write(path, Pc2({kA, {{NAN, 0, 0}, {0, 0, 0}}, kC}, 0.0f, 1.0f));
    std::vector<std::string> reports;
    const auto cache =
        host::OpenPc2Cache(path, Rest(kRest), 24, 24, Mat34{},
                           [&](const std::string& line) { reports.push_back(line); });
    ExpectPoints(Read(*cache, 0), kA);
    ExpectPoints(Read(*cache, 1), kRest);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(zkt::Contains(reports[0], "a.pc2: point 0 of the sample at time 1"));
    EXPECT_TRUE(zkt::Contains(reports[0], "the mesh's rest points stand in"));
    ExpectPoints(Read(*cache, 2), kC);
    std::filesystem::resize_file(path, 40);
    ExpectPoints(Read(*cache, 2), kRest);
    ExpectPoints(Read(*cache, 0), kRest);
    EXPECT_EQ(reports.size(), 1u);
}

} // namespace
