// Resolving the object list to scene items, and sampling them.
#pragma once

#include "capture/ZK_Records.h"

#include <xsi_quaternion.h>
#include <xsi_ref.h>

// The four kinds of exported item, by host class id: camera (80), light
// (81), geometric object (72); every other class is a null.
enum ZK_ItemKind { ZK_KIND_CAMERA, ZK_KIND_LIGHT, ZK_KIND_OBJECT, ZK_KIND_NULL };
ZK_ItemKind ZK_KindOf(const XSI::CRef& ref);

// Runs "SelectObj" with one name and returns item 0 of the host selection
// that it leaves (an empty reference when nothing matched).
XSI::CRef ZK_SelectByName(const char* name);

// Resolves each name through the host selection into refs and counts the
// items of each kind into ctrl.
void ZKGetRefs(int nameCount, char (*names)[ZK_TEXT_SIZE], XSI::CRef* refs, ScCtrl* ctrl);

// Fills every record and, for the kinds in motionFlags, its per-frame
// samples.
void ZK_MOT_GetData(ObjectData* objects, CameraData_st* cameras, LightData_st* lights,
                    NullData_st* nulls, int nameCount, char (*names)[ZK_TEXT_SIZE], int frameCount,
                    float frameRate, char motionFlags, ScCtrl* ctrl);

// Heading, pitch and bank (radians) of an object-to-inertial rotation.
void fromObjectToInertialQuaternion(XSI::MATH::CQuaternion q, float* out);
