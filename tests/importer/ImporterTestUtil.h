// Shared helpers of the importer tests: loading a scene into the host and
// reading it back through the SDK, and the closed-form expectations' maths.
#pragma once

#include "host/app/HostApp.h"
#include "host/import/AssimpScene.h"
#include "host/scene/Scene.h"

#include <xsi_geometry.h>
#include <xsi_kinematics.h>
#include <xsi_light.h>
#include <xsi_math.h>
#include <xsi_primitive.h>
#include <xsi_shader.h>
#include <xsi_x3dobject.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace importer_test {

constexpr double kTol = 1e-5;
constexpr double kPi = 3.14159265358979323846;

struct P3 {
    double x, y, z;
};

inline std::string ScenePath(const std::string& name) {
    return std::string(ZK_SCENE_DIR) + "/" + name;
}
inline std::string OutPath(const std::string& name) {
    return std::string(ZK_TEST_OUT_DIR) + "/" + name;
}

inline void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

// A fresh host at 30 frames per second holding the scene of the file.
inline void LoadIntoHost(const std::string& path, const std::string& animation = "") {
    host::HostApp::Get().Reset();
    host::HostApp::Get().SetEchoLog(false);
    host::HostApp::Get().SetFrameRate(30.0);
    host::AssimpLoadOptions options;
    options.animation = animation;
    host::LoadSceneFile(path, options);
}

inline const host::Item* Find(const std::wstring& name) {
    const host::Item* item = host::HostApp::Get().GetScene()->FindItem(name);
    EXPECT_NE(item, nullptr) << "no item " << std::string(name.begin(), name.end());
    return item;
}

inline XSI::X3DObject Obj(const std::wstring& name) {
    return XSI::X3DObject(Find(name)->GetRef());
}

// The points of an item at a frame, local space, through the SDK.
inline std::vector<P3> LocalPoints(const std::wstring& name, double frame) {
    const XSI::MATH::CVector3Array a =
        Obj(name).GetActivePrimitive(frame).GetGeometry(frame).GetPoints().GetPositionArray();
    std::vector<P3> out;
    for (XSI::LONG i = 0; i < a.GetCount(); ++i) {
        out.push_back({a[i].GetX(), a[i].GetY(), a[i].GetZ()});
    }
    return out;
}

inline XSI::MATH::CTransformation Global(const std::wstring& name, double frame) {
    return Obj(name).GetKinematics().GetGlobal().GetTransform(frame);
}

// The points mapped to world space by the item's global transform.
inline std::vector<P3> WorldPoints(const std::wstring& name, double frame) {
    const XSI::MATH::CTransformation g = Global(name, frame);
    std::vector<P3> out;
    for (const P3& p : LocalPoints(name, frame)) {
        const XSI::MATH::CVector3 w =
            XSI::MATH::MapObjectPositionToWorldSpace(g, XSI::MATH::CVector3(p.x, p.y, p.z));
        out.push_back({w.GetX(), w.GetY(), w.GetZ()});
    }
    return out;
}

inline P3 Translation(const std::wstring& name, double frame) {
    P3 t;
    Global(name, frame).GetTranslationValues(t.x, t.y, t.z);
    return t;
}

// A direction of the item's space in world space (rotation and scaling only).
inline P3 Axis(const std::wstring& name, double frame, const P3& d) {
    const XSI::MATH::CTransformation g = Global(name, frame);
    const XSI::MATH::CVector3 o =
        XSI::MATH::MapObjectPositionToWorldSpace(g, XSI::MATH::CVector3());
    const XSI::MATH::CVector3 e =
        XSI::MATH::MapObjectPositionToWorldSpace(g, XSI::MATH::CVector3(d.x, d.y, d.z));
    return {e.GetX() - o.GetX(), e.GetY() - o.GetY(), e.GetZ() - o.GetZ()};
}

inline double Param(const std::wstring& item, const wchar_t* param, double frame = DBL_MAX) {
    return static_cast<double>(Obj(item).GetParameterValue(param, frame));
}

#define EXPECT_P3_NEAR(actual, expected, what)                                                     \
    do {                                                                                           \
        const importer_test::P3 a_ = (actual);                                                     \
        const importer_test::P3 e_ = (expected);                                                   \
        EXPECT_NEAR(a_.x, e_.x, importer_test::kTol) << what;                                      \
        EXPECT_NEAR(a_.y, e_.y, importer_test::kTol) << what;                                      \
        EXPECT_NEAR(a_.z, e_.z, importer_test::kTol) << what;                                      \
    } while (0)

// Rotation about +Z by a in degrees.
inline P3 RotZ(const P3& p, double degrees) {
    const double a = degrees * kPi / 180.0;
    return {std::cos(a) * p.x - std::sin(a) * p.y, std::sin(a) * p.x + std::cos(a) * p.y, p.z};
}

inline P3 Add(const P3& a, const P3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline P3 Sub(const P3& a, const P3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline P3 Scale(const P3& a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}

// Piecewise-linear value of keys (times, values) at t, holding the ends.
inline double PiecewiseLinear(const std::vector<double>& times, const std::vector<double>& values,
                              double t) {
    if (t <= times.front()) {
        return values.front();
    }
    for (size_t i = 1; i < times.size(); ++i) {
        if (t <= times[i]) {
            const double u = (t - times[i - 1]) / (times[i] - times[i - 1]);
            return values[i - 1] + (values[i] - values[i - 1]) * u;
        }
    }
    return values.back();
}

// The value of the last key at or before t (the first key before it).
inline double Stepped(const std::vector<double>& times, const std::vector<double>& values,
                      double t) {
    double v = values.front();
    for (size_t i = 0; i < times.size(); ++i) {
        if (t >= times[i]) {
            v = values[i];
        }
    }
    return v;
}

// Frames to check: every frame of a range and some between frames.
inline std::vector<double> FramesToCheck(int last) {
    std::vector<double> frames;
    for (int f = -3; f <= last + 3; ++f) {
        frames.push_back(f);
    }
    for (double f : {0.5, 2.25, 7.75, 16.5, 23.4, 40.125}) {
        if (f < last) {
            frames.push_back(f);
        }
    }
    return frames;
}

} // namespace importer_test
