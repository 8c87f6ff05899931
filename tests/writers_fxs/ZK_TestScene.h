// A scene of export records for the writer tests: item records with their
// per-frame samples, kept in vectors, handed to a writer as the driver would.
#pragma once

#include "capture/ZK_Records.h"

#include <cstring>
#include <string>
#include <vector>

inline void ZK_SetText(char* field, const std::string& text) {
    std::strncpy(field, text.c_str(), ZK_TEXT_SIZE - 1);
    field[ZK_TEXT_SIZE - 1] = '\0';
}

struct ZK_TestScene {
    ScCtrl ctrl;
    std::vector<ObjectData> objects;
    std::vector<CameraData_st> cameras;
    std::vector<NullData_st> nulls;
    std::vector<LightData_st> lights;
    std::vector<std::vector<MotionFrame_st>> objectMotion;
    std::vector<std::vector<CameraFrame_st>> cameraMotion;
    std::vector<std::vector<MotionFrame_st>> nullMotion;
    std::vector<std::vector<LightFrame_st>> lightMotion;

    ZK_TestScene(int startFrame, int endFrame, float frameRate) {
        ctrl.startFrame = startFrame;
        ctrl.endFrame = endFrame;
        ctrl.frameRate = frameRate;
    }
    int Frames() const { return ctrl.endFrame - ctrl.startFrame + 1; }

    // Motion on for the kinds in flags (ZK_MOT_* bits).
    void Motion(unsigned char flags) {
        ctrl.motAct = 1;
        ctrl.motionFlags = flags;
    }

    MotionFrame_st* AddObject(const std::string& name, const std::string& lwo = "",
                              const std::string& mdd = "", const std::string& emdl = "") {
        objects.emplace_back();
        ZK_SetText(objects.back().name, name);
        ZK_SetText(objects.back().lwoPath, lwo);
        ZK_SetText(objects.back().mddPath, mdd);
        ZK_SetText(objects.back().emdlPath, emdl);
        objectMotion.emplace_back(static_cast<size_t>(Frames()));
        return objectMotion.back().data();
    }
    CameraFrame_st* AddCamera(const std::string& name, float projPlaneHeight = 0.0f,
                              float pixelRatio = 1.0f) {
        cameras.emplace_back();
        ZK_SetText(cameras.back().name, name);
        cameras.back().projPlaneHeight = projPlaneHeight;
        cameras.back().pixelRatio = pixelRatio;
        cameraMotion.emplace_back(static_cast<size_t>(Frames()));
        return cameraMotion.back().data();
    }
    MotionFrame_st* AddNull(const std::string& name) {
        nulls.emplace_back();
        ZK_SetText(nulls.back().name, name);
        nullMotion.emplace_back(static_cast<size_t>(Frames()));
        return nullMotion.back().data();
    }
    LightFrame_st* AddLight(const std::string& name, int lightType = 0) {
        lights.emplace_back();
        ZK_SetText(lights.back().name, name);
        lights.back().lightType = lightType;
        lightMotion.emplace_back(static_cast<size_t>(Frames()));
        return lightMotion.back().data();
    }

    // Counts and motion pointers as the driver sets them: a kind's samples
    // are attached only when its bit is set.
    void Bind() {
        ctrl.objectCount = static_cast<int32_t>(objects.size());
        ctrl.cameraCount = static_cast<int32_t>(cameras.size());
        ctrl.nullCount = static_cast<int32_t>(nulls.size());
        ctrl.lightCount = static_cast<int32_t>(lights.size());
        for (size_t i = 0; i < objects.size(); ++i)
            objects[i].motion =
                ctrl.motionFlags & ZK_MOT_OBJECTS ? objectMotion[i].data() : nullptr;
        for (size_t i = 0; i < cameras.size(); ++i)
            cameras[i].motion =
                ctrl.motionFlags & ZK_MOT_CAMERAS ? cameraMotion[i].data() : nullptr;
        for (size_t i = 0; i < nulls.size(); ++i)
            nulls[i].motion = ctrl.motionFlags & ZK_MOT_NULLS ? nullMotion[i].data() : nullptr;
        for (size_t i = 0; i < lights.size(); ++i)
            lights[i].motion = ctrl.motionFlags & ZK_MOT_LIGHTS ? lightMotion[i].data() : nullptr;
    }

    template <typename Writer> int Write(Writer writer, const std::string& path) {
        Bind();
        std::string buffer = path;
        return writer(&ctrl, objects.empty() ? nullptr : objects.data(),
                      cameras.empty() ? nullptr : cameras.data(),
                      nulls.empty() ? nullptr : nulls.data(),
                      lights.empty() ? nullptr : lights.data(), &buffer[0], Frames());
    }
};

inline void ZK_Set3(float* v, float x, float y, float z) {
    v[0] = x;
    v[1] = y;
    v[2] = z;
}
