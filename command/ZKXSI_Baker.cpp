// The plug-in's entries: registration of the ZK_XSI_Baker command, the
// declaration of its 28 arguments, and the export run itself.
//
// One run owns everything it makes: the tables, records and sample buffers
// live in containers of the run's scope and the MDD streams are closed by a
// guard, so every way out of the run (a refusal, a failed cache header, an
// exception from the host) releases them.
#include "command/ZKXSI_Baker.h"

#include "capture/ZK_Capture.h"
#include "capture/ZK_Records.h"
#include "command/ZK_Paths.h"
#include "geometry/MDDFile.h"
#include "geometry/MeshExport.h"
#include "writers/FXSFile.h"
#include "writers/LWSFile.h"
#include "writers/MOTfile.h"
#include "writers/ZSCFile.h"
#include "writers/ZK_Output.h"

#include <xsi_application.h>
#include <xsi_argument.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_pluginexport.h>
#include <xsi_pluginregistrar.h>
#include <xsi_progressbar.h>
#include <xsi_status.h>
#include <xsi_string.h>
#include <xsi_time.h>
#include <xsi_uitoolkit.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <climits>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// The command's arguments, in declaration order; the index is where the run
// reads each value.
enum ArgIndex {
    ZK_ObjString,
    ZK_FilePath,
    ZK_StartFrame,
    ZK_EndFrame,
    ZK_ObjPreFix,
    ZK_MDDAct,
    ZK_LWOAct,
    ZK_LWOString,
    ZK_EMDLAct,
    ZK_EMDLString,
    ZK_LWSAct,
    ZK_LWSString,
    ZK_MELAct,
    ZK_MELString,
    ZK_FXSAct,
    ZK_FXSString,
    ZK_XSIAct,
    ZK_XSIString,
    ZK_MAXAct,
    ZK_MAXString,
    ZK_MOTAct,
    ZK_MOTSep,
    ZK_MOTString,
    ZK_CAMAct,
    ZK_LIGHTAct,
    ZK_NULLAct,
    ZK_OBJECTAct,
    ZK_LOCALSPACE,
    ZK_ArgCount
};

const wchar_t* const kArgNames[ZK_ArgCount] = {
    L"ZK_ObjString", L"ZK_FilePath",  L"ZK_StartFrame", L"ZK_EndFrame",  L"ZK_ObjPreFix",
    L"ZK_MDDAct",    L"ZK_LWOAct",    L"ZK_LWOString",  L"ZK_EMDLAct",   L"ZK_EMDLString",
    L"ZK_LWSAct",    L"ZK_LWSString", L"ZK_MELAct",     L"ZK_MELString", L"ZK_FXSAct",
    L"ZK_FXSString", L"ZK_XSIAct",    L"ZK_XSIString",  L"ZK_MAXAct",    L"ZK_MAXString",
    L"ZK_MOTAct",    L"ZK_MOTSep",    L"ZK_MOTString",  L"ZK_CAMAct",    L"ZK_LIGHTAct",
    L"ZK_NULLAct",   L"ZK_OBJECTAct", L"ZK_LOCALSPACE"};

const wchar_t* const kBarCaption = L"Zelkin Export Processing....";

// The checked outputs, in checking order. Each has its own path buffer.
enum PathSlot {
    MDD_DIR,
    LWO_DIR,
    EMDL_DIR,
    LWS_FILE,
    MEL_FILE,
    FXS_FILE,
    XSI_DIR,
    ZSC_FILE,
    MOT_DIR
};

struct PathRow {
    ArgIndex onSwitch;
    ArgIndex pathArg;
    unsigned long kind;
    const char* label;
    PathSlot slot;
};

const PathRow kPathRows[] = {
    {ZK_MDDAct, ZK_FilePath, ZK_PATH_FOLDER, "MDD", MDD_DIR},
    {ZK_LWOAct, ZK_LWOString, ZK_PATH_FOLDER, "LWO", LWO_DIR},
    {ZK_EMDLAct, ZK_EMDLString, ZK_PATH_FOLDER, "EMDL", EMDL_DIR},
    {ZK_LWSAct, ZK_LWSString, ZK_PATH_FILE, "LWS", LWS_FILE},
    {ZK_MELAct, ZK_MELString, ZK_PATH_FILE, "MEL", MEL_FILE},
    {ZK_FXSAct, ZK_FXSString, ZK_PATH_FILE, "FXS", FXS_FILE},
    {ZK_XSIAct, ZK_XSIString, ZK_PATH_FOLDER, "XSI", XSI_DIR},
    {ZK_MAXAct, ZK_MAXString, ZK_PATH_FILE, "ZSC", ZSC_FILE},
    {ZK_MOTSep, ZK_MOTString, ZK_PATH_FOLDER, "MOT", MOT_DIR},
};

constexpr int kPathSlots = 9;
// The longest text that fits a buffer with its terminating zero.
constexpr size_t kMaxText = ZK_TEXT_SIZE - 1;

XSI::CString Narrow(const char* text) {
    XSI::CString s;
    s.PutAsciiString(text);
    return s;
}

void LogError(const XSI::CString& message) {
    XSI::Application().LogMessage(message, XSI::siErrorMsg);
}

// The writers' messages go to the host log while a run lasts.
void HostLogSink(const char* message) {
    LogError(Narrow(message));
}

class MessageSinkScope {
  public:
    MessageSinkScope() : m_previous(ZK_GetMessageSink()) { ZK_SetMessageSink(&HostLogSink); }
    ~MessageSinkScope() { ZK_SetMessageSink(m_previous); }
    MessageSinkScope(const MessageSinkScope&) = delete;
    MessageSinkScope& operator=(const MessageSinkScope&) = delete;

  private:
    ZK_MessageSink m_previous;
};

template <typename T> T* FirstOrNull(std::vector<T>& records) {
    return records.empty() ? nullptr : records.data();
}

// Closes the MDD streams of the run's objects, explicitly at the end of the
// run (to learn whether every cache reached its file) or, on any other way
// out, when the run's scope ends.
class MddStreamsGuard {
  public:
    MddStreamsGuard(bool active, std::vector<ObjectData>* objects)
        : m_active(active), m_objects(objects) {}
    ~MddStreamsGuard() {
        try {
            Close();
        } catch (...) {
            // Leaving the run already; a failing log must not end the host.
        }
    }
    MddStreamsGuard(const MddStreamsGuard&) = delete;
    MddStreamsGuard& operator=(const MddStreamsGuard&) = delete;

    // 1 when every stream was closed cleanly (or there was none to close).
    int Close() {
        if (!m_active || m_closed) {
            return 1;
        }
        m_closed = true;
        return ZK_CloseMDDFiles(static_cast<int>(m_objects->size()), FirstOrNull(*m_objects));
    }

  private:
    bool m_active;
    bool m_closed = false;
    std::vector<ObjectData>* m_objects;
};

// Gives each record of a kind its F samples, all in one buffer.
template <typename Record, typename Frame>
void AttachMotion(std::vector<Record>& records, std::vector<Frame>& buffer, size_t frameCount) {
    buffer.resize(records.size() * frameCount);
    for (size_t k = 0; k < records.size(); ++k) {
        records[k].motion = buffer.data() + k * frameCount;
    }
}

// Everything one run makes. Declared before the stream guard, so the guard
// closes the streams before the records go.
struct RunData {
    std::unique_ptr<char[][ZK_TEXT_SIZE]> names;
    std::vector<XSI::CRef> refs;
    std::vector<ObjectData> objects;
    std::vector<CameraData_st> cameras;
    std::vector<LightData_st> lights;
    std::vector<NullData_st> nulls;
    std::vector<MotionFrame_st> objectMotion;
    std::vector<CameraFrame_st> cameraMotion;
    std::vector<LightFrame_st> lightMotion;
    std::vector<MotionFrame_st> nullMotion;
};

XSI::CStatus RunExport(XSI::CRef& in_ctxt) {
    // Arguments, by position. An argument the host did not pass reads as
    // an empty value.
    const XSI::Context ctxt(in_ctxt);
    const XSI::CValueArray args = ctxt.GetAttribute(L"Arguments");
    auto arg = [&args](ArgIndex i) { return i < args.GetCount() ? args[i] : XSI::CValue(); };
    auto on = [&arg](ArgIndex i) { return static_cast<bool>(arg(i)); };

    const long long startFrame = static_cast<XSI::LONG>(arg(ZK_StartFrame));
    const long long endFrame = static_cast<XSI::LONG>(arg(ZK_EndFrame));
    const long long frameSpan = endFrame - startFrame + 1;
    const XSI::CString rangeText =
        arg(ZK_StartFrame).GetAsText() + L" to " + arg(ZK_EndFrame).GetAsText();
    if (frameSpan < 1) {
        LogError(XSI::CString(L"ZK_XSI_Baker - the end frame is before the start frame: ") +
                 rangeText);
        return XSI::CStatus::InvalidArgument;
    }
    if (frameSpan > INT_MAX) {
        LogError(XSI::CString(L"ZK_XSI_Baker - the frame range is too long: ") + rangeText);
        return XSI::CStatus::InvalidArgument;
    }
    const int frameCount = static_cast<int>(frameSpan);

    // Control record.
    ScCtrl ctrl;
    ctrl.meshFormat = 0;
    const XSI::CString objText = arg(ZK_ObjString).GetAsText();
    const XSI::CString prefixText = arg(ZK_ObjPreFix).GetAsText();

    // Path checks; the first refusal ends the run before anything exists.
    char paths[kPathSlots][ZK_TEXT_SIZE] = {};
    char prefix[ZK_TEXT_SIZE] = {};
    for (const PathRow& row : kPathRows) {
        if (!on(row.onSwitch)) {
            continue;
        }
        const XSI::CString path = arg(row.pathArg).GetAsText();
        if (path.Length() > kMaxText) {
            LogError(XSI::CString(L"ZK_XSI_Baker - the ") + Narrow(row.label) +
                     L" path is too long: " + path);
            return XSI::CStatus::InvalidArgument;
        }
        ZK_Wide2Char(path.GetWideString(), paths[row.slot]);
        const XSI::CStatus status = _EnsureFilePath(paths[row.slot], row.kind, row.label);
        if (status != XSI::CStatus::OK) {
            return status;
        }
        if (row.slot == MDD_DIR && !prefixText.IsEmpty()) {
            if (prefixText.Length() > kMaxText) {
                LogError(XSI::CString(L"ZK_XSI_Baker - the MDD prefix is too long: ") + prefixText);
                return XSI::CStatus::InvalidArgument;
            }
            ZK_Wide2Char(prefixText.GetWideString(), prefix);
        }
    }

    // Settings.
    const bool mddAct = on(ZK_MDDAct);
    const bool motAct = on(ZK_MOTAct);
    ctrl.objectCount = ctrl.cameraCount = ctrl.lightCount = ctrl.nullCount = 0;
    ctrl.mddAct = mddAct ? 1 : 0;
    ctrl.motAct = motAct ? 1 : 0;
    ctrl.motSep = on(ZK_MOTSep) ? 1 : 0;
    ctrl.lwoAct = on(ZK_LWOAct) ? 1 : 0;
    ctrl.motionFlags = 0;

    // Object list: one name per comma-separated piece, nothing trimmed or
    // skipped. A name that does not fit its slot is refused before any is
    // resolved.
    const std::wstring list(objText.GetWideString(), objText.Length());
    std::vector<std::wstring> pieces(1);
    for (wchar_t c : list) {
        if (c == L',') {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(c);
        }
    }
    for (const std::wstring& piece : pieces) {
        if (piece.size() > kMaxText) {
            LogError(XSI::CString(L"ZK_XSI_Baker - the object name is too long: ") + piece.c_str());
            return XSI::CStatus::InvalidArgument;
        }
    }
    const int nameCount = static_cast<int>(pieces.size());

    RunData run;
    run.names.reset(new char[nameCount][ZK_TEXT_SIZE]());
    for (int s = 0; s < nameCount; ++s) {
        ZK_Wide2Char(pieces[s].c_str(), run.names[s]);
    }
    run.refs.resize(nameCount);

    // Range and rate.
    ctrl.frameRate = static_cast<float>(XSI::CTime().GetFrameRate());
    ctrl.endFrame = static_cast<int32_t>(endFrame);
    ctrl.startFrame = static_cast<int32_t>(startFrame);

    // Resolution.
    ZKGetRefs(nameCount, run.names.get(), run.refs.data(), &ctrl);

    // Records, frame count and motion buffers.
    try {
        run.objects.resize(ctrl.objectCount);
        run.cameras.resize(ctrl.cameraCount);
        run.lights.resize(ctrl.lightCount);
        run.nulls.resize(ctrl.nullCount);
        if (motAct) {
            const size_t frames = static_cast<size_t>(frameCount);
            if (on(ZK_OBJECTAct)) {
                AttachMotion(run.objects, run.objectMotion, frames);
                ctrl.motionFlags |= ZK_MOT_OBJECTS;
            }
            if (on(ZK_CAMAct)) {
                AttachMotion(run.cameras, run.cameraMotion, frames);
                ctrl.motionFlags |= ZK_MOT_CAMERAS;
            }
            if (on(ZK_LIGHTAct)) {
                AttachMotion(run.lights, run.lightMotion, frames);
                ctrl.motionFlags |= ZK_MOT_LIGHTS;
            }
            if (on(ZK_NULLAct)) {
                AttachMotion(run.nulls, run.nullMotion, frames);
                ctrl.motionFlags |= ZK_MOT_NULLS;
            }
        }
    } catch (const std::bad_alloc&) {
        LogError(XSI::CString(L"ZK_XSI_Baker - not enough memory to sample the frames ") +
                 rangeText);
        return XSI::CStatus::MemoryOverflow;
    }
    MddStreamsGuard mddStreams(mddAct, &run.objects);

    ObjectData* objects = FirstOrNull(run.objects);
    CameraData_st* cameras = FirstOrNull(run.cameras);
    LightData_st* lights = FirstOrNull(run.lights);
    NullData_st* nulls = FirstOrNull(run.nulls);

    // Sampling, in every run: it fills the records' own fields.
    ZK_MOT_GetData(objects, cameras, lights, nulls, nameCount, run.names.get(), frameCount,
                   ctrl.frameRate, static_cast<char>(ctrl.motionFlags), &ctrl);

    // Outputs that could not be made are reported by their writers; the run
    // goes on with the others and fails at the end.
    bool outputFailed = false;

    // Mesh exports.
    if (on(ZK_LWOAct)) {
        ctrl.meshFormat = 0;
        outputFailed |= ZK_LWOExport(objects, ctrl.objectCount, paths[LWO_DIR]) == 0;
    }
    if (on(ZK_EMDLAct)) {
        ctrl.meshFormat = 1;
        outputFailed |= ZK_EMDLExport(objects, ctrl.objectCount, paths[EMDL_DIR]) == 0;
    }

    // Point caches.
    if (mddAct) {
        if (WriteHeader(ctrl.objectCount, objects, ctrl.startFrame, ctrl.endFrame, paths[MDD_DIR],
                        prefix, ctrl.frameRate) == 0) {
            return XSI::CStatus::InvalidArgument;
        }
        ZK_MESH_Process(ctrl.objectCount, objects, ctrl.startFrame, ctrl.endFrame,
                        static_cast<XSI::LONG>(arg(ZK_LOCALSPACE)));
    }

    // Scene files under the export bar.
    XSI::ProgressBar bar = XSI::Application().GetUIToolkit().GetProgressBar();
    bar.PutMaximum(frameCount);
    bar.PutStep(1);
    bar.PutVisible(true);
    bar.PutCaption(kBarCaption);
    XSI::CValue progress(static_cast<short>(0));
    auto advance = [&bar, &progress](XSI::LONG step) {
        bar.PutStatusText(XSI::CString(L"Percent ") + progress.GetAsText());
        progress = XSI::CValue(bar.Increment(step));
    };
    auto write = [&](ArgIndex sw, auto writer, PathSlot slot) {
        if (on(sw)) {
            outputFailed |=
                writer(&ctrl, objects, cameras, nulls, lights, paths[slot], frameCount) == 0;
        }
    };
    advance(1);
    write(ZK_LWSAct, WriteLWS, LWS_FILE);
    advance(50);
    write(ZK_FXSAct, WriteFXS, FXS_FILE);
    advance(50);
    write(ZK_MAXAct, WriteZSC, ZSC_FILE);
    advance(50);
    write(ZK_MELAct, WriteMaya, MEL_FILE);
    advance(50);
    if (motAct && on(ZK_MOTSep)) {
        write(ZK_MOTSep, WriteMotions, MOT_DIR);
    }

    // Clean-up: the streams first (a cache that did not reach its file
    // fails the run), then everything else as the run's scope ends.
    outputFailed |= mddStreams.Close() == 0;
    return outputFailed ? XSI::CStatus::Fail : XSI::CStatus::OK;
}

} // namespace

XSIPLUGINCALLBACK XSI::CStatus XSILoadPlugin(XSI::PluginRegistrar& in_reg) {
    in_reg.PutAuthor(L"Zelkin");
    in_reg.PutName(L"ZK_XSI_Baker Plug-in");
    in_reg.PutVersion(1, 5);
    in_reg.RegisterCommand(L"ZK_XSI_Baker", L"ZK_XSI_Baker");
    return XSI::CStatus::OK;
}

XSIPLUGINCALLBACK XSI::CStatus ZK_XSI_Baker_Init(XSI::CRef& in_ctxt) {
    const XSI::Context ctxt(in_ctxt);
    XSI::Command cmd(ctxt.GetSource());
    cmd.EnableReturnValue(true);
    XSI::ArgumentArray args = cmd.GetArguments();
    for (const wchar_t* name : kArgNames) {
        args.Add(name, XSI::CValue());
    }
    return XSI::CStatus::OK;
}

XSIPLUGINCALLBACK XSI::CStatus ZK_XSI_Baker_Execute(XSI::CRef& in_ctxt) {
    MessageSinkScope sink;
    return RunExport(in_ctxt);
}
