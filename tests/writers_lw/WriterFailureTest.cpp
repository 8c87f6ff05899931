// Outputs that cannot be made: one message naming each, nothing written for
// a file that could not be created, the other files still written, and a
// failure result.
#include "WritersLwTestSupport.h"

#include "writers/LWSFile.h"
#include "writers/MOTfile.h"

using namespace zktest;

namespace {

class WriterFailureTest : public WriterTest {};

std::string Failure(const std::string& label, const std::string& path) {
    return "ZK_XSI_Baker - The " + label + " file cannot be written: " + path;
}

Records CameraAndNull() {
    Records r;
    r.Frames(1, 2, 24.0f);
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_CAMERAS | ZK_MOT_NULLS;
    r.AddCamera("cam1");
    r.AddNull("null1");
    return r;
}

TEST_F(WriterFailureTest, SceneAndScriptInAMissingFolderAreReportedAndNotMade) {
    Records r = CameraAndNull();
    const std::string lws = PathOf("missing/scene.lws");
    EXPECT_EQ(r.Run(WriteLWS, lws), 0);
    const std::string mel = PathOf("missing/scene.mel");
    EXPECT_EQ(r.Run(WriteMaya, mel), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{Failure("LWS", lws), Failure("MEL", mel)}));
    EXPECT_TRUE(FilesInDir().empty());
}

TEST_F(WriterFailureTest, AWriteThatFailsIsReported) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    Records r = CameraAndNull();
    EXPECT_EQ(r.Run(WriteLWS, "/dev/full"), 0);
    EXPECT_EQ(r.Run(WriteMaya, "/dev/full"), 0);
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{Failure("LWS", "/dev/full"), Failure("MEL", "/dev/full")}));
}

TEST_F(WriterFailureTest, AMotionFileThatCannotBeMadeIsSkippedAndTheOthersWritten) {
    Records r = CameraAndNull();
    SetText(r.cameras[0].name, "missing/cam1");
    r.AddNull("null2");
    EXPECT_EQ(r.Run(WriteMotions, Dir()), 0);
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{Failure("MOT", PathOf("missing/cam1.mot")),
                                        Failure("MOT", PathOf("missing/cam1_zoom.env"))}));
    EXPECT_EQ(FilesInDir(), (std::vector<std::string>{"null1.mot", "null2.mot"}));
}

TEST_F(WriterFailureTest, AMotionPathTooLongForAPathBufferIsRefused) {
    Records r = CameraAndNull();
    const std::string longName(ZK_TEXT_SIZE - Dir().size() - 5, 'n'); // one over with ".mot"
    SetText(r.nulls[0].name, longName);
    EXPECT_EQ(r.Run(WriteMotions, Dir()), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{Failure("MOT", PathOf(longName + ".mot"))}));
    EXPECT_EQ(FilesInDir(), (std::vector<std::string>{"cam1.mot", "cam1_zoom.env"}));
}

TEST_F(WriterFailureTest, RecordsWithoutTheirSamplesAreRefusedBeforeAnyFileIsMade) {
    Records r = CameraAndNull();
    r.Link();
    r.nulls[0].motion = nullptr;
    std::vector<char> lws(ZK_TEXT_SIZE), folder(ZK_TEXT_SIZE);
    std::snprintf(lws.data(), lws.size(), "%s", PathOf("scene.lws").c_str());
    std::snprintf(folder.data(), folder.size(), "%s", Dir().c_str());
    EXPECT_EQ(WriteLWS(&r.ctrl, nullptr, r.Cameras(), r.Nulls(), nullptr, lws.data(), r.frameCount),
              0);
    EXPECT_EQ(WriteMotions(&r.ctrl, nullptr, r.Cameras(), r.Nulls(), nullptr, folder.data(),
                           r.frameCount),
              0);
    EXPECT_EQ(WriteMaya(nullptr, nullptr, nullptr, nullptr, nullptr, lws.data(), 1), 0);
    ASSERT_EQ(Messages().size(), 3u);
    EXPECT_EQ(Messages()[0], "ZK_XSI_Baker - The export records are incomplete, the LWS file "
                             "is not written: " +
                                 PathOf("scene.lws"));
    EXPECT_TRUE(FilesInDir().empty());
}

} // namespace
