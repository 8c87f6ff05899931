// Filling the export records from the host scene: names, references and
// static attributes of every item, and the per-frame samples of the kinds
// whose motion is asked for.
#include "capture/ZK_Capture.h"
#include "text/ZK_Text.h"

#include <xsi_camera.h>
#include <xsi_geometry.h>
#include <xsi_kinematics.h>
#include <xsi_kinematicstate.h>
#include <xsi_light.h>
#include <xsi_parameter.h>
#include <xsi_pointrefarray.h>
#include <xsi_primitive.h>
#include <xsi_refarray.h>
#include <xsi_shader.h>
#include <xsi_transformation.h>
#include <xsi_x3dobject.h>

#include <cmath>
#include <string>

namespace {

// Radians to degrees for heading, pitch and bank.
constexpr double kRadToDeg = 57.29577951308232;
// Degrees to radians for the camera's field of view, as the scene files
// expect it (90 degrees give 1.5705).
constexpr float kFovDegToRad = 0.01745f;

// The item's full name, narrowed to 8-bit text; a name longer than the
// field is cut at its last character.
void StoreName(const XSI::CRef& ref, char (&field)[ZK_TEXT_SIZE]) {
    const XSI::CString fullName = XSI::SIObject(ref).GetFullName();
    ZK_Wide2Field(std::wstring(fullName.GetWideString(), fullName.Length()), field);
}

float ParamFloat(const XSI::ProjectItem& item, const wchar_t* name,
                 double time = XSI::kDefaultTime) {
    return static_cast<float>(item.GetParameter(name).GetValue(time));
}

int ParamInt(const XSI::ProjectItem& item, const wchar_t* name, double time = XSI::kDefaultTime) {
    return static_cast<XSI::LONG>(item.GetParameter(name).GetValue(time));
}

// Position, heading/pitch/bank (degrees), XYZ angles and, when scale is
// given, the scaling of the item's global transform at a frame.
void SampleTransform(const XSI::X3DObject& item, int frame, float* pos, float* hpb, float* rotXYZ,
                     float* scale) {
    const XSI::MATH::CTransformation xf =
        item.GetKinematics().GetGlobal().GetTransform(static_cast<double>(frame));
    double x, y, z;
    xf.GetTranslationValues(x, y, z);
    pos[0] = static_cast<float>(x);
    pos[1] = static_cast<float>(y);
    pos[2] = static_cast<float>(z);

    float angles[3];
    fromObjectToInertialQuaternion(xf.GetRotationQuaternion(), angles);
    for (int k = 0; k < 3; ++k) {
        hpb[k] = static_cast<float>(static_cast<double>(angles[k]) * kRadToDeg);
    }

    xf.GetRotationFromXYZAnglesValues(x, y, z);
    rotXYZ[0] = static_cast<float>(x);
    rotXYZ[1] = static_cast<float>(y);
    rotXYZ[2] = static_cast<float>(z);

    if (scale != nullptr) {
        xf.GetScalingValues(x, y, z);
        scale[0] = static_cast<float>(x);
        scale[1] = static_cast<float>(y);
        scale[2] = static_cast<float>(z);
    }
}

void FillCamera(CameraData_st* camera, int frameCount, bool sampled, int startFrame) {
    const XSI::Camera item(camera->ref);
    camera->fovType = ParamInt(item, L"fovtype");
    camera->aspect = ParamFloat(item, L"aspect");
    camera->pixelRatio = ParamFloat(item, L"pixelratio");
    camera->projPlaneHeight = ParamFloat(item, L"projplaneheight");
    if (!sampled) {
        return;
    }
    for (int i = 0; i < frameCount; ++i) {
        const int frame = startFrame + i;
        CameraFrame_st* sample = &camera->motion[i];
        SampleTransform(item, frame, sample->pos, sample->hpb, sample->rotXYZ, nullptr);
        sample->projPlaneDist = ParamFloat(item, L"projplanedist", frame);
        sample->fov = ParamFloat(item, L"fov", frame) * kFovDegToRad;
        const double t = std::tan(static_cast<double>(sample->fov) * 0.5);
        if (camera->fovType == 0) {
            sample->zoom = static_cast<float>(1.0 / t);
        } else {
            sample->zoom = camera->aspect / static_cast<float>(t);
        }
    }
}

void FillLight(LightData_st* light, int frameCount, bool sampled, int startFrame) {
    const XSI::Light item(light->ref);
    const XSI::CRefArray shaders = item.GetShaders();
    const bool hasShader = shaders.GetCount() > 0;
    const XSI::Shader shader(shaders.GetItem(0));

    const int type = ParamInt(item, L"Type");
    light->lightType = type == 0 ? 1 : type == 1 ? 0 : type;
    if (!sampled) {
        return;
    }
    for (int i = 0; i < frameCount; ++i) {
        const int frame = startFrame + i;
        LightFrame_st* sample = &light->motion[i];
        SampleTransform(item, frame, sample->pos, sample->hpb, sample->rotXYZ, sample->scale);
        // A light without a shader has no colour and no intensity.
        if (hasShader) {
            shader.GetColorParameterValue(L"color", sample->color[0], sample->color[1],
                                          sample->color[2], sample->color[3], frame);
            sample->intensity = ParamFloat(shader, L"intensity", frame);
        } else {
            for (float& channel : sample->color) {
                channel = 0.0f;
            }
            sample->intensity = 0.0f;
        }
    }
}

void FillObject(ObjectData* object, int frameCount, bool sampled, int startFrame) {
    const XSI::X3DObject item(object->ref);
    object->pointCount = item.GetActivePrimitive().GetGeometry().GetPoints().GetCount();
    if (!sampled) {
        return;
    }
    for (int i = 0; i < frameCount; ++i) {
        MotionFrame_st* sample = &object->motion[i];
        SampleTransform(item, startFrame + i, sample->pos, sample->hpb, sample->rotXYZ,
                        sample->scale);
        // The pivot is read at the current time: the ZSC file keeps one pivot
        // per object, repeated with every sample.
        sample->ppos[0] = ParamFloat(item, L"pposx");
        sample->ppos[1] = ParamFloat(item, L"pposy");
        sample->ppos[2] = ParamFloat(item, L"pposz");
    }
}

void FillNull(NullData_st* null, int frameCount, bool sampled, int startFrame) {
    if (!sampled) {
        return;
    }
    const XSI::X3DObject item(null->ref);
    for (int i = 0; i < frameCount; ++i) {
        MotionFrame_st* sample = &null->motion[i];
        SampleTransform(item, startFrame + i, sample->pos, sample->hpb, sample->rotXYZ,
                        sample->scale);
    }
}

} // namespace

void ZK_MOT_GetData(ObjectData* objects, CameraData_st* cameras, LightData_st* lights,
                    NullData_st* nulls, int nameCount, char (*names)[ZK_TEXT_SIZE], int frameCount,
                    float /*frameRate: samples are taken at frame numbers*/, char motionFlags,
                    ScCtrl* ctrl) {
    const unsigned char flags = static_cast<unsigned char>(motionFlags);
    const int startFrame = ctrl->startFrame;
    int objectIndex = 0, cameraIndex = 0, lightIndex = 0, nullIndex = 0;

    for (int i = 0; i < nameCount; ++i) {
        const XSI::CRef ref = ZK_SelectByName(names[i]);
        // The counts in ctrl size the arrays; an item that the host resolves
        // differently from the counting pass finds no record and is skipped
        // rather than written past the array.
        switch (ZK_KindOf(ref)) {
        case ZK_KIND_CAMERA:
            if (cameras != nullptr && cameraIndex < ctrl->cameraCount) {
                CameraData_st* camera = &cameras[cameraIndex++];
                camera->ref = ref;
                StoreName(ref, camera->name);
                FillCamera(camera, frameCount, (flags & ZK_MOT_CAMERAS) != 0, startFrame);
            }
            break;
        case ZK_KIND_LIGHT:
            if (lights != nullptr && lightIndex < ctrl->lightCount) {
                LightData_st* light = &lights[lightIndex++];
                light->ref = ref;
                StoreName(ref, light->name);
                FillLight(light, frameCount, (flags & ZK_MOT_LIGHTS) != 0, startFrame);
            }
            break;
        case ZK_KIND_OBJECT:
            if (objects != nullptr && objectIndex < ctrl->objectCount) {
                ObjectData* object = &objects[objectIndex++];
                object->ref = ref;
                StoreName(ref, object->name);
                FillObject(object, frameCount, (flags & ZK_MOT_OBJECTS) != 0, startFrame);
            }
            break;
        case ZK_KIND_NULL:
            if (nulls != nullptr && nullIndex < ctrl->nullCount) {
                NullData_st* null = &nulls[nullIndex++];
                null->ref = ref;
                StoreName(ref, null->name);
                FillNull(null, frameCount, (flags & ZK_MOT_NULLS) != 0, startFrame);
            }
            break;
        }
    }
}

void fromObjectToInertialQuaternion(XSI::MATH::CQuaternion q, float* out) {
    // The four values in storage order (x, y, z, w).
    const double q0 = q.GetStored(0);
    const double q1 = q.GetStored(1);
    const double q2 = q.GetStored(2);
    const double q3 = q.GetStored(3);

    const float sp = static_cast<float>(-2.0 * (q1 * q2 - q3 * q0));
    if (std::fabs(sp) > 0.9999f) {
        // Looking straight up or down: the bank folds into the heading.
        out[1] = sp * 1.5707964f;
        out[0] = static_cast<float>(std::atan2(q1 * q3 - q0 * q2, 0.5 - q1 * q1 - q2 * q2));
        out[2] = 0.0f;
    } else {
        out[1] = std::asin(sp);
        out[0] = static_cast<float>(std::atan2(q0 * q2 + q1 * q3, 0.5 - q0 * q0 - q1 * q1));
        out[2] = static_cast<float>(std::atan2(q0 * q1 + q2 * q3, 0.5 - q0 * q0 - q2 * q2));
    }
}
