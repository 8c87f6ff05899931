// MDD and ZSC readers on files built byte by byte: fields, summaries, partial
// and malformed files.
#include "inspect/ZK_Inspect.h"

#include "ZK_JsonCheck.h"
#include "ZK_TestFiles.h"

#include <sstream>

namespace {

using Bytes = std::vector<unsigned char>;

// Frames 1 and 2 at 30 fps, 2 points: the lead block and frame 1 hold
// (1, 2, -1.5) and (0, 0, 0); frame 2 moves the second point to (-4, 0.5, 0).
Bytes TwoFrameMdd() {
    const Bytes first = ZK_Hex("3F 80 00 00 40 00 00 00 BF C0 00 00 00 00 00 00 00 00 00 00 "
                               "00 00 00 00");
    return ZK_Hex("00 00 00 02 00 00 00 02 3D 08 88 89 3D 88 88 89") + first + first +
           ZK_Hex("3F 80 00 00 40 00 00 00 BF C0 00 00 C0 80 00 00 3F 00 00 00 00 00 00 00");
}

bool ParseMdd(const Bytes& bytes, ZK_MddFile* mdd, std::string* error) {
    const bool ok = ZK_ParseMdd(bytes.data(), bytes.size(), mdd, error);
    mdd->path = "a.mdd";
    return ok;
}

std::string MddSummary(const ZK_MddFile& mdd) {
    std::ostringstream out;
    ZK_PrintMddSummary(out, mdd);
    return out.str();
}

TEST(InspectMdd, ReadsACompleteFile) {
    ZK_MddFile mdd;
    std::string error;
    ASSERT_TRUE(ParseMdd(TwoFrameMdd(), &mdd, &error)) << error;
    EXPECT_EQ(mdd.frameCount, 2);
    EXPECT_EQ(mdd.pointCount, 2);
    EXPECT_EQ(mdd.times, (std::vector<float>{0.033333335f, 0.06666667f}));
    EXPECT_EQ(mdd.blockCount, 3);
    EXPECT_TRUE(mdd.complete);
    ASSERT_EQ(mdd.points.size(), 18u);
    EXPECT_EQ(mdd.points[2], -1.5f);
    EXPECT_EQ(mdd.points[15], -4.0f);
    EXPECT_EQ(MddSummary(mdd), "a.mdd: MDD point cache, 88 bytes\n"
                               "  frames 2, points 2, frame blocks 3 of 3\n"
                               "  time 0.033333335 .. 0.06666667 s\n"
                               "  first block bounds (0, 0, -1.5) .. (1, 2, 0)\n"
                               "  last block bounds (-4, 0.5, -1.5) .. (1, 2, 0)\n");
    std::ostringstream json;
    ZK_PrintMddJson(json, mdd);
    EXPECT_TRUE(ZK_JsonCheck::Valid(json.str())) << json.str();
    EXPECT_NE(json.str().find("[-4, 0.5, 0]"), std::string::npos);
}

TEST(InspectMdd, AcceptsAWalkThatStoppedEarly) {
    ZK_MddFile mdd;
    std::string error;
    Bytes bytes = TwoFrameMdd();
    bytes.resize(bytes.size() - 24); // the last frame block never written
    ASSERT_TRUE(ParseMdd(bytes, &mdd, &error)) << error;
    EXPECT_FALSE(mdd.complete);
    EXPECT_EQ(mdd.blockCount, 2);
    EXPECT_NE(MddSummary(mdd).find("frame blocks 2 of 3 (partial: the frame walk stopped early)"),
              std::string::npos);

    bytes.resize(16); // header and times only
    ASSERT_TRUE(ParseMdd(bytes, &mdd, &error)) << error;
    EXPECT_EQ(mdd.blockCount, 0);
    EXPECT_NE(MddSummary(mdd).find("  no frame blocks\n"), std::string::npos);
}

TEST(InspectMdd, AFileWithoutPointsIsHeaderAndTimes) {
    ZK_MddFile mdd;
    std::string error;
    ASSERT_TRUE(ParseMdd(ZK_Hex("00 00 00 01 00 00 00 00 3D 08 88 89"), &mdd, &error)) << error;
    EXPECT_TRUE(mdd.complete);
    EXPECT_NE(MddSummary(mdd).find("  no points\n"), std::string::npos);
}

TEST(InspectMdd, RejectsSizesThatDoNotFitTheHeader) {
    const Bytes good = TwoFrameMdd();
    const struct {
        Bytes bytes;
        const char* message;
    } cases[] = {
        {Bytes(good.begin(), good.begin() + 7), "too short for an MDD header: 7 bytes"},
        {Bytes(good.begin(), good.begin() + 12), "truncated inside the time table: 12 bytes; a "
                                                 "complete file of 2 frames and 2 points is 88 "
                                                 "bytes"},
        {Bytes(good.begin(), good.begin() + 70), "truncated inside frame block 3: 70 bytes"},
        {good + ZK_Hex("00 00 00 00"), "92 bytes, longer than the header says"},
        {ZK_Hex("FF FF FF FF 00 00 00 01"), "frame count is negative (-1)"},
        {ZK_Hex("00 00 00 01 80 00 00 00 00 00 00 00"), "point count is negative"},
        // Counts far beyond the data: refused before anything is allocated.
        {ZK_Hex("7F FF FF FF 7F FF FF FF 00 00 00 00"), "truncated inside the time table"},
        {ZK_Hex("00 00 00 00 7F FF FF FF 00 00 00 00"), "truncated inside frame block 1"},
    };
    for (const auto& c : cases) {
        ZK_MddFile mdd;
        std::string error;
        EXPECT_FALSE(ParseMdd(c.bytes, &mdd, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

// A null "n" and the MDD record of "ball" with an EMDL mesh, one frame.
Bytes SmallZsc(const char* itemCount = "02 00 00 00", const char* nullFrame = "01 00 00 00") {
    return ZK_Bytes("ZKSC") +
           ZK_Hex("CD CC 8C 3F 01 00 00 00 01 00 00 00 01 00 00 00 00 00 C0 41") +
           ZK_Hex(itemCount) + ZK_Hex("00 00 80 3F 00 00 00 00") +
           ZK_Hex("03 00 00 00 01 00 00 00") + ZK_Bytes("n") + ZK_Hex("00 00 00 00 AB AA 2A 3D") +
           ZK_Hex(nullFrame) +
           ZK_Hex("00 00 00 00 00 00 00 00 00 00 80 BF 00 00 00 00 00 00 00 00 00 00 00 00") +
           ZK_Hex("00 00 80 3F 00 00 80 3F 00 00 80 3F") + ZK_Hex("01 00 00 00 04 00 00 00") +
           ZK_Bytes("ball") + ZK_Hex("0B 00 00 00") + ZK_Bytes("/o/ball.emd") +
           ZK_Hex("01 00 00 00 00 00 00 00 0B 00 00 00") + ZK_Bytes("/o/ball.mdd");
}

bool ParseZsc(const Bytes& bytes, ZK_ZscFile* zsc, std::string* error) {
    const bool ok = ZK_ParseZsc(bytes.data(), bytes.size(), zsc, error);
    zsc->path = "s.zsc";
    return ok;
}

TEST(InspectZsc, ReadsHeaderAndRecords) {
    ZK_ZscFile zsc;
    std::string error;
    ASSERT_TRUE(ParseZsc(SmallZsc(), &zsc, &error)) << error;
    EXPECT_EQ(zsc.version, 1.1f);
    EXPECT_EQ(zsc.frameRate, 24.0f);
    ASSERT_EQ(zsc.records.size(), 2u);
    const ZK_ZscRecord& null = zsc.records[0];
    EXPECT_EQ(null.kind, ZK_ZscRecordKind::Null);
    EXPECT_EQ(null.offset, 36u);
    EXPECT_EQ(null.size, 57u);
    ASSERT_EQ(null.samples.size(), 1u);
    EXPECT_EQ(null.samples[0].time, 1.0f / 24.0f);
    EXPECT_EQ(null.samples[0].values[2], -1.0f);
    const ZK_ZscRecord& ball = zsc.records[1];
    EXPECT_EQ(ball.kind, ZK_ZscRecordKind::MddObject);
    EXPECT_TRUE(ball.hasMeshPath);
    EXPECT_EQ(ball.meshPath, "/o/ball.emd");
    EXPECT_EQ(ball.meshFormat, 1);
    EXPECT_EQ(ball.mddPath, "/o/ball.mdd");

    std::ostringstream summary;
    ZK_PrintZscSummary(summary, zsc);
    EXPECT_EQ(summary.str(),
              "s.zsc: ZSC scene file, 143 bytes\n"
              "  version 1.1, frames 1 (1 .. 1) at 24 fps, items 2, constants 1 and 0\n"
              "  null \"n\": 1 samples of 44 bytes\n"
              "  mdd object \"ball\": mesh \"/o/ball.emd\" (format 1), mdd \"/o/ball.mdd\"\n");
    std::ostringstream json;
    ZK_PrintZscJson(json, zsc);
    EXPECT_TRUE(ZK_JsonCheck::Valid(json.str())) << json.str();
    EXPECT_NE(json.str().find("\"time\": 0.041666668, \"frame\": 1, \"posX\": 0, \"posY\": 0, "
                              "\"posZ\": -1,"),
              std::string::npos)
        << json.str();
}

TEST(InspectZsc, AnEmptySceneIsTheHeaderAlone) {
    ZK_ZscFile zsc;
    std::string error;
    const Bytes header = ZK_Bytes("ZKSC") + ZK_Hex("CD CC 8C 3F 0A 00 00 00 01 00 00 00") +
                         ZK_Hex("0A 00 00 00 00 00 C0 41 00 00 00 00 00 00 80 3F 00 00 00 00");
    ASSERT_TRUE(ParseZsc(header, &zsc, &error)) << error;
    EXPECT_TRUE(zsc.records.empty());
    EXPECT_FALSE(ParseZsc(header + ZK_Hex("00"), &zsc, &error));
    EXPECT_EQ(error, "the header announces no items, but 1 bytes follow it");
}

TEST(InspectZsc, RejectsMalformedFiles) {
    const Bytes good = SmallZsc();
    Bytes wrongMagic = good;
    wrongMagic[3] = 'X';
    Bytes unknownKind = good;
    unknownKind[36] = 9;
    Bytes longName = good;
    longName[41] = 0x40; // name length 0x4001
    // The MDD record moved before the null.
    Bytes swapped = Bytes(good.begin(), good.begin() + 36) + Bytes(good.begin() + 93, good.end()) +
                    Bytes(good.begin() + 36, good.begin() + 93);
    const struct {
        Bytes bytes;
        const char* message;
    } cases[] = {
        {Bytes(good.begin(), good.begin() + 35), "too short for a ZSC header: 35 bytes"},
        {wrongMagic, "does not start with ZKSC"},
        {SmallZsc("FF FF FF FF"), "item count is negative"},
        {SmallZsc("03 00 00 00"), "the file ends after 2 of the 3 items its header announces"},
        {SmallZsc("01 00 00 00"), "the header announces 1 items, but 50 bytes follow"},
        {SmallZsc("02 00 00 00", "02 00 00 00"), "record 1 at byte 36: sample 0 holds frame 2, "
                                                 "not 1"},
        {unknownKind, "record 1 at byte 36: unknown kind code 9"},
        {longName, "the name of 16385 bytes runs past the end of the file"},
        {good + ZK_Hex("00 00 00 00"), "but 4 bytes follow the last of them"},
        {swapped, "record 2 at byte 86: a null record after the group it belongs before"},
    };
    for (const auto& c : cases) {
        ZK_ZscFile zsc;
        std::string error;
        EXPECT_FALSE(ParseZsc(c.bytes, &zsc, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    // No prefix of a file is a file.
    for (size_t n = 0; n < good.size(); ++n) {
        ZK_ZscFile zsc;
        std::string error;
        EXPECT_FALSE(ParseZsc(Bytes(good.begin(), good.begin() + n), &zsc, &error)) << n;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
