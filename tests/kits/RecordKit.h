// Shared by the writer and reader tests: export records built item by item,
// bytes from hex text, the writers' messages collected, and a locale with a
// decimal comma.
#pragma once

#include "capture/ZK_Records.h"
#include "writers/ZK_Output.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <locale>
#include <iterator>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace zkt {

constexpr unsigned char kAllKinds = ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS;
using Writer = int (*)(ScCtrl*, ObjectData*, CameraData_st*, NullData_st*, LightData_st*, char*,
                       int, const ZK_Messages&);

// Bytes from hex text: pairs of hex digits, 'text' for its characters, and
// '#' starting a comment to the end of the line.
inline Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#') {
            i = std::min(text.find('\n', i), text.size());
        } else if (text[i] == '\'') {
            const size_t end = text.find('\'', i + 1);
            out.insert(out.end(), text.begin() + i + 1, text.begin() + end);
            i = end;
        } else if (std::isxdigit(static_cast<unsigned char>(text[i]))) {
            out.push_back(static_cast<unsigned char>(std::stoi(text.substr(i++, 2), nullptr, 16)));
        }
    }
    return out;
}
inline void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}
inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// How often part appears in text.
inline int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// A message sink that collects the messages of the writers it is handed to.
class MessageLog : public ZK_Messages {
  public:
    MessageLog() : ZK_Messages([this](const char* message) { m_all.push_back(message); }) {}
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;
    std::vector<std::string>& All() { return m_all; }

  private:
    std::vector<std::string> m_all;
};

inline std::string CannotWrite(const std::string& label, const std::string& path) {
    return "ZK_XSI_Baker - The " + label + " file cannot be written: " + path;
}

// Runs body with the process (C and C++) under a locale whose decimal
// separator is a comma; false, without running it, when the machine has none.
template <class Body> bool UnderCommaLocale(Body body) {
    std::locale comma;
    try {
        comma = std::locale("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        return false;
    }
    const std::locale previous = std::locale::global(comma);
    char probe[8];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");
    body();
    std::locale::global(previous);
    return true;
}

inline void SetText(char (&field)[ZK_TEXT_SIZE], const std::string& text) {
    std::snprintf(field, ZK_TEXT_SIZE, "%s", text.c_str());
}
inline void Set3(float* v, float x, float y, float z) {
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

// The records of one export, item by item, each with its samples (scale 1).
// Run() sets the counts and points the records at their samples, as the
// driver does, and calls a writer with the path in a full-size buffer.
struct Scene {
    ScCtrl ctrl;
    int frames;
    std::vector<ObjectData> objects;
    std::vector<CameraData_st> cameras;
    std::vector<NullData_st> nulls;
    std::vector<LightData_st> lights;
    std::vector<std::vector<MotionFrame_st>> objectMotion, nullMotion;
    std::vector<std::vector<CameraFrame_st>> cameraMotion;
    std::vector<std::vector<LightFrame_st>> lightMotion;

    // Frames start .. start + count - 1; motion flags, when given, turn motion on.
    Scene(int start, int count, float rate, unsigned char motionFlags = 0) : frames(count) {
        ctrl.startFrame = start;
        ctrl.endFrame = start + count - 1;
        ctrl.frameRate = rate;
        ctrl.motAct = motionFlags != 0;
        ctrl.motionFlags = motionFlags;
    }
    MotionFrame_st* AddObject(const std::string& name, const std::string& lwo = "",
                              const std::string& mdd = "", const std::string& emdl = "") {
        objects.emplace_back();
        SetText(objects.back().name, name);
        SetText(objects.back().lwoPath, lwo);
        SetText(objects.back().mddPath, mdd);
        SetText(objects.back().emdlPath, emdl);
        return Samples(objectMotion);
    }
    MotionFrame_st* AddNull(const std::string& name) {
        SetText(nulls.emplace_back().name, name);
        return Samples(nullMotion);
    }
    LightFrame_st* AddLight(const std::string& name, int lightType = 0) {
        SetText(lights.emplace_back().name, name);
        lights.back().lightType = lightType;
        return Samples(lightMotion);
    }
    CameraFrame_st* AddCamera(const std::string& name, float projPlaneHeight = 0.0f,
                              float pixelRatio = 1.0f) {
        SetText(cameras.emplace_back().name, name);
        cameras.back().projPlaneHeight = projPlaneHeight;
        cameras.back().pixelRatio = pixelRatio;
        return Samples(cameraMotion);
    }

    int Run(Writer writer, const std::string& path, const ZK_Messages& messages = ZK_Messages()) {
        std::vector<char> buffer(path.begin(), path.end());
        buffer.resize(std::max<size_t>(buffer.size() + 1, ZK_TEXT_SIZE), '\0');
        return writer(&ctrl, Link(objects, objectMotion, ctrl.objectCount),
                      Link(cameras, cameraMotion, ctrl.cameraCount),
                      Link(nulls, nullMotion, ctrl.nullCount),
                      Link(lights, lightMotion, ctrl.lightCount), buffer.data(), frames, messages);
    }

  private:
    template <class Frame> Frame* Samples(std::vector<std::vector<Frame>>& motion) {
        motion.emplace_back(static_cast<size_t>(std::max(frames, 0)));
        if constexpr (!std::is_same_v<Frame, CameraFrame_st>)
            for (Frame& f : motion.back())
                Set3(f.scale, 1, 1, 1);
        return motion.back().data();
    }
    template <class Record, class Frame>
    Record* Link(std::vector<Record>& items, std::vector<std::vector<Frame>>& motion,
                 int32_t& count) {
        count = static_cast<int32_t>(items.size());
        for (size_t k = 0; k < items.size(); ++k)
            items[k].motion = frames > 0 ? motion[k].data() : nullptr;
        return items.empty() ? nullptr : items.data();
    }
};

} // namespace zkt
