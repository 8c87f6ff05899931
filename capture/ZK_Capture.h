// Resolving the object list to scene items, and sampling them.
#pragma once

#include "capture/ZK_Records.h"

#include <xsi_quaternion.h>
#include <xsi_ref.h>

// Resolves each name through the host selection into refs and counts the
// items of each kind into ctrl.
void ZKGetRefs(int nameCount, char (*names)[ZK_TEXT_SIZE], XSI::CRef* refs, ScCtrl* ctrl);

// Fills every record and, for the kinds in motionFlags, its per-frame
// samples.
void ZK_MOT_GetData(ObjectData* objects, CameraData_st* cameras, LightData_st* lights,
                    NullData_st* nulls, int nameCount, char (*names)[ZK_TEXT_SIZE],
                    int frameCount, float frameRate, char motionFlags, ScCtrl* ctrl);

// Heading, pitch and bank (radians) of an object-to-inertial rotation.
void fromObjectToInertialQuaternion(XSI::MATH::CQuaternion q, float* out);
