// FXS scene file, version 301: a text scene of items, each with a head, one
// motion block of channels and a tail. MDD-driven objects get a static object,
// a null that carries the Zelkin_Reader effect and an effect item naming the
// object's MDD file; sampled items get one key per frame.
#include "writers/FXSFile.h"

#include "writers/ZK_Channels.h"
#include "writers/ZK_Output.h"

#include <cstring>

namespace {

void Line(FILE* f, const char* text) {
    std::fputs(text, f);
    std::fputc('\n', f);
}

// A keyword followed by a record's text field written as it stands (never used
// as a format), read no further than the field's size.
void LineText(FILE* f, const char* keyword, const char* text, const char* suffix = "") {
    std::fputs(keyword, f);
    std::fwrite(text, 1, strnlen(text, ZK_TEXT_SIZE), f);
    std::fputs(suffix, f);
    std::fputc('\n', f);
}

void LineInt(FILE* f, const char* keyword, int value) {
    std::fprintf(f, "%s%i\n", keyword, value);
}

// The eight lines every item starts with.
void ItemHead(FILE* f, int type, int subType, int appearance) {
    Line(f, "BeginObject");
    LineInt(f, "ObjectType ", type);
    LineInt(f, "ObjectSubType ", subType);
    LineInt(f, "ObjectAppearance ", appearance);
    Line(f, "ObjectEditSize 1.000000 1.000000 1.000000");
    Line(f, "ObjectStatusFlag 0");
    Line(f, "ObjectItemFlag 4");
    Line(f, "ObjectSelectionFlag 0");
}

struct ChannelName {
    int channel;
    const char* name;
};

// What distinguishes the motion blocks of the item kinds.
struct MotionKind {
    int channels;
    unsigned staticChannels;
    int activeChannel;
    const char* const* rest; // one text per channel
    const ChannelName* names;
    int nameCount;
    const char* keyFlag; // key line tail of every key after the first
};

const char* const kObjectRest[12] = {"0", "0", "0", "0", "0", "0", "1", "1", "1", "0", "0", "0"};
const char* const kCameraRest[16] = {"0", "0", "0", "0", "0", "0", "1",  "1",
                                     "1", "0", "0", "0", "4", "5", "15", "5.600000"};
const char* const kDefaultCameraRest[16] = {"0", "0", "-4", "0", "0", "0", "1",  "1",
                                            "1", "0", "0",  "0", "4", "5", "15", "5.600000"};
const char* const kFirstLightRest[21] = {"0", "0", "0", "0", "0", "0",        "1",
                                         "1", "1", "0", "0", "0", "0.100000", "1",
                                         "0", "0", "0", "0", "1", "1",        "1"};
const char* const kSecondLightRest[23] = {"0", "0", "0", "0", "0", "0",        "1",        "1",
                                          "1", "0", "0", "0", "1", "0.100000", "0.785400", "1",
                                          "1", "1", "1", "1", "1", "0.250000", "0.250000"};
const char* const kEffectRest[12] = {"1.000000", "0", "0", "0", "0", "0",
                                     "1",        "1", "1", "0", "0", "0"};

const ChannelName kCameraNames[] = {
    {12, "zoom"}, {13, "focal_distance"}, {14, "aperture"}, {15, "fstop"}};
const ChannelName kFirstLightNames[] = {{12, "intensity"},
                                        {13, "global_ifactor"},
                                        {14, "global_cparam"},
                                        {15, "unused_15"},
                                        {16, "unused_16"},
                                        {17, "unused_17"},
                                        {18, "r"},
                                        {19, "g"},
                                        {20, "b"}};
const ChannelName kSecondLightNames[] = {{12, "intensity"}, {13, "soft_edge"}, {14, "cone_angle"},
                                         {15, "aspect"},    {16, "length"},    {17, "falloff"},
                                         {18, "r"},         {19, "g"},         {20, "b"},
                                         {21, "size1"},     {22, "size2"}};
const ChannelName kEffectNames[] = {{0, "Offset"}};

const MotionKind kObjectMotion = {12, 0, 0, kObjectRest, nullptr, 0, ".000 511 default"};
const MotionKind kCameraMotion = {16, 0, 0, kCameraRest, kCameraNames, 4, ".000 4159 default"};
const MotionKind kDefaultCameraMotion = {16, 61440, 0, kDefaultCameraRest, kCameraNames, 4, ""};
const MotionKind kFirstLightMotion = {
    21, 0, 4, kFirstLightRest, kFirstLightNames, 9, ".000 63 default"};
const MotionKind kSecondLightMotion = {23, 0, 4, kSecondLightRest, kSecondLightNames, 11, ""};
const MotionKind kEffectMotion = {12, 0, 0, kEffectRest, kEffectNames, 1, ""};

// A list of texts three to a line, each line indented by two spaces.
void Rows(FILE* f, int count, const char* const* texts, const char* same) {
    for (int i = 0; i < count; ++i) {
        std::fputs(i % 3 == 0 ? "  " : " ", f);
        std::fputs(texts ? texts[i] : same, f);
        if (i % 3 == 2 || i == count - 1)
            std::fputc('\n', f);
    }
}

void FixedChannel(FILE* f, const char* rest) {
    std::fprintf(f, "  %s 0 0 0 0 1 0 0 0 0 0 0 0\n", rest);
}

void SampledChannel(FILE* f, double value) {
    std::fprintf(f, "  %f 0 0 0 2 1 0 0 0 0 0 0 0\n", value);
}

// Everything of a motion block up to and including "BeginKeyframe".
void MotionOpen(FILE* f, const MotionKind& kind, int keyCount) {
    const int n = kind.channels;
    Line(f, "BeginMotion");
    Line(f, "MVer 1");
    LineInt(f, "NumChannels ", n);
    std::fputs("ChannelList", f);
    for (int c = 0; c < n; ++c)
        std::fprintf(f, " %i", c);
    std::fputc('\n', f);
    Line(f, "NumValues 3");
    Line(f, "HiddenChannels 4294967232");
    std::fprintf(f, "UsedChannels %lu\n", (1ul << n) - 1ul);
    std::fprintf(f, "StaticChannels %u\n", kind.staticChannels);
    Line(f, "LimitChannels 0");
    Line(f, "AngleInterpolation 0");
    LineInt(f, "RestChannels ", n);
    Rows(f, n, kind.rest, nullptr);
    LineInt(f, "MinSetting ", n);
    Rows(f, n, nullptr, "0");
    LineInt(f, "MaxSetting ", n);
    Rows(f, n, nullptr, "1");
    LineInt(f, "Wrap ", n);
    Rows(f, n, nullptr, "0");
    LineInt(f, "LookAhead ", n);
    Rows(f, n, nullptr, "0");
    Line(f, "EditChannels 0");
    LineInt(f, "ActiveChannel ", kind.activeChannel);
    Line(f, "ActiveKey 0");
    Line(f, "BeginIK");
    Line(f, "Active 0");
    Line(f, "Min -1 -1 -1 -3.141593 -3.141593 -3.141593");
    Line(f, "Max 1 1 1 3.141593 3.141593 3.141593");
    Line(f, "Stiffness 0 0 0 0 0 0");
    Line(f, "GoalObject (none)");
    Line(f, "GoalStrength 1");
    Line(f, "Anchor 0");
    Line(f, "ConstraintFlags 0");
    Line(f, "ChannelFlags 56");
    Line(f, "Direction 0");
    Line(f, "UseLimits 0");
    Line(f, "IKType 0");
    Line(f, "EndIK");
    std::fprintf(f, "BeginKeyframe %i %i\n", keyCount, n);
}

void MotionClose(FILE* f, const MotionKind& kind) {
    Line(f, "EndKeyframe");
    if (kind.nameCount > 0) {
        Line(f, "BeginChannelNames");
        for (int i = 0; i < kind.nameCount; ++i)
            std::fprintf(f, "  %i %s\n", kind.names[i].channel, kind.names[i].name);
        Line(f, "EndChannelNames");
    }
    Line(f, "EndMotion");
}

// A block of one key at 0 holding every channel's rest value.
void StaticMotion(FILE* f, const MotionKind& kind) {
    MotionOpen(f, kind, 1);
    Line(f, "  0.000 -1 default");
    for (int c = 0; c < kind.channels; ++c)
        FixedChannel(f, kind.rest[c]);
    MotionClose(f, kind);
}

// A block of one key per frame. sampled(k, channel, &value) tells whether a
// channel is keyed and gives its value at key k; the others keep their rest.
template <typename Sampled>
void KeyedMotion(FILE* f, const MotionKind& kind, int startFrame, int keyCount, Sampled sampled) {
    MotionOpen(f, kind, keyCount);
    for (int k = 0; k < keyCount; ++k) {
        std::fprintf(f, "  %i%s\n", startFrame + k, k == 0 ? ".000 -1 default" : kind.keyFlag);
        for (int c = 0; c < kind.channels; ++c) {
            double value = 0.0;
            if (sampled(k, c, &value))
                SampledChannel(f, value);
            else
                FixedChannel(f, kind.rest[c]);
        }
    }
    MotionClose(f, kind);
}

// Channels 0 to 5 of every keyed kind: position with z negated, heading and
// pitch negated, all three angles in radians.
bool TransformChannel(const float* pos, const float* hpb, int channel, double* value) {
    if (channel < 0 || channel > 5)
        return false;
    *value = ZK_TransformChannel(pos, hpb, nullptr, channel);
    return true;
}

void EndItem(FILE* f) {
    Line(f, "EndObject");
    Line(f, "");
}

// pixelAspect is the text of the pixel aspect value.
void CameraModuleData(FILE* f, const char* options, const char* pixelAspect) {
    Line(f, "BeginModuleData Camera");
    Line(f, "\tFormatType 0");
    Line(f, "\tFormatEntries 7 CameraData");
    LineText(f, "\t\tCameraOptions 9 ", options);
    Line(f, "\t\tImageWidth 9 640");
    Line(f, "\t\tImageHeight 9 480");
    LineText(f, "\t\tPixelApsect 28 ", pixelAspect);
    Line(f, "\t\tReticleColor 30 1.000000 1.000000 1.000000 0.500000");
    Line(f, "\t\tMaskColor 30 0.000000 0.000000 0.000000 0.300000");
    Line(f, "\t\tOverlayText 6 ");
    Line(f, "EndModuleData");
}

void Header(FILE* f, const ScCtrl* ctrl) {
    Line(f, "FXSCENE 301");
    Line(f, "");
    LineInt(f, "FirstFrame ", ctrl->startFrame);
    LineInt(f, "LastFrame ", ctrl->endFrame);
    LineInt(f, "CurrentFrame ", ctrl->startFrame);
    std::fprintf(f, "FramesPerSecond %f\n", static_cast<double>(ctrl->frameRate));
    Line(f, "ActiveView 4");
    Line(f, "ActiveCamera 0");
    Line(f, "ProjectDirectory C:");
    Line(f, "");
}

void MddObjectItem(FILE* f, const ObjectData& object) {
    ItemHead(f, 1, 0, 5);
    Line(f, "NumChildren 1");
    LineText(f, "BeginLayerIndexGeometry 1 ", object.lwoPath);
    Line(f, "EndLayerGeometry");
    LineText(f, "ObjectAlias ", object.name);
    StaticMotion(f, kObjectMotion);
    Line(f, "BeginEffectedItems 1");
    Line(f, "BeginItem");
    Line(f, "EffectedObject 0");
    Line(f, "EndItem");
    Line(f, "EndEffectedItems");
    EndItem(f);
}

void MddNullItem(FILE* f, int i) {
    ItemHead(f, 16, 0, 3);
    Line(f, "NumChildren 0");
    LineInt(f, "ObjectAlias Null_", i);
    StaticMotion(f, kObjectMotion);
    Line(f, "BeginObjectEffects 1 1");
    Line(f, "BeginEffectSource Zelkin_Reader");
    LineInt(f, "EffectID ", i);
    LineInt(f, "EffectName Zelkin_Reader_", i);
    Line(f, "EndEffectSource");
    Line(f, "EndObjectEffects");
    LineInt(f, "BeginObjectSpecificInfo Null_", i);
    Line(f, "BeginModuleData Null");
    Line(f, "EndModuleData");
    Line(f, "EndObjectSpecificInfo");
    EndItem(f);
}

const MotionFrame_st kNoMotion{};
const CameraFrame_st kNoCameraMotion{};
const LightFrame_st kNoLightMotion{};

void KeyedObjectItem(FILE* f, const ScCtrl* ctrl, const ObjectData& object, int frameCount) {
    ItemHead(f, 1, 0, 5);
    Line(f, ctrl->mddAct == 1 ? "NumChildren 1" : "NumChildren 0");
    LineText(f, "BeginLayerIndexGeometry 1 ", object.lwoPath);
    Line(f, "EndLayerGeometry");
    LineText(f, "ObjectAlias ", object.name);
    KeyedMotion(f, kObjectMotion, ctrl->startFrame, frameCount, [&](int k, int c, double* v) {
        const MotionFrame_st& s = object.motion ? object.motion[k] : kNoMotion;
        return TransformChannel(s.pos, s.hpb, c, v);
    });
    EndItem(f);
}

void CameraItem(FILE* f, const ScCtrl* ctrl, const CameraData_st& camera, int frameCount) {
    ItemHead(f, 8, 0, 5);
    Line(f, "NumChildren 0");
    LineText(f, "ObjectAlias ", camera.name);
    // The aperture channel is the film height in inches times 1000, kept in
    // double precision.
    const double aperture = static_cast<double>(camera.projPlaneHeight) / 25.4 * 1000.0;
    KeyedMotion(f, kCameraMotion, ctrl->startFrame, frameCount, [&](int k, int c, double* v) {
        const CameraFrame_st& s = camera.motion ? camera.motion[k] : kNoCameraMotion;
        if (c == 12) {
            *v = s.zoom;
            return true;
        }
        if (c == 14) {
            *v = aperture;
            return true;
        }
        return TransformChannel(s.pos, s.hpb, c, v);
    });
    LineText(f, "BeginObjectSpecificInfo ", camera.name);
    char pixelAspect[64];
    std::snprintf(pixelAspect, sizeof pixelAspect, "%f", static_cast<double>(camera.pixelRatio));
    CameraModuleData(f, "35", pixelAspect);
    Line(f, "EndObjectSpecificInfo");
    EndItem(f);
}

void NullItem(FILE* f, const ScCtrl* ctrl, const NullData_st& null, int frameCount) {
    ItemHead(f, 16, 0, 5);
    Line(f, "NumChildren 0");
    LineText(f, "ObjectAlias ", null.name);
    KeyedMotion(f, kObjectMotion, ctrl->startFrame, frameCount, [&](int k, int c, double* v) {
        const MotionFrame_st& s = null.motion ? null.motion[k] : kNoMotion;
        return TransformChannel(s.pos, s.hpb, c, v);
    });
    LineText(f, "BeginObjectSpecificInfo ", null.name);
    Line(f, "BeginModuleData Null");
    Line(f, "EndModuleData");
    Line(f, "EndObjectSpecificInfo");
    EndItem(f);
}

// A light is written as two items; the first links to the number link, the
// second names it as its master.
void LightItems(FILE* f, const ScCtrl* ctrl, const LightData_st& light, int frameCount, int link) {
    ItemHead(f, 4, 0, 3);
    Line(f, "NumChildren 1");
    LineText(f, "ObjectAlias ", light.name, "_1");
    KeyedMotion(f, kFirstLightMotion, ctrl->startFrame, frameCount, [&](int k, int c, double* v) {
        const LightFrame_st& s = light.motion ? light.motion[k] : kNoLightMotion;
        return TransformChannel(s.pos, s.hpb, c, v);
    });
    Line(f, "BeginObjectLinks 1 1");
    Line(f, "BeginLink");
    LineInt(f, "LinkObject ", link);
    Line(f, "EndLink");
    Line(f, "EndObjectLinks");
    LineText(f, "BeginObjectSpecificInfo ", light.name, "_1");
    Line(f, "BeginModuleData Light");
    Line(f, "\tFormatType 0");
    Line(f, "\tFormatEntries 5 LightToolboxData");
    Line(f, "\t\tAmbientFlags 9 0");
    Line(f, "\t\tAmbientColor 30 1.000000 1.000000 1.000000 0.000000");
    Line(f, "\t\tAmbientIntensity 2 0.100000");
    Line(f, "\t\tAmbientGlobalFactor 2 1.000000");
    Line(f, "\t\tAmbientGlobalParam 2 0.000000");
    Line(f, "EndModuleData");
    Line(f, "EndObjectSpecificInfo");
    EndItem(f);

    ItemHead(f, 4, 1, 3);
    LineInt(f, "ObjectMaster ", link);
    Line(f, "NumChildren 0");
    LineText(f, "ObjectAlias ", light.name, "_2");
    StaticMotion(f, kSecondLightMotion);
    LineText(f, "BeginObjectSpecificInfo ", light.name, "_2");
    Line(f, "BeginModuleData Light");
    Line(f, "\tFormatType 0");
    Line(f, "\tFormatEntries 13 LightData");
    Line(f, "\t\tLightType 9 0");
    Line(f, "\t\tLightOptions 9 1");
    Line(f, "\t\tLightColor 30 1.000000 1.000000 1.000000 0.000000");
    Line(f, "\t\tLightIntensity 2 1.000000");
    Line(f, "\t\tLightFalloff 2 1.000000");
    Line(f, "\t\tLightFalloffType 9 0");
    Line(f, "\t\tLightSoftEdge 2 0.100000");
    Line(f, "\t\tLightConeAngle 2 0.785400");
    Line(f, "\t\tLightAspectRatio 2 1.000000");
    Line(f, "\t\tLightLength 2 1.000000");
    Line(f, "\t\tLightShadow 9 0");
    Line(f, "\t\tLightVShadow 9 0");
    Line(f, "\t\tLightQuality 9 3");
    Line(f, "EndModuleData");
    Line(f, "EndObjectSpecificInfo");
    EndItem(f);
}

// The effect of object i: it links the MDD object (item 2i) and its null
// (item 2i + 1) and names the object's MDD file.
void EffectSection(FILE* f, const ObjectData& object, int i) {
    Line(f, "BeginSectionEffects");
    ItemHead(f, 128, 0, 0);
    Line(f, "NumChildren 0");
    LineInt(f, "ObjectAlias Zelkin_Reader_", i);
    StaticMotion(f, kEffectMotion);
    Line(f, "BeginObjectLinks 1 1");
    Line(f, "BeginLink");
    LineInt(f, "LinkObject ", 2 * i);
    LineInt(f, "LinkTool ", 2 * i + 1);
    Line(f, "EndLink");
    Line(f, "EndObjectLinks");
    LineInt(f, "BeginObjectSpecificInfo Zelkin_Reader_", i);
    Line(f, "BeginModuleData Zelkin_Reader");
    Line(f, "\tFormatType 0");
    Line(f, "\tFormatEntries 3 ZK_Data");
    LineText(f, "\t\tMDDFile 6 ", object.mddPath);
    Line(f, "\t\tWeight 0 0.000000");
    Line(f, "\t\tOffset 2 1.000000");
    Line(f, "EndModuleData");
    Line(f, "EndObjectSpecificInfo");
    EndItem(f);
    Line(f, "EndSectionEffects");
}

} // namespace

void DefaultCamera(FILE* file) {
    if (!file)
        return;
    ItemHead(file, 8, 0, 5);
    Line(file, "NumChildren 0");
    Line(file, "ObjectAlias Camera");
    StaticMotion(file, kDefaultCameraMotion);
    // Written from fixed texts only, so the caller's locale does not matter.
    Line(file, "BeginObjectSpecificInfo Camera");
    CameraModuleData(file, "512", "1.000000");
    Line(file, "EndObjectSpecificInfo");
    EndItem(file);
}

namespace {

// The scene file, from records whose arrays the caller has checked.
void WriteScene(FILE* f, const ScCtrl* ctrl, const ObjectData* objects,
                const CameraData_st* cameras, const NullData_st* nulls, const LightData_st* lights,
                int frameCount) {
    const int objectCount = ctrl->objectCount;
    const int cameraCount = ctrl->cameraCount;
    const int nullCount = ctrl->nullCount;
    const int lightCount = ctrl->lightCount;
    const bool motion = ctrl->motAct == 1;
    const int keyCount = frameCount > 0 ? frameCount : 0;

    Header(f, ctrl);

    // Item numbers by order of writing; the default camera and the items
    // after the nulls are not counted.
    int items = 0;
    if (ctrl->mddAct == 1) {
        for (int i = 0; i < objectCount; ++i) {
            MddObjectItem(f, objects[i]);
            MddNullItem(f, i);
            items += 2;
        }
    }
    if ((ctrl->motionFlags & ZK_MOT_OBJECTS) && motion && ctrl->motSep != 1) {
        for (int i = 0; i < objectCount; ++i) {
            KeyedObjectItem(f, ctrl, objects[i], keyCount);
            ++items;
        }
    }
    if (!motion || ctrl->cameraCount == 0) {
        DefaultCamera(f);
    } else if (ctrl->motionFlags & ZK_MOT_CAMERAS) {
        for (int i = 0; i < cameraCount; ++i) {
            CameraItem(f, ctrl, cameras[i], keyCount);
            ++items;
        }
    }
    if (motion && (ctrl->motionFlags & ZK_MOT_NULLS)) {
        for (int i = 0; i < nullCount; ++i) {
            NullItem(f, ctrl, nulls[i], keyCount);
            ++items;
        }
    }
    if (motion && (ctrl->motionFlags & ZK_MOT_LIGHTS)) {
        for (int j = 0; j < lightCount; ++j)
            LightItems(f, ctrl, lights[j], keyCount, items + 1 + 2 * j);
    }
    if (ctrl->mddAct == 1) {
        for (int i = 0; i < objectCount; ++i)
            EffectSection(f, objects[i], i);
    }
}

} // namespace

int WriteFXS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount, const ZK_Messages& messages) {
    return ZK_WriteRecordsFile(
        messages, "FXS", "w", ctrl, objects, cameras, nulls, lights, path, frameCount,
        [&](FILE* f) { WriteScene(f, ctrl, objects, cameras, nulls, lights, frameCount); });
}

int WriteFXS(ScCtrl* ctrl, ObjectData* objects, CameraData_st* cameras, NullData_st* nulls,
             LightData_st* lights, char* path, int frameCount) {
    return WriteFXS(ctrl, objects, cameras, nulls, lights, path, frameCount, ZK_Messages());
}
