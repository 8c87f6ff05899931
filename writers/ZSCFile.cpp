// ZSC binary scene file: "ZKSC", a fixed header, then one record per item
// (cameras, lights, nulls, MDD objects, keyed objects). Every number is 4
// bytes little-endian; a text is its length and then its bytes.
#include "writers/ZSCFile.h"

#include "writers/ZK_Channels.h"
#include "writers/ZK_Output.h"

#include <cstring>
#include <initializer_list>

namespace {

// Kind codes of the item records.
constexpr int32_t kCameraKind = 0;
constexpr int32_t kObjectKind = 1;
constexpr int32_t kLightKind = 2;
constexpr int32_t kNullKind = 3;

// The bytes are laid out least significant first by shifts, so the file is
// the same whatever the byte order of the machine.
void PutU32(FILE* f, uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value & 0xffu),
                                    static_cast<unsigned char>((value >> 8) & 0xffu),
                                    static_cast<unsigned char>((value >> 16) & 0xffu),
                                    static_cast<unsigned char>((value >> 24) & 0xffu)};
    std::fwrite(bytes, 1, 4, f);
}

void PutInt(FILE* f, int32_t value) {
    PutU32(f, static_cast<uint32_t>(value));
}

void PutFloat(FILE* f, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    PutU32(f, bits);
}

// A text field: its length, then its bytes without the terminating zero.
void PutText(FILE* f, const char* text) {
    const size_t length = strnlen(text, ZK_TEXT_SIZE);
    PutInt(f, static_cast<int32_t>(length));
    if (length > 0)
        std::fwrite(text, 1, length, f);
}

// Every sample starts with its time in seconds and its frame number.
void PutSampleTime(FILE* f, int frame, float frameRate) {
    PutFloat(f, static_cast<float>(frame) / frameRate);
    PutInt(f, frame);
}

void PutPosition(FILE* f, const float* pos) {
    PutFloat(f, pos[0]);
    PutFloat(f, pos[1]);
    PutFloat(f, ZK_NegateSample(pos[2]));
}

void PutVector(FILE* f, const float* v, int count) {
    for (int i = 0; i < count; ++i)
        PutFloat(f, v[i]);
}

void CameraRecord(FILE* f, const ScCtrl* ctrl, CameraData_st* camera, int frameCount) {
    PutInt(f, kCameraKind);
    PutText(f, camera->name);
    int32_t height = 480;
    int32_t width = 640;
    if (camera->motion && frameCount > 0) {
        camera->motion[0].imageHeight = 480;
        camera->motion[0].imageWidth = 640;
        height = camera->motion[0].imageHeight;
        width = camera->motion[0].imageWidth;
    }
    PutInt(f, height);
    PutInt(f, width);
    PutFloat(f, camera->pixelRatio);
    PutFloat(f, camera->aspect);
    PutFloat(f, static_cast<float>(static_cast<double>(camera->projPlaneHeight) * 25.4));
    PutInt(f, 3);
    for (int k = 0; k < frameCount && camera->motion; ++k) {
        const CameraFrame_st& s = camera->motion[k];
        PutSampleTime(f, ctrl->startFrame + k, ctrl->frameRate);
        PutPosition(f, s.pos);
        PutVector(f, s.rotXYZ, 3);
        if (camera->fovType == 0) {
            PutFloat(f, 0.0f);
            PutFloat(f, s.fov);
        } else if (camera->fovType == 1) {
            PutFloat(f, s.fov);
            PutFloat(f, 0.0f);
        }
        PutFloat(f, s.projPlaneDist);
    }
}

void LightRecord(FILE* f, const ScCtrl* ctrl, const LightData_st& light, int frameCount) {
    PutInt(f, kLightKind);
    PutText(f, light.name);
    PutInt(f, light.lightType);
    PutInt(f, 5);
    for (int k = 0; k < frameCount && light.motion; ++k) {
        const LightFrame_st& s = light.motion[k];
        PutSampleTime(f, ctrl->startFrame + k, ctrl->frameRate);
        PutPosition(f, s.pos);
        PutVector(f, s.rotXYZ, 3);
        PutVector(f, s.scale, 3);
        PutVector(f, s.color, 4);
        PutFloat(f, s.intensity);
    }
}

void NullRecord(FILE* f, const ScCtrl* ctrl, const NullData_st& null, int frameCount) {
    PutInt(f, kNullKind);
    PutText(f, null.name);
    PutInt(f, 0);
    for (int k = 0; k < frameCount && null.motion; ++k) {
        const MotionFrame_st& s = null.motion[k];
        PutSampleTime(f, ctrl->startFrame + k, ctrl->frameRate);
        PutPosition(f, s.pos);
        PutVector(f, s.rotXYZ, 3);
        PutVector(f, s.scale, 3);
    }
}

void MddObjectRecord(FILE* f, const ScCtrl* ctrl, const ObjectData& object) {
    PutInt(f, kObjectKind);
    PutText(f, object.name);
    if (ctrl->meshFormat == 0) {
        PutText(f, object.lwoPath);
        PutInt(f, 0);
    } else if (ctrl->meshFormat == 1) {
        PutText(f, object.emdlPath);
    }
    PutInt(f, ctrl->meshFormat);
    PutInt(f, 0);
    PutText(f, object.mddPath);
}

void KeyedObjectRecord(FILE* f, const ScCtrl* ctrl, const ObjectData& object, int frameCount) {
    PutInt(f, kObjectKind);
    PutText(f, object.name);
    if (ctrl->meshFormat == 0)
        PutText(f, object.lwoPath);
    else if (ctrl->meshFormat == 1)
        PutText(f, object.emdlPath);
    PutInt(f, ctrl->meshFormat);
    PutInt(f, 0);
    PutInt(f, 1);
    PutInt(f, 0);
    for (int k = 0; k < frameCount && object.motion; ++k) {
        const MotionFrame_st& s = object.motion[k];
        PutSampleTime(f, ctrl->startFrame + k, ctrl->frameRate);
        PutPosition(f, s.pos);
        PutVector(f, s.ppos, 3);
        PutVector(f, s.rotXYZ, 3);
        PutVector(f, s.scale, 3);
    }
}

} // namespace

void ZK_writeHeader(ZKscnDat_st* data) {
    if (!data || !data->file)
        return;
    FILE* f = data->file;
    std::fwrite("ZKSC", 1, 4, f);
    PutFloat(f, data->version);
    PutInt(f, data->frameCount);
    PutInt(f, data->startFrame);
    PutInt(f, data->endFrame);
    PutFloat(f, data->frameRate);
    PutInt(f, data->itemCount);
    PutFloat(f, data->constOne);
    PutInt(f, data->constZero);
}

namespace {

// The scene file, from records whose arrays the caller has checked.
void WriteScene(FILE* f, ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras,
                NullData_st* nulls, LightData_st* lights, int frameCount) {
    // Which record groups are written. A group counts its records in the
    // header's item count only when it is written, so the count always
    // matches the records that follow (motion sent to separate files writes
    // no sampled records here).
    const bool keyed = ctrl->motAct == 1 && ctrl->motSep != 1;
    const int cameraCount = keyed && (ctrl->motionFlags & ZK_MOT_CAMERAS) ? ctrl->cameraCount : 0;
    const int lightCount = keyed && (ctrl->motionFlags & ZK_MOT_LIGHTS) ? ctrl->lightCount : 0;
    const int nullCount = keyed && (ctrl->motionFlags & ZK_MOT_NULLS) ? ctrl->nullCount : 0;
    const int mddCount = ctrl->mddAct == 1 ? ctrl->objectCount : 0;
    const int keyedCount = keyed && (ctrl->motionFlags & ZK_MOT_OBJECTS) ? ctrl->objectCount : 0;
    int32_t itemCount = 0;
    for (int count : {cameraCount, lightCount, nullCount, mddCount, keyedCount})
        itemCount += count > 0 ? count : 0;

    ZKscnDat_st header;
    header.file = f;
    header.version = 1.1f;
    header.frameCount = frameCount;
    header.startFrame = ctrl->startFrame;
    header.endFrame = ctrl->endFrame;
    header.frameRate = ctrl->frameRate;
    header.itemCount = itemCount;
    header.constOne = 1.0f;
    header.constZero = 0;
    ZK_writeHeader(&header);

    for (int i = 0; i < cameraCount; ++i)
        CameraRecord(f, ctrl, &cameras[i], frameCount);
    for (int i = 0; i < lightCount; ++i)
        LightRecord(f, ctrl, lights[i], frameCount);
    for (int i = 0; i < nullCount; ++i)
        NullRecord(f, ctrl, nulls[i], frameCount);
    for (int i = 0; i < mddCount; ++i)
        MddObjectRecord(f, ctrl, objects[i]);
    for (int i = 0; i < keyedCount; ++i)
        KeyedObjectRecord(f, ctrl, objects[i], frameCount);
}

} // namespace

int WriteZSC(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages) {
    return ZK_WriteRecordsFile(
        messages, "ZSC", "wb", ctrl, objects, cameras, nulls, lights, path, frameCount,
        [&](FILE* f) { WriteScene(f, ctrl, objects, cameras, nulls, lights, frameCount); });
}

int WriteZSC(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount) {
    return WriteZSC(ctrl, objects, cameras, nulls, lights, path, frameCount, ZK_Messages());
}
