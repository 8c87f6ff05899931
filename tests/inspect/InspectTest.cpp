// The MDD and ZSC readers on files written out by hand: fields, summaries,
// partial files, and one clear line for every malformed file.
#include "InspectSupport.h"

namespace {

// Frames 1 and 2 at 30 fps, 2 points: the lead block and frame 1 hold
// (1, 2, -1.5) and (0, 0, 0); frame 2 moves the second point to (-4, 0.5, 0).
const Bytes kMdd =
    Hex("00 00 00 02  00 00 00 02  3D 08 88 89  3D 88 88 89"
        "3F 80 00 00  40 00 00 00  BF C0 00 00  00 00 00 00  00 00 00 00  00 00 00 00"
        "3F 80 00 00  40 00 00 00  BF C0 00 00  00 00 00 00  00 00 00 00  00 00 00 00"
        "3F 80 00 00  40 00 00 00  BF C0 00 00  C0 80 00 00  3F 00 00 00  00 00 00 00");

// A null "n" at frame 1 and the MDD record of "ball" with an EMDL mesh.
const Bytes kZsc =
    Hex("'ZKSC' CD CC 8C 3F  01 00 00 00  01 00 00 00  01 00 00 00  00 00 C0 41"
        "02 00 00 00  00 00 80 3F  00 00 00 00" // 2 items at byte 24
        "03 00 00 00  01 00 00 00 'n' 00 00 00 00  AB AA 2A 3D"
        "01 00 00 00" // frame 1 at byte 53
        "00 00 00 00  00 00 00 00  00 00 80 BF  00 00 00 00  00 00 00 00  00 00 00 00"
        "00 00 80 3F  00 00 80 3F  00 00 80 3F"
        "01 00 00 00  04 00 00 00 'ball'  0B 00 00 00 '/o/ball.emd'"
        "01 00 00 00  00 00 00 00  0B 00 00 00 '/o/ball.mdd'");

Bytes Part(const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + from, bytes.begin() + to);
}
Bytes With(Bytes bytes, size_t at, const char* hex) {
    const Bytes patch = Hex(hex);
    std::copy(patch.begin(), patch.end(), bytes.begin() + at);
    return bytes;
}

TEST(InspectMdd, ReadsEveryValueOfACompleteFile) {
    ZK_MddFile mdd;
    std::string error;
    ASSERT_TRUE(ZK_ParseMdd(kMdd.data(), kMdd.size(), &mdd, &error)) << error;
    mdd.path = "a.mdd";
    EXPECT_EQ(mdd.times, (std::vector<float>{0.033333335f, 0.06666667f}));
    EXPECT_EQ(Print(ZK_PrintMddSummary, mdd), "a.mdd: MDD point cache, 88 bytes\n"
                                              "  frames 2, points 2, frame blocks 3 of 3\n"
                                              "  time 0.033333335 .. 0.06666667 s\n"
                                              "  first block bounds (0, 0, -1.5) .. (1, 2, 0)\n"
                                              "  last block bounds (-4, 0.5, -1.5) .. (1, 2, 0)\n");
    const std::string json = Print(ZK_PrintMddJson, mdd);
    EXPECT_TRUE(JsonValid({json}));
    EXPECT_NE(json.find("[-4, 0.5, 0]"), std::string::npos);
}

// Every file refused with one line naming what is wrong.
template <class File>
void ExpectRefused(bool (*parse)(const unsigned char*, size_t, File*, std::string*),
                   const Bytes& bytes, const std::string& message) {
    File file;
    std::string error;
    EXPECT_FALSE(parse(bytes.data(), bytes.size(), &file, &error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

TEST(InspectMdd, RefusesSizesThatDoNotFitTheHeader) {
    const std::pair<Bytes, const char*> cases[] = {
        {Part(kMdd, 0, 7), "too short for an MDD header: 7 bytes"},
        {Part(kMdd, 0, 12), "truncated inside the time table: 12 bytes; a complete file of 2 "
                            "frames and 2 points is 88 bytes"},
        {Part(kMdd, 0, 70), "truncated inside frame block 3: 70 bytes"},
        {kMdd + Hex("00 00 00 00"), "92 bytes, longer than the header says"},
        {Hex("FF FF FF FF  00 00 00 01"), "frame count is negative (-1)"},
        {Hex("00 00 00 01  80 00 00 00  00 00 00 00"), "point count is negative"},
        // Counts far beyond the data: refused before anything is allocated.
        {Hex("7F FF FF FF  7F FF FF FF  00 00 00 00"), "truncated inside the time table"},
        {Hex("00 00 00 00  7F FF FF FF  00 00 00 00"), "truncated inside frame block 1"},
    };
    for (const auto& [bytes, message] : cases)
        ExpectRefused(ZK_ParseMdd, bytes, message);
}

TEST(InspectZsc, ReadsHeaderAndRecords) {
    ZK_ZscFile zsc;
    std::string error;
    ASSERT_TRUE(ZK_ParseZsc(kZsc.data(), kZsc.size(), &zsc, &error)) << error;
    zsc.path = "s.zsc";
    EXPECT_EQ(zsc.version, 1.1f);
    ASSERT_EQ(zsc.records.size(), 2u);
    const ZK_ZscRecord& null = zsc.records[0];
    EXPECT_EQ(null.offset, 36u);
    EXPECT_EQ(null.size, 57u);
    ASSERT_EQ(null.samples.size(), 1u);
    EXPECT_EQ(null.samples[0].time, 1.0f / 24.0f);
    EXPECT_EQ(null.samples[0].values[2], -1.0f);
    EXPECT_TRUE(zsc.records[1].hasMeshPath);
    EXPECT_EQ(zsc.records[1].meshFormat, 1);
    EXPECT_EQ(Print(ZK_PrintZscSummary, zsc),
              "s.zsc: ZSC scene file, 143 bytes\n"
              "  version 1.1, frames 1 (1 .. 1) at 24 fps, items 2, constants 1 and 0\n"
              "  null \"n\": 1 samples of 44 bytes\n"
              "  mdd object \"ball\": mesh \"/o/ball.emd\" (format 1), mdd \"/o/ball.mdd\"\n");
    const std::string json = Print(ZK_PrintZscJson, zsc);
    EXPECT_TRUE(JsonValid({json}));
    EXPECT_NE(json.find("\"time\": 0.041666668, \"frame\": 1, \"posX\": 0, \"posY\": 0, "
                        "\"posZ\": -1,"),
              std::string::npos)
        << json;

    const Bytes header = With(Part(kZsc, 0, 36), 24, "00 00 00 00");
    ASSERT_TRUE(ZK_ParseZsc(header.data(), header.size(), &zsc, &error)) << error;
    EXPECT_TRUE(zsc.records.empty());
}

TEST(InspectZsc, RefusesMalformedFiles) {
    const std::pair<Bytes, const char*> cases[] = {
        {Part(kZsc, 0, 35), "too short for a ZSC header: 35 bytes"},
        {With(kZsc, 3, "58"), "does not start with ZKSC"},
        {With(kZsc, 24, "FF FF FF FF"), "item count is negative"},
        {With(kZsc, 24, "03"), "the file ends after 2 of the 3 items its header announces"},
        {With(kZsc, 24, "01"), "the header announces 1 items, but 50 bytes follow"},
        {With(Part(kZsc, 0, 37), 24, "00"), "the header announces no items, but 1 bytes follow it"},
        {With(kZsc, 53, "02"), "record 1 at byte 36: sample 0 holds frame 2, not 1"},
        {With(kZsc, 36, "09"), "record 1 at byte 36: unknown kind code 9"},
        {With(kZsc, 41, "40"), "the name of 16385 bytes runs past the end of the file"},
        {kZsc + Hex("00 00 00 00"), "but 4 bytes follow the last of them"},
        // The MDD record moved before the null.
        {Part(kZsc, 0, 36) + Part(kZsc, 93, kZsc.size()) + Part(kZsc, 36, 93),
         "record 2 at byte 86: a null record after the group it belongs before"},
    };
    for (const auto& [bytes, message] : cases)
        ExpectRefused(ZK_ParseZsc, bytes, message);
}

} // namespace
