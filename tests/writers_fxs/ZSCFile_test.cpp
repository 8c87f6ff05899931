// ZSC scene file: whole files against bytes written out by hand, every record
// kind, the item count, and output failures.
#include "writers/ZSCFile.h"

#include "ZK_TestFiles.h"
#include "ZK_TestScene.h"

namespace {

using Bytes = std::vector<unsigned char>;

// "ZKSC", version 1.1, frames 1 to 10, 24 fps, the item count, 1.0, 0.
Bytes BallHeader(const char* itemCount) {
    return ZK_Bytes("ZKSC") + ZK_Hex("CD CC 8C 3F  0A 00 00 00  01 00 00 00  0A 00 00 00") +
           ZK_Hex("00 00 C0 41") + ZK_Hex(itemCount) + ZK_Hex("00 00 80 3F  00 00 00 00");
}

// The ball: one object, MDD on, motion off, 11-character paths.
ZK_TestScene BallScene(int meshFormat) {
    ZK_TestScene scene(1, 10, 24.0f);
    scene.ctrl.mddAct = 1;
    scene.ctrl.meshFormat = meshFormat;
    scene.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd", "/o/ball.emd");
    return scene;
}

Bytes WriteToBytes(ZK_TestScene& scene, const ZK_ScratchDir& dir) {
    const std::string path = dir.File("scene.zsc");
    EXPECT_EQ(scene.Write(WriteZSC, path), 1);
    return ZK_ReadBytes(path);
}

TEST(ZSCFile, HeaderRecordIsWrittenLittleEndian) {
    ZK_ScratchDir dir;
    const std::string path = dir.File("header.zsc");
    ZKscnDat_st header;
    header.file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(header.file, nullptr);
    header.version = 1.1f;
    header.frameCount = 10;
    header.startFrame = 1;
    header.endFrame = 10;
    header.frameRate = 24.0f;
    header.itemCount = 0x01020304;
    header.constOne = 1.0f;
    header.constZero = -2;
    ZK_writeHeader(&header);
    std::fclose(header.file);
    EXPECT_EQ(ZK_ReadBytes(path), ZK_Bytes("ZKSC") +
                                      ZK_Hex("CD CC 8C 3F 0A 00 00 00 01 00 00 00 0A 00 00 00") +
                                      ZK_Hex("00 00 C0 41 04 03 02 01 00 00 80 3F FE FF FF FF"));
}

TEST(ZSCFile, MddObjectRecordByMeshFormat) {
    ZK_ScratchDir dir;
    const Bytes name = ZK_Hex("01 00 00 00  04 00 00 00") + ZK_Bytes("ball");
    const Bytes mdd = ZK_Hex("0B 00 00 00") + ZK_Bytes("/o/ball.mdd");
    {
        ZK_TestScene scene = BallScene(0);
        EXPECT_EQ(WriteToBytes(scene, dir), BallHeader("01 00 00 00") + name +
                                                ZK_Hex("0B 00 00 00") + ZK_Bytes("/o/ball.lwo") +
                                                ZK_Hex("00 00 00 00  00 00 00 00  00 00 00 00") +
                                                mdd);
    }
    {
        // EMDL: the format follows the path directly.
        ZK_TestScene scene = BallScene(1);
        EXPECT_EQ(WriteToBytes(scene, dir), BallHeader("01 00 00 00") + name +
                                                ZK_Hex("0B 00 00 00") + ZK_Bytes("/o/ball.emd") +
                                                ZK_Hex("01 00 00 00  00 00 00 00") + mdd);
    }
    {
        // Any other format: no mesh path at all.
        ZK_TestScene scene = BallScene(7);
        EXPECT_EQ(WriteToBytes(scene, dir),
                  BallHeader("01 00 00 00") + name + ZK_Hex("07 00 00 00  00 00 00 00") + mdd);
    }
}

TEST(ZSCFile, NothingToWriteGivesTheBareHeader) {
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 10, 24.0f);
    scene.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd");
    scene.AddCamera("cam");
    const Bytes bytes = WriteToBytes(scene, dir);
    EXPECT_EQ(bytes.size(), 36u);
    EXPECT_EQ(bytes, BallHeader("00 00 00 00"));
}

TEST(ZSCFile, CameraRecordAndFovLayouts) {
    ZK_ScratchDir dir;
    const auto scene = [](int fovType) {
        ZK_TestScene s(1, 2, 24.0f);
        s.Motion(ZK_MOT_CAMERAS);
        CameraFrame_st* m = s.AddCamera("cam", 1.0f, 1.0f);
        s.cameras.back().aspect = 1.5f;
        s.cameras.back().fovType = fovType;
        ZK_Set3(m[0].pos, 1.0f, 2.0f, -0.0f);
        ZK_Set3(m[0].rotXYZ, 0.5f, -1.0f, 0.25f);
        m[0].fov = 0.5f;
        m[0].projPlaneDist = 3.0f;
        ZK_Set3(m[1].pos, 0.0f, 0.0f, 3.0f);
        m[1].fov = 1.5f;
        m[1].projPlaneDist = 2.0f;
        return s;
    };
    const Bytes head = ZK_Bytes("ZKSC") +
                       ZK_Hex("CD CC 8C 3F 02 00 00 00 01 00 00 00 02 00 00 00 00 00 C0 41") +
                       ZK_Hex("01 00 00 00 00 00 80 3F 00 00 00 00") +
                       // camera "cam", 480, 640, pixel ratio 1, aspect 1.5, 25.4, 3
                       ZK_Hex("00 00 00 00 03 00 00 00") + ZK_Bytes("cam") +
                       ZK_Hex("E0 01 00 00 80 02 00 00 00 00 80 3F 00 00 C0 3F") +
                       ZK_Hex("33 33 CB 41 03 00 00 00");
    // time 1/24, frame 1, x 1, y 2, z +0 (from -0), rotation 0.5 -1 0.25
    const Bytes sample0 = ZK_Hex("AB AA 2A 3D 01 00 00 00 00 00 80 3F 00 00 00 40 00 00 00 00") +
                          ZK_Hex("00 00 00 3F 00 00 80 BF 00 00 80 3E");
    // time 2/24, frame 2, z 3 written -3, no rotation
    const Bytes sample1 = ZK_Hex("AB AA AA 3D 02 00 00 00 00 00 00 00 00 00 00 00 00 00 40 C0") +
                          ZK_Hex("00 00 00 00 00 00 00 00 00 00 00 00");
    {
        ZK_TestScene s = scene(1); // fov first, then 0.0
        EXPECT_EQ(WriteToBytes(s, dir),
                  head + sample0 + ZK_Hex("00 00 00 3F 00 00 00 00 00 00 40 40") + sample1 +
                      ZK_Hex("00 00 C0 3F 00 00 00 00 00 00 00 40"));
        // The writer keeps the image size it wrote in the camera's first sample.
        EXPECT_EQ(s.cameraMotion[0][0].imageHeight, 480);
        EXPECT_EQ(s.cameraMotion[0][0].imageWidth, 640);
    }
    {
        ZK_TestScene s = scene(0); // 0.0 first, then fov
        EXPECT_EQ(WriteToBytes(s, dir),
                  head + sample0 + ZK_Hex("00 00 00 00 00 00 00 3F 00 00 40 40") + sample1 +
                      ZK_Hex("00 00 00 00 00 00 C0 3F 00 00 00 40"));
    }
    {
        ZK_TestScene s = scene(2); // no fov: 36-byte samples
        EXPECT_EQ(WriteToBytes(s, dir),
                  head + sample0 + ZK_Hex("00 00 40 40") + sample1 + ZK_Hex("00 00 00 40"));
    }
}

TEST(ZSCFile, EveryRecordKindInGroupOrder) {
    // One frame (frame 1 at 24 fps) and one item of every kind; MDD and
    // object motion both on, so the object has two records.
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 1, 24.0f);
    scene.ctrl.mddAct = 1;
    scene.Motion(ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS);
    // Added in another order than written: objects, then nulls, then lights,
    // then cameras.
    MotionFrame_st* ball = scene.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd");
    ZK_Set3(ball[0].pos, 1.0f, 0.0f, 0.0f);
    ZK_Set3(ball[0].ppos, 0.5f, 0.5f, 0.5f);
    ZK_Set3(ball[0].scale, 1.0f, 1.0f, 1.0f);
    ZK_Set3(ball[0].hpb, 45.0f, 45.0f, 45.0f); // not written
    MotionFrame_st* n = scene.AddNull("n");
    ZK_Set3(n[0].pos, 0.0f, 0.0f, 1.0f);
    ZK_Set3(n[0].scale, 1.0f, 1.0f, 1.0f);
    LightFrame_st* key = scene.AddLight("key", 2);
    ZK_Set3(key[0].pos, 1.0f, 2.0f, 3.0f);
    ZK_Set3(key[0].scale, 1.0f, 1.0f, 1.0f);
    key[0].color[0] = 1.0f;
    key[0].color[1] = 0.5f;
    key[0].color[2] = 0.25f;
    key[0].color[3] = 1.0f;
    key[0].intensity = 2.0f;
    scene.AddCamera("c", 0.0f, 1.0f);
    const Bytes frame1 = ZK_Hex("AB AA 2A 3D 01 00 00 00");
    const Bytes zero3 = ZK_Hex("00 00 00 00 00 00 00 00 00 00 00 00");
    const Bytes one3 = ZK_Hex("00 00 80 3F 00 00 80 3F 00 00 80 3F");
    const Bytes expected =
        ZK_Bytes("ZKSC") +
        ZK_Hex("CD CC 8C 3F 01 00 00 00 01 00 00 00 01 00 00 00 00 00 C0 41 05 00 00 00") +
        ZK_Hex("00 00 80 3F 00 00 00 00") +
        // camera "c": fov type 0, all values 0 but the pixel ratio
        ZK_Hex("00 00 00 00 01 00 00 00") + ZK_Bytes("c") +
        ZK_Hex("E0 01 00 00 80 02 00 00 00 00 80 3F 00 00 00 00 00 00 00 00 03 00 00 00") + frame1 +
        zero3 + zero3 + ZK_Hex("00 00 00 00 00 00 00 00 00 00 00 00") +
        // light "key", type 2, tag 5
        ZK_Hex("02 00 00 00 03 00 00 00") + ZK_Bytes("key") + ZK_Hex("02 00 00 00 05 00 00 00") +
        frame1 + ZK_Hex("00 00 80 3F 00 00 00 40 00 00 40 C0") + zero3 + one3 +
        ZK_Hex("00 00 80 3F 00 00 00 3F 00 00 80 3E 00 00 80 3F 00 00 00 40") +
        // null "n", tag 0
        ZK_Hex("03 00 00 00 01 00 00 00") + ZK_Bytes("n") + ZK_Hex("00 00 00 00") + frame1 +
        ZK_Hex("00 00 00 00 00 00 00 00 00 00 80 BF") + zero3 + one3 +
        // MDD object "ball", LWO
        ZK_Hex("01 00 00 00 04 00 00 00") + ZK_Bytes("ball") + ZK_Hex("0B 00 00 00") +
        ZK_Bytes("/o/ball.lwo") + ZK_Hex("00 00 00 00 00 00 00 00 00 00 00 00 0B 00 00 00") +
        ZK_Bytes("/o/ball.mdd") +
        // keyed object "ball", LWO, 0 1 0
        ZK_Hex("01 00 00 00 04 00 00 00") + ZK_Bytes("ball") + ZK_Hex("0B 00 00 00") +
        ZK_Bytes("/o/ball.lwo") + ZK_Hex("00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00") +
        frame1 + ZK_Hex("00 00 80 3F 00 00 00 00 00 00 00 00") +
        ZK_Hex("00 00 00 3F 00 00 00 3F 00 00 00 3F") + zero3 + one3;
    EXPECT_EQ(WriteToBytes(scene, dir), expected);
}

TEST(ZSCFile, ItemCountCountsTheRecordsWritten) {
    ZK_ScratchDir dir;
    // Motion sent to separate files: no sampled records, and none counted.
    ZK_TestScene scene(1, 10, 24.0f);
    scene.ctrl.mddAct = 1;
    scene.ctrl.motSep = 1;
    scene.Motion(ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS);
    scene.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd");
    scene.AddCamera("cam");
    scene.AddLight("key");
    scene.AddNull("n");
    const Bytes bytes = WriteToBytes(scene, dir);
    const Bytes mddOnly = BallHeader("01 00 00 00") + ZK_Hex("01 00 00 00 04 00 00 00") +
                          ZK_Bytes("ball") + ZK_Hex("0B 00 00 00") + ZK_Bytes("/o/ball.lwo") +
                          ZK_Hex("00 00 00 00 00 00 00 00 00 00 00 00 0B 00 00 00") +
                          ZK_Bytes("/o/ball.mdd");
    EXPECT_EQ(bytes, mddOnly);
}

TEST(ZSCFile, FileThatCannotBeCreatedIsReportedOnce) {
    ZK_ScratchDir dir;
    ZK_MessageCapture capture;
    ZK_TestScene scene = BallScene(0);
    const std::string path = dir.File("missing/scene.zsc");
    EXPECT_EQ(scene.Write(WriteZSC, path), 0);
    ASSERT_EQ(ZK_MessageCapture::Messages().size(), 1u);
    EXPECT_EQ(ZK_MessageCapture::Messages()[0],
              "ZK_XSI_Baker - The ZSC file cannot be written: " + path);
    EXPECT_FALSE(ZK_FileExists(path));
}

TEST(ZSCFile, WriteFailureIsReportedOnce) {
    if (!ZK_FileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    ZK_MessageCapture capture;
    ZK_TestScene scene = BallScene(0);
    EXPECT_EQ(scene.Write(WriteZSC, "/dev/full"), 0);
    ASSERT_EQ(ZK_MessageCapture::Messages().size(), 1u);
    EXPECT_EQ(ZK_MessageCapture::Messages()[0],
              "ZK_XSI_Baker - The ZSC file cannot be written: /dev/full");
}

} // namespace
