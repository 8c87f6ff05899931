// Helpers of the LightWave and MEL writer tests: a scratch folder, file
// reading, the expected files, the writers' messages, and record set-up.
#pragma once

#include "capture/ZK_Records.h"
#include "writers/ZK_Output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zktest {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string Golden(const std::string& name) {
    const std::string path = std::string(ZK_LW_GOLDEN_DIR) + "/" + name;
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    return ReadFile(path);
}

// Compares two texts and, when they differ, names the first line that does.
inline ::testing::AssertionResult SameText(const std::string& expected, const std::string& actual) {
    if (expected == actual)
        return ::testing::AssertionSuccess();
    std::istringstream e(expected), a(actual);
    std::string el, al;
    for (int line = 1;; ++line) {
        const bool eMore = static_cast<bool>(std::getline(e, el));
        const bool aMore = static_cast<bool>(std::getline(a, al));
        if (!eMore && !aMore)
            return ::testing::AssertionFailure() << "texts differ only in their last line end";
        if (!eMore || !aMore || el != al)
            return ::testing::AssertionFailure() << "first difference at line " << line
                                                 << "\n  expected: " << (eMore ? el : "<end>")
                                                 << "\n  actual:   " << (aMore ? al : "<end>");
    }
}

// Messages the writers reported while a test ran.
inline std::vector<std::string>& Messages() {
    static std::vector<std::string> messages;
    return messages;
}
inline void CollectMessage(const char* message) {
    Messages().push_back(message);
}

inline void SetText(char (&field)[ZK_TEXT_SIZE], const std::string& text) {
    std::snprintf(field, ZK_TEXT_SIZE, "%s", text.c_str());
}

inline void Set3(float (&v)[3], float x, float y, float z) {
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

// The records of one export, built item by item. Every sample starts at the
// identity (scale 1); Link() points the records at their samples and sets the
// counts before a writer runs.
struct Records {
    ScCtrl ctrl;
    int frameCount = 0;
    std::vector<ObjectData> objects;
    std::vector<CameraData_st> cameras;
    std::vector<NullData_st> nulls;
    std::vector<LightData_st> lights;
    std::vector<std::vector<MotionFrame_st>> objectMotion, nullMotion;
    std::vector<std::vector<CameraFrame_st>> cameraMotion;
    std::vector<std::vector<LightFrame_st>> lightMotion;

    void Frames(int start, int count, float rate) {
        ctrl.startFrame = start;
        ctrl.endFrame = start + count - 1;
        ctrl.frameRate = rate;
        frameCount = count;
    }
    template <class Frame> std::vector<Frame> Samples() const {
        std::vector<Frame> samples(static_cast<size_t>(std::max(frameCount, 0)));
        for (Frame& f : samples)
            SetScale(f);
        return samples;
    }
    ObjectData& AddObject(const std::string& name, const std::string& lwo, const std::string& mdd) {
        objects.emplace_back();
        SetText(objects.back().name, name);
        SetText(objects.back().lwoPath, lwo);
        SetText(objects.back().mddPath, mdd);
        objectMotion.push_back(Samples<MotionFrame_st>());
        return objects.back();
    }
    NullData_st& AddNull(const std::string& name) {
        nulls.emplace_back();
        SetText(nulls.back().name, name);
        nullMotion.push_back(Samples<MotionFrame_st>());
        return nulls.back();
    }
    LightData_st& AddLight(const std::string& name, int lightType) {
        lights.emplace_back();
        SetText(lights.back().name, name);
        lights.back().lightType = lightType;
        lightMotion.push_back(Samples<LightFrame_st>());
        return lights.back();
    }
    CameraData_st& AddCamera(const std::string& name) {
        cameras.emplace_back();
        SetText(cameras.back().name, name);
        cameraMotion.push_back(Samples<CameraFrame_st>());
        return cameras.back();
    }

    void Link() {
        ctrl.objectCount = static_cast<int32_t>(objects.size());
        ctrl.nullCount = static_cast<int32_t>(nulls.size());
        ctrl.lightCount = static_cast<int32_t>(lights.size());
        ctrl.cameraCount = static_cast<int32_t>(cameras.size());
        for (size_t k = 0; k < objects.size(); ++k)
            objects[k].motion = frameCount > 0 ? objectMotion[k].data() : nullptr;
        for (size_t k = 0; k < nulls.size(); ++k)
            nulls[k].motion = frameCount > 0 ? nullMotion[k].data() : nullptr;
        for (size_t k = 0; k < lights.size(); ++k)
            lights[k].motion = frameCount > 0 ? lightMotion[k].data() : nullptr;
        for (size_t k = 0; k < cameras.size(); ++k)
            cameras[k].motion = frameCount > 0 ? cameraMotion[k].data() : nullptr;
    }
    ObjectData* Objects() { return objects.empty() ? nullptr : objects.data(); }
    NullData_st* Nulls() { return nulls.empty() ? nullptr : nulls.data(); }
    LightData_st* Lights() { return lights.empty() ? nullptr : lights.data(); }
    CameraData_st* Cameras() { return cameras.empty() ? nullptr : cameras.data(); }

    // Runs a writer (WriteLWS, WriteMaya or WriteMotions) on these records.
    template <class Writer> int Run(Writer writer, const std::string& path) {
        Link();
        std::vector<char> buffer(path.begin(), path.end());
        buffer.resize(std::max<size_t>(buffer.size() + 1, ZK_TEXT_SIZE), '\0');
        return writer(&ctrl, Objects(), Cameras(), Nulls(), Lights(), buffer.data(), frameCount);
    }

  private:
    static void SetScale(MotionFrame_st& f) { Set3(f.scale, 1, 1, 1); }
    static void SetScale(LightFrame_st& f) { Set3(f.scale, 1, 1, 1); }
    static void SetScale(CameraFrame_st&) {}
};

// A fresh scratch folder per test, and the writers' messages collected.
class WriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zk_writers_lw_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        Messages().clear();
        ZK_SetMessageSink(CollectMessage);
    }
    void TearDown() override {
        ZK_SetMessageSink(nullptr);
        std::filesystem::remove_all(m_dir);
    }

    // Runs writer on r into the file name of the scratch folder, and compares
    // the file with the expected file golden.
    template <class Writer>
    void ExpectWritten(Writer writer, Records& r, const std::string& name,
                       const std::string& golden) {
        const std::string path = PathOf(name);
        ASSERT_EQ(r.Run(writer, path), 1);
        EXPECT_TRUE(SameText(Golden(golden), ReadFile(path))) << golden;
        EXPECT_TRUE(Messages().empty());
    }

    std::string Dir() const { return m_dir; }
    std::string PathOf(const std::string& name) const { return m_dir + "/" + name; }
    std::vector<std::string> FilesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string m_dir;
};

// Switches the process to a locale whose decimal separator is a comma for
// the length of a scope; skips the test when the machine lacks it.
class CommaLocale {
  public:
    CommaLocale() : m_ok(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {}
    ~CommaLocale() { std::setlocale(LC_ALL, "C"); }
    bool Available() const { return m_ok; }

  private:
    bool m_ok;
};

} // namespace zktest
