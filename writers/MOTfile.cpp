#include "writers/MOTfile.h"

#include "text/ZK_Text.h"
#include "writers/LWEnvelope.h"

#include <cstdio>
#include <string>

namespace {

// The path of an item's file in folder: folder, a separator, the item's name
// and the suffix, with every backslash turned into a forward slash. Returns
// false, after one message naming the path, when it does not fit a path
// buffer.
bool ItemFilePath(const ZK_Messages& messages, const std::string& folder, const char* name,
                  const char* suffix, std::string& path) {
    path = folder + "\\" + ZK_FieldText(name) + suffix;
    linuxSafePath(path.data());
    if (path.size() > ZK_TEXT_SIZE - 1) {
        ZK_ReportOutputFailure(messages, "MOT", path.c_str());
        return false;
    }
    return true;
}

// Writes the motion file of one item: its channels 0 to channelCount - 1.
template <class Frame>
bool WriteMotionFile(const ZK_Messages& messages, const std::string& folder, const char* name,
                     const Frame* motion, int channelCount, int frameCount,
                     const ZK_LWKeyTimes& times) {
    std::string path;
    if (!ItemFilePath(messages, folder, name, ".mot", path))
        return false;
    return ZK_WriteFile(messages, "MOT", path.c_str(), "w", [&](FILE* file) {
        std::fprintf(file, "LWMO\n3\n\nNumChannels %i\n", channelCount);
        ZK_LWWriteChannels(file, motion, channelCount, frameCount, times);
    });
}

// Writes the zoom envelope file of one camera.
bool WriteZoomFile(const ZK_Messages& messages, const std::string& folder,
                   const CameraData_st& camera, int frameCount, const ZK_LWKeyTimes& times) {
    std::string path;
    if (!ItemFilePath(messages, folder, camera.name, "_zoom.env", path))
        return false;
    return ZK_WriteFile(messages, "MOT", path.c_str(), "w", [&](FILE* file) {
        ZK_LWWriteEnvelope(file, frameCount, times, [&](int i) { return camera.motion[i].zoom; });
    });
}

} // namespace

int WriteMotions(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
                 LightData_st* lights, char* folder, int frameCount, const ZK_Messages& messages) {
    if (!ZK_WriterInputComplete(messages, ctrl, objects, cameras, nulls, lights, frameCount, "MOT",
                                folder))
        return 0;
    const std::string dir = ZK_FieldText(folder);
    // Camera keys lie at the scene times of the sampled frames; the keys of
    // every other item start at time 0.
    const ZK_LWKeyTimes cameraTimes{ctrl->startFrame, ctrl->frameRate};
    const ZK_LWKeyTimes itemTimes{0, ctrl->frameRate};
    bool ok = true;

    if (ctrl->motionFlags & ZK_MOT_CAMERAS)
        for (int k = 0; k < ctrl->cameraCount; ++k) {
            const CameraData_st& camera = cameras[k];
            ok &= WriteMotionFile(messages, dir, camera.name, camera.motion, 6, frameCount,
                                  cameraTimes);
            ok &= WriteZoomFile(messages, dir, camera, frameCount, cameraTimes);
        }
    if (ctrl->motionFlags & ZK_MOT_LIGHTS)
        for (int k = 0; k < ctrl->lightCount; ++k)
            ok &= WriteMotionFile(messages, dir, lights[k].name, lights[k].motion, 6, frameCount,
                                  itemTimes);
    if (ctrl->motionFlags & ZK_MOT_NULLS)
        for (int k = 0; k < ctrl->nullCount; ++k)
            ok &= WriteMotionFile(messages, dir, nulls[k].name, nulls[k].motion, 9, frameCount,
                                  itemTimes);
    if (ctrl->motionFlags & ZK_MOT_OBJECTS)
        for (int k = 0; k < ctrl->objectCount; ++k)
            ok &= WriteMotionFile(messages, dir, objects[k].name, objects[k].motion, 9, frameCount,
                                  itemTimes);
    return ok ? 1 : 0;
}

int WriteMotions(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
                 LightData_st* lights, char* folder, int frameCount) {
    return WriteMotions(ctrl, objects, cameras, nulls, lights, folder, frameCount, ZK_Messages());
}
