// Shared helpers of the importer tests: loading a scene into the host, reading
// it back through the SDK, and the maths of the closed-form expectations.
#pragma once

#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/import/AssimpScene.h"
#include "host/scene/Scene.h"

#include <xsi_geometry.h>
#include <xsi_kinematics.h>
#include <xsi_light.h>
#include <xsi_math.h>
#include <xsi_primitive.h>
#include <xsi_shader.h>
#include <xsi_x3dobject.h>

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace importer_test {

constexpr double kPi = 3.14159265358979323846;

struct P3 {
    double x, y, z;
    P3 operator+(const P3& b) const { return {x + b.x, y + b.y, z + b.z}; }
    P3 operator-(const P3& b) const { return {x - b.x, y - b.y, z - b.z}; }
    P3 operator*(double k) const { return {x * k, y * k, z * k}; }
};
// Rotation about +Z by degrees.
inline P3 RotZ(const P3& p, double degrees) {
    const double c = std::cos(degrees * kPi / 180.0), s = std::sin(degrees * kPi / 180.0);
    return {c * p.x - s * p.y, s * p.x + c * p.y, p.z};
}
inline double Clamp01(double t) {
    return std::min(std::max(t, 0.0), 1.0);
}

#define EXPECT_P3_NEAR(actual, expected, what)                                                     \
    do {                                                                                           \
        const importer_test::P3 a_ = (actual), e_ = (expected);                                    \
        EXPECT_NEAR(a_.x, e_.x, 1e-5) << what;                                                     \
        EXPECT_NEAR(a_.y, e_.y, 1e-5) << what;                                                     \
        EXPECT_NEAR(a_.z, e_.z, 1e-5) << what;                                                     \
    } while (0)

// A fresh host at 30 frames per second.
inline host::HostApp& FreshHost() {
    host::HostApp& app = host::HostApp::Get();
    app.Reset();
    app.SetEchoLog(false);
    app.SetFrameRate(30.0);
    return app;
}
inline void LoadIntoHost(const std::string& path, const std::string& animation = "") {
    FreshHost();
    host::AssimpLoadOptions options;
    options.animation = animation;
    host::LoadSceneFile(path, options);
}

// The item of a full name; a missing one throws, which fails the test
// there instead of handing a null item on.
inline const host::Item* Find(const std::wstring& name) {
    const host::Item* item = host::HostApp::Get().GetScene()->FindItem(name);
    if (!item) {
        throw std::runtime_error("no item " + std::string(name.begin(), name.end()));
    }
    return item;
}
inline XSI::X3DObject Obj(const std::wstring& name) {
    return XSI::X3DObject(host::RefOf(Find(name)));
}
inline double Param(const std::wstring& item, const wchar_t* param, double frame = DBL_MAX) {
    return static_cast<double>(Obj(item).GetParameterValue(param, frame));
}
// The colour (alpha 1) and intensity of a light's one shader at a frame.
inline std::pair<P3, double> LightValues(const std::wstring& name, double frame = DBL_MAX) {
    const XSI::CRefArray shaders = XSI::Light(host::RefOf(Find(name))).GetShaders();
    if (shaders.GetCount() != 1) {
        throw std::runtime_error("light " + std::string(name.begin(), name.end()) + " has " +
                                 std::to_string(shaders.GetCount()) + " shaders, not 1");
    }
    float r = -1, g = -1, b = -1, a = -1;
    XSI::Shader(shaders[0]).GetColorParameterValue(L"color", r, g, b, a, frame);
    EXPECT_EQ(a, 1.0f);
    return {{r, g, b}, XSI::Shader(shaders[0]).GetParameterValue(L"intensity", frame)};
}

inline XSI::MATH::CTransformation Global(const std::wstring& name, double frame) {
    return Obj(name).GetKinematics().GetGlobal().GetTransform(frame);
}
inline P3 ToWorld(const XSI::MATH::CTransformation& g, const P3& p) {
    const XSI::MATH::CVector3 w =
        XSI::MATH::MapObjectPositionToWorldSpace(g, XSI::MATH::CVector3(p.x, p.y, p.z));
    return {w.GetX(), w.GetY(), w.GetZ()};
}
inline P3 Translation(const std::wstring& name, double frame) {
    return ToWorld(Global(name, frame), {0, 0, 0});
}
// A direction of the item's space in world space.
inline P3 Axis(const std::wstring& name, double frame, const P3& d) {
    return ToWorld(Global(name, frame), d) - Translation(name, frame);
}

// The points of an item at a frame through the SDK, in local or world space.
inline std::vector<P3> Points(const std::wstring& name, double frame, bool world = false) {
    const XSI::MATH::CVector3Array a =
        Obj(name).GetActivePrimitive(frame).GetGeometry(frame).GetPoints().GetPositionArray();
    const XSI::MATH::CTransformation g = Global(name, frame);
    std::vector<P3> out;
    for (XSI::LONG i = 0; i < a.GetCount(); ++i) {
        const P3 p{a[i].GetX(), a[i].GetY(), a[i].GetZ()};
        out.push_back(world ? ToWorld(g, p) : p);
    }
    return out;
}

// The points of every mesh of the scene at the frames, in world space, item
// after item.
inline std::vector<P3> AllPoints(std::initializer_list<double> frames = {0.0, 7.0, 15.0}) {
    std::vector<P3> all;
    const host::Scene* scene = host::HostApp::Get().GetScene();
    for (int i = 0; i < scene->ItemCount(); ++i) {
        const host::Item* item = scene->GetItem(i);
        if (item->GetMesh()) {
            for (double frame : frames) {
                const std::vector<P3> p = Points(item->GetName(), frame, true);
                all.insert(all.end(), p.begin(), p.end());
            }
        }
    }
    return all;
}

// Each point of a list against its expected position.
inline void ExpectPoints(const std::vector<P3>& actual, const std::vector<P3>& expected,
                         double frame) {
    ASSERT_EQ(actual.size(), expected.size()) << "frame " << frame;
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_P3_NEAR(actual[i], expected[i], "frame " << frame << " point " << i);
    }
}

// The value of keys at t, holding the ends: linear between keys, or that of
// the last key at or before t for step keys.
inline double Keyed(const std::vector<double>& times, const std::vector<double>& values, double t,
                    bool step = false) {
    size_t i = 1;
    while (i + 1 < times.size() && t >= times[i]) {
        ++i;
    }
    const double u = Clamp01((t - times[i - 1]) / (times[i] - times[i - 1]));
    return values[i - 1] + (values[i] - values[i - 1]) * (step ? std::floor(u) : u);
}

// Blender's evaluated points of the scene in data/dcc (see its README), and
// how near a baked point must come to them.
constexpr double kTolerance = 1e-4; // metres
inline const nlohmann::json& Expected(const std::string& file = "rig_expected.json") {
    static std::map<std::string, nlohmann::json> loaded;
    auto it = loaded.find(file);
    if (it == loaded.end()) {
        std::ifstream in(ZK_DATA_DIR "/dcc/" + file);
        it = loaded.emplace(file, nlohmann::json::parse(in)).first;
    }
    return it->second;
}

inline std::string ReadText(const std::string& path) {
    return zkt::ReadFile(path);
}

using Outcome = zkt::RunResult;

// Runs xsihost with the arguments (words split at spaces).
inline Outcome Xsihost(const std::string& args) {
    zkt::Strings words;
    std::istringstream in(args);
    for (std::string word; in >> word;)
        words.push_back(word);
    // Leaks inside Assimp are its own (see lsan_assimp.supp).
    return zkt::RunXsihost(words, {{"LSAN_OPTIONS=suppressions=" ZK_DATA_DIR
                                    "/../lsan_assimp.supp:print_suppressions=0"},
                                   {},
                                   {}});
}

} // namespace importer_test
