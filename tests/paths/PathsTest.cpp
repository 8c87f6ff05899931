// Output path checks on real folders and files with real modes. The suite
// may run as root, so the checks are expected to look only at the owner-write
// bit of the mode, never at what the current user may actually do.
#include "command/ZK_Paths.h"
#include "host/app/HostApp.h"

#include "HostLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class PathCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        host::HostApp::Get().Reset();
        host::HostApp::Get().SetEchoLog(false);
    }
    void TearDown() override {
        if (!cwd.empty()) {
            ASSERT_EQ(chdir(cwd.c_str()), 0);
        }
    }

    std::string MakeFolder(const std::string& name, mode_t mode) {
        const std::string path = root + "/" + name;
        EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
        EXPECT_EQ(chmod(path.c_str(), mode), 0);
        return path;
    }
    std::string MakeFile(const std::string& name, mode_t mode) {
        const std::string path = root + "/" + name;
        FILE* f = std::fopen(path.c_str(), "w");
        EXPECT_NE(f, nullptr);
        std::fclose(f);
        EXPECT_EQ(chmod(path.c_str(), mode), 0);
        return path;
    }
    void EnterFolder(const std::string& path) {
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        cwd = here;
        ASSERT_EQ(chdir(path.c_str()), 0);
    }

    // Runs the check on a modifiable copy and verifies the copy is unchanged.
    unsigned int Check(const std::string& path, unsigned long kind, const char* label) {
        std::vector<char> text(path.begin(), path.end());
        text.push_back('\0');
        const XSI::CStatus status = _EnsureFilePath(text.data(), kind, label);
        EXPECT_EQ(std::string(text.data()), path);
        return status.GetCode();
    }

    // The log, which holds errors only.
    std::vector<std::string> Errors() const {
        EXPECT_EQ(zkt::LogTexts(true), zkt::LogTexts());
        return zkt::LogTexts();
    }

    zkt::ScratchDir scratch;
    const std::string root = scratch.Dir();
    std::string cwd;
};

constexpr unsigned int kOK = 0;
constexpr unsigned int kInvalid = 0x80070057u;

using Lines = std::vector<std::string>;

TEST_F(PathCheck, FolderAcceptedWhenMissingOrWritable) {
    EXPECT_EQ(Check(root + "/missing", ZK_PATH_FOLDER, "MDD"), kOK);
    EXPECT_EQ(Check(root + "/missing/", ZK_PATH_FOLDER, "MDD"), kOK);
    EXPECT_EQ(Check(MakeFolder("rw", 0700), ZK_PATH_FOLDER, "MDD"), kOK);
    EXPECT_EQ(Check(root + "/rw/", ZK_PATH_FOLDER, "MDD"), kOK);
    EXPECT_EQ(Check(root + "/rw\\", ZK_PATH_FOLDER, "MDD"), kOK);
    EXPECT_EQ(Errors(), Lines{});
}

TEST_F(PathCheck, FolderNamingARegularFileIsInvalid) {
    const std::string file = MakeFile("plain", 0644);
    EXPECT_EQ(Check(file, ZK_PATH_FOLDER, "MDD"), kInvalid);
    // The first look-up fails because of the trailing separator; the second,
    // without it, finds the file. The message keeps the separator.
    EXPECT_EQ(Check(file + "/", ZK_PATH_FOLDER, "LWO"), kInvalid);
    EXPECT_EQ(Check(file + "\\", ZK_PATH_FOLDER, "EMDL"), kInvalid);
    EXPECT_EQ(Errors(), (Lines{"ZK_XSI_Baker - the MDD folder is invalid: " + file,
                               "ZK_XSI_Baker - the LWO folder is invalid: " + file + "/",
                               "ZK_XSI_Baker - the EMDL folder is invalid: " + file + "\\"}));
}

TEST_F(PathCheck, FolderWithoutOwnerWriteIsReadonly) {
    // Group and other may write; only the owner's bit counts.
    const std::string folder = MakeFolder("ro", 0577);
    EXPECT_EQ(Check(folder, ZK_PATH_FOLDER, "MDD"), kInvalid);
    EXPECT_EQ(Check(folder + "/", ZK_PATH_FOLDER, "MDD"), kInvalid);
    EXPECT_EQ(
        Errors(),
        (Lines{"ZK_XSI_Baker - The MDD folder is readonly and cannot be used to generate files: " +
                   folder,
               "ZK_XSI_Baker - The MDD folder is readonly and cannot be used to generate files: " +
                   folder + "/"}));
}

TEST_F(PathCheck, FileKindOnExistingItems) {
    const std::string folder = MakeFolder("dir", 0755);
    const std::string writable = MakeFile("rw.lws", 0200);
    const std::string readonly = MakeFile("ro.lws", 0466);
    EXPECT_EQ(Check(writable, ZK_PATH_FILE, "LWS"), kOK);
    EXPECT_EQ(Check(folder, ZK_PATH_FILE, "LWS"), kInvalid);
    EXPECT_EQ(Check(readonly, ZK_PATH_FILE, "MEL"), kInvalid);
    EXPECT_EQ(Errors(), (Lines{"ZK_XSI_Baker - the LWS file is invalid: " + folder,
                               "ZK_XSI_Baker - The MEL file is readonly and cannot be processed: " +
                                   readonly}));
}

TEST_F(PathCheck, MissingFileChecksItsFolderPart) {
    const std::string readonly = MakeFolder("ro", 0555);
    MakeFolder("rw", 0755);
    EXPECT_EQ(Check(root + "/rw/scene.lws", ZK_PATH_FILE, "LWS"), kOK);
    EXPECT_EQ(Check(root + "/nowhere/scene.lws", ZK_PATH_FILE, "LWS"), kOK);
    // The folder part ends in the separator that the path has there, and the
    // message names the file's label.
    EXPECT_EQ(Check(readonly + "/scene.fxs", ZK_PATH_FILE, "FXS"), kInvalid);
    // A backslash counts as a separator but is kept in the folder part; the
    // folder part's trailing backslash is cut for the second look-up.
    EXPECT_EQ(Check(readonly + "\\scene.zsc", ZK_PATH_FILE, "ZSC"), kInvalid);
    const std::string b = "ZK_XSI_Baker - The ";
    const std::string tail = " folder is readonly and cannot be used to generate files: ";
    EXPECT_EQ(Errors(),
              (Lines{b + "FXS" + tail + readonly + "/", b + "ZSC" + tail + readonly + "\\"}));
}

TEST_F(PathCheck, FileWithoutSeparatorOrEmptyChecksCurrentFolder) {
    EnterFolder(MakeFolder("ro", 0555));
    EXPECT_EQ(Check("scene.mel", ZK_PATH_FILE, "MEL"), kInvalid);
    EXPECT_EQ(Check("", ZK_PATH_FILE, "MEL"), kInvalid);
    const std::string line =
        "ZK_XSI_Baker - The MEL folder is readonly and cannot be used to generate files: .";
    EXPECT_EQ(Errors(), (Lines{line, line}));
    ASSERT_EQ(chmod(".", 0755), 0);
    EXPECT_EQ(Check("scene.mel", ZK_PATH_FILE, "MEL"), kOK);
    EXPECT_EQ(Check("", ZK_PATH_FILE, "MEL"), kOK);
}

TEST_F(PathCheck, UnknownKindIsUnexpectedWithoutMessage) {
    EXPECT_EQ(Check(MakeFile("plain", 0444), 0x2000, "MDD"), 0x8000FFFFu);
    EXPECT_EQ(Check(root + "/missing", 0, "MDD"), 0x8000FFFFu);
    EXPECT_EQ(Errors(), Lines{});
}

} // namespace
