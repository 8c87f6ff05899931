// The export records of one run: the run's settings and counts (ScCtrl) and
// one array per item kind, each item with its optional per-frame samples.
// Every record starts zeroed: text fields empty, numbers 0, no samples, no
// stream, an empty host reference.
#pragma once

#include "text/ZK_Text.h"

#include <xsi_ref.h>

#include <cstdint>
#include <cstdio>

// Bits of ScCtrl::motionFlags: which kinds own per-frame samples.
constexpr unsigned char ZK_MOT_CAMERAS = 1;
constexpr unsigned char ZK_MOT_LIGHTS = 2;
constexpr unsigned char ZK_MOT_NULLS = 4;
constexpr unsigned char ZK_MOT_OBJECTS = 8;

struct ScCtrl {
    int32_t objectCount = 0;
    int32_t nullCount = 0;
    int32_t cameraCount = 0;
    int32_t lightCount = 0;
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    float frameRate = 0.0f;
    int32_t lwoAct = 0;
    int32_t mddAct = 0;
    int32_t motAct = 0;
    int32_t motSep = 0;
    uint8_t motionFlags = 0;
    int32_t meshFormat = 0;
};

// One frame of an object or a null.
struct MotionFrame_st {
    float pos[3] = {};
    float hpb[3] = {};
    float rotXYZ[3] = {};
    float ppos[3] = {};
    float scale[3] = {};
};

// One frame of a camera.
struct CameraFrame_st {
    float zoom = 0.0f;
    float pos[3] = {};
    float hpb[3] = {};
    float rotXYZ[3] = {};
    float projPlaneDist = 0.0f;
    float fov = 0.0f;
    int32_t imageHeight = 0;
    int32_t imageWidth = 0;
};

// One frame of a light.
struct LightFrame_st {
    float pos[3] = {};
    float hpb[3] = {};
    float rotXYZ[3] = {};
    float scale[3] = {};
    float color[4] = {};
    float intensity = 0.0f;
};

// A geometric 3-D object: point cache and mesh files.
struct ObjectData {
    char name[ZK_TEXT_SIZE] = {};
    char mddPath[ZK_TEXT_SIZE] = {};
    char lwoPath[ZK_TEXT_SIZE] = {};
    char emdlPath[ZK_TEXT_SIZE] = {};
    int32_t pointCount = 0;
    XSI::CRef ref;
    MotionFrame_st* motion = nullptr;
    FILE* mddFile = nullptr;
};

struct CameraData_st {
    char name[ZK_TEXT_SIZE] = {};
    float projPlaneHeight = 0.0f;
    CameraFrame_st* motion = nullptr;
    XSI::CRef ref;
    int32_t fovType = 0;
    float pixelRatio = 0.0f;
    float aspect = 0.0f;
};

struct LightData_st {
    char name[ZK_TEXT_SIZE] = {};
    LightFrame_st* motion = nullptr;
    int32_t lightType = 0;
    XSI::CRef ref;
};

struct NullData_st {
    char name[ZK_TEXT_SIZE] = {};
    MotionFrame_st* motion = nullptr;
    XSI::CRef ref;
};
