#include "writers/LWSFile.h"

#include "text/ZK_Text.h"
#include "writers/LWEnvelope.h"

#include <cstdio>
#include <string>

namespace {

// ---------------------------------------------------------------------------
// LightWave scene file

// The light that a scene without sampled lights gets: at (-2, 2, -2), heading
// pi/4 and pitch 35 degrees, unit scale.
const char* const kDefaultLight = "AddLight\n"
                                  "LightName Light\n"
                                  "ShowLight 1 5\n"
                                  "LightMotion\n"
                                  "NumChannels 9\n";
const char* const kDefaultLightKeys[9] = {"-2", "2", "-2", "0.78539813", "0.61086524",
                                          "0",  "1", "1",  "1"};
const char* const kDefaultLightTail = "LightColor 1 1 1\n"
                                      "LightIntensity 1\n"
                                      "AffectCaustics 1\n"
                                      "LightType 0\n"
                                      "ShadowType 1\n"
                                      "ShadowColor 0 0 0\n"
                                      "\n";

void WriteText(FILE* file, const char* field) {
    std::fputs(ZK_FieldText(field).c_str(), file);
}

void WriteHeader(FILE* file, const ScCtrl& ctrl) {
    std::fputs("LWSC\n3\n\n", file);
    std::fprintf(file, "FirstFrame %i\n", ctrl.startFrame);
    std::fprintf(file, "LastFrame %i\n", ctrl.endFrame);
    std::fputs("FrameStep 1\n", file);
    std::fprintf(file, "PreviewFirstFrame %i\n", ctrl.startFrame);
    std::fprintf(file, "PreviewLastFrame %i\n", ctrl.endFrame);
    std::fputs("PreviewFrameStep 1\n", file);
    std::fprintf(file, "CurrentFrame %i\n", ctrl.startFrame);
    std::fprintf(file, "FramesPerSecond %i\n\n", ZK_LWFramesPerSecond(ctrl.frameRate));
}

void WriteCachedObject(FILE* file, const ObjectData& object, int startFrame) {
    std::fputs("LoadObjectLayer 1 ", file);
    WriteText(file, object.lwoPath);
    std::fputs("\nShowObject 6 3\n"
               "SubdivisionOrder 5\n"
               "SubPatchLevel 3 3\n"
               "Plugin DisplacementHandler 1 Zelkin_Reader\n",
               file);
    const std::string mdd = ZK_FieldText(object.mddPath);
    std::string doubled(mdd.size() * 2 + 1, '\0');
    ZK_AddDoubleSlash(mdd.c_str(), doubled.data());
    std::fprintf(file, "\"%s\"\n", doubled.c_str());
    std::fputs("{ VariantParameter\n  3\n  0\n  { ParameterValue\n", file);
    std::fprintf(file, "    %i\n", startFrame);
    std::fputs("    0\n  }\n}\n0\nEndPlugin\nShadowOptions 7\n\n", file);
}

// The head of a keyed item: the line that adds it, ending in text (its name or
// mesh file), the lines that show it and open its motion, then its channels.
template <class Frame>
void WriteItemMotion(FILE* file, const char* add, const char* text, const char* motionHead,
                     const Frame* motion, int channelCount, int frameCount,
                     const ZK_LWKeyTimes& times) {
    std::fputs(add, file);
    WriteText(file, text);
    std::fprintf(file, "\n%s\nNumChannels %i\n", motionHead, channelCount);
    ZK_LWWriteChannels(file, motion, channelCount, frameCount, times);
}

void WriteKeyedObject(FILE* file, const ObjectData& object, int frameCount,
                      const ZK_LWKeyTimes& times) {
    WriteItemMotion(file, "LoadObjectLayer 1 ", object.lwoPath, "ShowObject 6 3\nObjectMotion",
                    object.motion, 9, frameCount, times);
    std::fputs("\nSubPatchLevel 3 3\nShadowOptions 7\n\n", file);
}

void WriteNull(FILE* file, const NullData_st& null, int frameCount, const ZK_LWKeyTimes& times) {
    WriteItemMotion(file, "AddNullObject ", null.name, "ShowObject 6 3\nObjectMotion", null.motion,
                    9, frameCount, times);
    std::fputs("\nShadowOptions 7\n\n", file);
}

void WriteDefaultLight(FILE* file) {
    std::fputs(kDefaultLight, file);
    for (int c = 0; c < 9; ++c)
        std::fprintf(file, "Channel %i\n{ Envelope\n1\nKey %s 0 0 0 0 0 0 0 0\nBehaviors 1 1\n}\n",
                     c, kDefaultLightKeys[c]);
    std::fputs(kDefaultLightTail, file);
}

// LightWave's light type for the record's: 0 gives 1, 2 gives 2, others 0.
int LightWaveLightType(int lightType) {
    if (lightType == 0)
        return 1;
    if (lightType == 2)
        return 2;
    return 0;
}

void WriteLight(FILE* file, const LightData_st& light, int frameCount, const ZK_LWKeyTimes& times) {
    WriteItemMotion(file, "AddLight\nLightName ", light.name, "ShowLight 1 5\nLightMotion",
                    light.motion, 6, frameCount, times);
    std::fputs("\nLightColor (envelope)\n", file);
    for (int component = 0; component < 3; ++component)
        ZK_LWWriteEnvelope(file, frameCount, times,
                           [&](int i) { return light.motion[i].color[component]; });
    std::fputs("LightIntensity (envelope)\n", file);
    ZK_LWWriteEnvelope(file, frameCount, times, [&](int i) { return light.motion[i].intensity; });
    std::fputs("AffectCaustics 1\n", file);
    std::fprintf(file, "LightType %i\n", LightWaveLightType(light.lightType));
    std::fputs("ShadowType 1\nShadowColor 0 0 0\n\n", file);
}

void WriteCamera(FILE* file, const CameraData_st& camera, int frameCount,
                 const ZK_LWKeyTimes& times) {
    WriteItemMotion(file, "AddCamera\nCameraName ", camera.name, "ShowCamera 1 2\nCameraMotion",
                    camera.motion, 6, frameCount, times);
    std::fputs("\nZoomFactor (envelope)\n", file);
    ZK_LWWriteEnvelope(file, frameCount, times, [&](int i) { return camera.motion[i].zoom; });
    std::fputs("ResolutionMultiplier 1.0\n"
               "FrameSize 640 480\n"
               "PixelAspect 1\n"
               "MaskPosition 0 0 640 480\n"
               "MotionBlur 0\n"
               "FieldRendering 0\n"
               "\n",
               file);
    const float aperture = static_cast<float>(static_cast<double>(camera.projPlaneHeight) * 0.0254);
    std::fprintf(file, "ApertureHeight %f\n", static_cast<double>(aperture));
    std::fputs("Antialiasing 0\nAdaptiveSampling 1\nAdaptiveThreshold 0.1\n", file);
}

void WriteScene(FILE* file, const ScCtrl& ctrl, const ObjectData* objects,
                const CameraData_st* cameras, const NullData_st* nulls, const LightData_st* lights,
                int frameCount) {
    const ZK_LWKeyTimes times{ctrl.startFrame, ctrl.frameRate};
    const bool keyed = ctrl.motAct == 1 && ctrl.motSep != 1;

    WriteHeader(file, ctrl);
    if (ctrl.mddAct == 1)
        for (int k = 0; k < ctrl.objectCount; ++k)
            WriteCachedObject(file, objects[k], ctrl.startFrame);
    if (keyed && (ctrl.motionFlags & ZK_MOT_OBJECTS))
        for (int k = 0; k < ctrl.objectCount; ++k)
            WriteKeyedObject(file, objects[k], frameCount, times);
    if (keyed && (ctrl.motionFlags & ZK_MOT_NULLS))
        for (int k = 0; k < ctrl.nullCount; ++k)
            WriteNull(file, nulls[k], frameCount, times);

    std::fputs("AmbientColor 1 1 1\nAmbientIntensity 0.25\n", file);

    if (ctrl.lightCount <= 0 || ctrl.motSep == 1)
        WriteDefaultLight(file);
    else if (ctrl.motAct == 1 && (ctrl.motionFlags & ZK_MOT_LIGHTS))
        for (int k = 0; k < ctrl.lightCount; ++k)
            WriteLight(file, lights[k], frameCount, times);

    if (keyed && (ctrl.motionFlags & ZK_MOT_CAMERAS))
        for (int k = 0; k < ctrl.cameraCount; ++k)
            WriteCamera(file, cameras[k], frameCount, times);
}

// ---------------------------------------------------------------------------
// MEL script

// Text placed between the double quotes of a MEL string literal: a quote, a
// backslash or a line break in it is escaped so that it cannot end the
// literal; anything else stays as it is.
std::string MelLiteral(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += ch;
        }
    }
    return out;
}

// A path field with every backslash turned into a forward slash.
std::string FlippedPath(const char* field) {
    std::string path = ZK_FieldText(field);
    flipSlash(path.data());
    return path;
}

// The two lines that import an object's LWO file.
void WriteImport(FILE* file, const ObjectData& object) {
    const std::string lwo = MelLiteral(FlippedPath(object.lwoPath));
    const std::string name = MelLiteral(ZK_FieldText(object.name));
    std::fprintf(file, "pv_performAction \"%s\" \"Best Guess\";\n", lwo.c_str());
    std::fprintf(file,
                 "file -import -type \"ZK_LWO_Import\" -rpr \"%s\" -options \"option1=1\" "
                 "\"%s\";\n",
                 name.c_str(), lwo.c_str());
}

// Binds an object's MDD file through the reader command and an expression
// that drives its translation. Ends without a line feed.
void WriteBinding(FILE* file, const ObjectData& object) {
    const std::string name = ZK_FieldText(object.name);
    const std::string quoted = MelLiteral(name);
    const std::string mdd = MelLiteral(FlippedPath(object.mddPath));
    std::fprintf(file, "select -r %s ;\n", name.c_str());
    std::fprintf(file, "ZK_Reader -d \"%s\";\n\n", mdd.c_str());
    std::fputs("addAttr -ln ZK_Xpos -at double;\n"
               "addAttr -ln ZK_Ypos -at double;\n"
               "addAttr -ln ZK_Zpos -at double;\n",
               file);
    const char* q = quoted.c_str();
    std::fprintf(file,
                 "$expcmd = \"%s.translateX = %s.ZK_Xpos;\\r%s.translateY = %s.ZK_Ypos;\\r"
                 "%s.translateZ = %s.ZK_Zpos;\";\n",
                 q, q, q, q, q, q);
    std::fprintf(file, "expressionEditor EE %s \"translateX\";\n", name.c_str());
    std::fputs("expression \t-s $expcmd\n", file);
    std::fprintf(file, "-o %s -ae 1 -uc all;\n", name.c_str());
    std::fputs("EEcloseCB;", file);
}

// Keys the selected item at every frame with the sample's position and XYZ
// rotation.
template <class Frame>
void WriteKeys(FILE* file, const Frame* motion, int startFrame, int frameCount) {
    for (int i = 0; i < frameCount; ++i) {
        const Frame& f = motion[i];
        std::fprintf(file, "currentTime %i;\n", startFrame + i);
        std::fprintf(file, "move -a %f %f %f;\n", static_cast<double>(f.pos[0]),
                     static_cast<double>(f.pos[1]), static_cast<double>(f.pos[2]));
        std::fprintf(file, "rotate -a -os %f %f %f;\n", static_cast<double>(f.rotXYZ[0]),
                     static_cast<double>(f.rotXYZ[1]), static_cast<double>(f.rotXYZ[2]));
        std::fputs("setKeyframe;\n", file);
    }
}

// Millimetres per inch as the film back is computed: the single-precision
// constant, widened, so that a projection plane of 25.4 is exactly one inch.
const double kInch = static_cast<double>(25.4f);

void WriteLens(FILE* file, const CameraData_st& camera, const CameraFrame_st& frame, int time,
               int shape) {
    const double h = camera.projPlaneHeight;
    const double r = camera.pixelRatio;
    std::fprintf(file, "currentTime %i;\n", time);
    std::fprintf(file, "setAttr $item[0] %f;\n", static_cast<double>(frame.projPlaneDist));
    std::fputs("setKeyframe $item[0];\n", file);
    if (camera.fovType == 0) {
        const double v = h / kInch * 10.0;
        std::fprintf(file, "camera -e -vfa %f cameraShape%i;\n", v, shape);
        std::fprintf(file, "camera -e -hfa %f cameraShape%i;\n", v * r, shape);
    } else {
        const double hfa = h / kInch * 100.0;
        std::fprintf(file, "camera -e -hfa %f cameraShape%i;\n", hfa, shape);
        std::fprintf(file, "camera -e -vfa %f cameraShape%i;\n", hfa / r, shape);
    }
    std::fprintf(file, "camera -e -ar %f cameraShape%i;\n", r, shape);
    std::fputs("setKeyframe $item[0];\n", file);
    std::fprintf(file, "camera -e -hfv %f cameraShape%i;\n", static_cast<double>(frame.fov), shape);
}

void WriteMayaCamera(FILE* file, const CameraData_st& camera, int shape, int startFrame,
                     int frameCount) {
    std::fputs("CreateCameraOnly;\n", file);
    WriteKeys(file, camera.motion, startFrame, frameCount);
    std::fputs("\n\nstring $item[];\n\n"
               "$item = `ls -sl`;\n"
               "$item[0] = $item[0] + \".focalLength\";\n",
               file);
    for (int i = 0; i < frameCount; ++i)
        WriteLens(file, camera, camera.motion[i], startFrame + i, shape);
    std::fputs("\n\n", file);
}

void WriteScript(FILE* file, const ScCtrl& ctrl, const ObjectData* objects,
                 const CameraData_st* cameras, const NullData_st* nulls, const LightData_st* lights,
                 int frameCount) {
    const int start = ctrl.startFrame;
    std::fputs("// Mel script generated by Zelkin.\n\nautoKeyframe -state on;\n", file);

    if (ctrl.lwoAct == 1 && ctrl.mddAct == 1) {
        std::fputs("string $expcmd;\n", file);
        for (int k = 0; k < ctrl.objectCount; ++k)
            WriteImport(file, objects[k]);
        for (int k = 0; k < ctrl.objectCount; ++k)
            WriteBinding(file, objects[k]);
    }

    if (ctrl.motAct == 1) {
        if ((ctrl.motionFlags & ZK_MOT_OBJECTS) && ctrl.lwoAct == 1)
            for (int k = 0; k < ctrl.objectCount; ++k) {
                WriteImport(file, objects[k]);
                const std::string name = ZK_FieldText(objects[k].name);
                if (ctrl.mddAct == 1)
                    std::fprintf(file, "select -r %s%i;\n", name.c_str(), k);
                else
                    std::fprintf(file, "select -r %s;\n", name.c_str());
                WriteKeys(file, objects[k].motion, start, frameCount);
                std::fputs("\n\n", file);
            }
        if (ctrl.motionFlags & ZK_MOT_NULLS)
            for (int k = 0; k < ctrl.nullCount; ++k) {
                std::fputs("CreateLocator;\n", file);
                WriteKeys(file, nulls[k].motion, start, frameCount);
                std::fputs("\n\n", file);
            }
        if (ctrl.motionFlags & ZK_MOT_LIGHTS)
            for (int k = 0; k < ctrl.lightCount; ++k) {
                std::fputs("CreateDirectionalLight;\n", file);
                WriteKeys(file, lights[k].motion, start, frameCount);
                std::fputs("\n\n", file);
            }
        if (ctrl.motionFlags & ZK_MOT_CAMERAS)
            for (int k = 0; k < ctrl.cameraCount; ++k)
                WriteMayaCamera(file, cameras[k], k + 1, start, frameCount);
    }

    std::fputs("autoKeyframe -state off;\n", file);
}

} // namespace

int WriteLWS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages) {
    return ZK_WriteRecordsFile(
        messages, "LWS", "w", ctrl, objects, cameras, nulls, lights, path, frameCount,
        [&](FILE* file) { WriteScene(file, *ctrl, objects, cameras, nulls, lights, frameCount); });
}

int WriteMaya(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
              LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages) {
    return ZK_WriteRecordsFile(
        messages, "MEL", "w", ctrl, objects, cameras, nulls, lights, path, frameCount,
        [&](FILE* file) { WriteScript(file, *ctrl, objects, cameras, nulls, lights, frameCount); });
}

int WriteLWS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount) {
    return WriteLWS(ctrl, objects, cameras, nulls, lights, path, frameCount, ZK_Messages());
}

int WriteMaya(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
              LightData_st* lights, char* path, int frameCount) {
    return WriteMaya(ctrl, objects, cameras, nulls, lights, path, frameCount, ZK_Messages());
}
