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
#include "command/ZK_Settings.h"
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
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

const wchar_t* const kBarCaption = L"Zelkin Export Processing....";

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

// Everything one run makes. The records are declared before the stream
// guard, so the guard closes the streams before the records go.
struct BakeRun {
    explicit BakeRun(const BakeSettings& s) : settings(s), mddStreams(s.on[MDD_DIR], &objects) {}

    const BakeSettings& settings;
    // The run's writers report to the host log.
    const ZK_Messages messages{[](const char* message) { LogError(Narrow(message)); }};
    int frameCount = 0;
    ScCtrl ctrl;
    char paths[kPathSlots][ZK_TEXT_SIZE] = {};
    char prefix[ZK_TEXT_SIZE] = {};
    int nameCount = 0;
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
    MddStreamsGuard mddStreams;
    // Outputs that could not be made (or a cancelled cache walk) are reported
    // where they happen; the run goes on with the others and fails at the
    // end.
    bool outputFailed = false;
    // Frames the MDD walk wrote; fewer than frameCount when it was
    // cancelled.
    int framesCached = 0;

    bool On(PathSlot slot) const { return settings.on[slot]; }
};

// Each step of a run, in the order the run takes them. A step that returns
// anything but OK ends the run with that status; the run's scope then
// releases whatever was made. A run that takes every step fails when one of
// its outputs could not be made in full.
typedef XSI::CStatus (*BakeStep)(BakeRun* run);

XSI::CStatus CheckFrameRange(BakeRun* run) {
    const BakeSettings& s = run->settings;
    const long long frameSpan = s.endFrame - s.startFrame + 1;
    if (frameSpan < 1) {
        LogError(XSI::CString(L"ZK_XSI_Baker - the end frame is before the start frame: ") +
                 s.rangeText);
        return XSI::CStatus::InvalidArgument;
    }
    if (frameSpan > INT_MAX) {
        LogError(XSI::CString(L"ZK_XSI_Baker - the frame range is too long: ") + s.rangeText);
        return XSI::CStatus::InvalidArgument;
    }
    run->frameCount = static_cast<int>(frameSpan);
    return XSI::CStatus::OK;
}

// Every switched-on output path, in row order; the first refusal ends the
// run before anything exists. The MDD prefix is taken right after the MDD
// folder has passed.
XSI::CStatus CheckOutputPaths(BakeRun* run) {
    const BakeSettings& s = run->settings;
    for (int slot = 0; slot < kPathSlots; ++slot) {
        const PathRow& row = kPathRows[slot];
        if (!s.on[slot]) {
            continue;
        }
        const XSI::CString& path = s.paths[slot];
        // An output needs a place: an empty path would put it in the
        // current folder or at the root. The XSI folder is only checked.
        if (path.IsEmpty() && slot != XSI_DIR) {
            LogError(XSI::CString(L"ZK_XSI_Baker - ") + kArgNames[row.onSwitch] + L" is on but " +
                     kArgNames[row.pathArg] + L" is empty");
            return XSI::CStatus::InvalidArgument;
        }
        if (path.Length() > kMaxText) {
            LogError(XSI::CString(L"ZK_XSI_Baker - the ") + Narrow(row.label) +
                     L" path is too long: " + path);
            return XSI::CStatus::InvalidArgument;
        }
        ZK_Wide2Char(path.GetWideString(), run->paths[slot]);
        const XSI::CStatus status = _EnsureFilePath(run->paths[slot], row.kind, row.label);
        if (status != XSI::CStatus::OK) {
            return status;
        }
        if (slot == MDD_DIR && !s.prefix.IsEmpty()) {
            if (s.prefix.Length() > kMaxText) {
                LogError(XSI::CString(L"ZK_XSI_Baker - the MDD prefix is too long: ") + s.prefix);
                return XSI::CStatus::InvalidArgument;
            }
            ZK_Wide2Char(s.prefix.GetWideString(), run->prefix);
        }
    }
    return XSI::CStatus::OK;
}

XSI::CStatus CopySwitches(BakeRun* run) {
    ScCtrl& ctrl = run->ctrl;
    ctrl.objectCount = ctrl.cameraCount = ctrl.lightCount = ctrl.nullCount = 0;
    ctrl.mddAct = run->On(MDD_DIR) ? 1 : 0;
    ctrl.motAct = run->settings.motAct ? 1 : 0;
    ctrl.motSep = run->On(MOT_DIR) ? 1 : 0;
    ctrl.lwoAct = run->On(LWO_DIR) ? 1 : 0;
    ctrl.motionFlags = 0;
    ctrl.meshFormat = 0;
    return XSI::CStatus::OK;
}

// One name per comma-separated piece of the object list, nothing trimmed or
// skipped. A name that does not fit its slot is refused before any is
// resolved.
XSI::CStatus SplitObjectList(BakeRun* run) {
    const XSI::CString& text = run->settings.objects;
    const std::wstring list(text.GetWideString(), text.Length());
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
    run->nameCount = static_cast<int>(pieces.size());
    run->names.reset(new char[run->nameCount][ZK_TEXT_SIZE]());
    for (int s = 0; s < run->nameCount; ++s) {
        ZK_Wide2Char(pieces[s].c_str(), run->names[s]);
    }
    run->refs.resize(run->nameCount);
    return XSI::CStatus::OK;
}

XSI::CStatus TakeRangeAndRate(BakeRun* run) {
    run->ctrl.frameRate = static_cast<float>(XSI::CTime().GetFrameRate());
    run->ctrl.endFrame = static_cast<int32_t>(run->settings.endFrame);
    run->ctrl.startFrame = static_cast<int32_t>(run->settings.startFrame);
    return XSI::CStatus::OK;
}

XSI::CStatus ResolveItems(BakeRun* run) {
    ZKGetRefs(run->nameCount, run->names.get(), run->refs.data(), &run->ctrl);
    return XSI::CStatus::OK;
}

// The record arrays, and the motion buffers of the kinds whose motion is
// sampled.
XSI::CStatus CreateRecords(BakeRun* run) {
    const BakeSettings& s = run->settings;
    ScCtrl& ctrl = run->ctrl;
    try {
        run->objects.resize(ctrl.objectCount);
        run->cameras.resize(ctrl.cameraCount);
        run->lights.resize(ctrl.lightCount);
        run->nulls.resize(ctrl.nullCount);
        if (s.motAct) {
            const size_t frames = static_cast<size_t>(run->frameCount);
            if (s.objectAct) {
                AttachMotion(run->objects, run->objectMotion, frames);
                ctrl.motionFlags |= ZK_MOT_OBJECTS;
            }
            if (s.camAct) {
                AttachMotion(run->cameras, run->cameraMotion, frames);
                ctrl.motionFlags |= ZK_MOT_CAMERAS;
            }
            if (s.lightAct) {
                AttachMotion(run->lights, run->lightMotion, frames);
                ctrl.motionFlags |= ZK_MOT_LIGHTS;
            }
            if (s.nullAct) {
                AttachMotion(run->nulls, run->nullMotion, frames);
                ctrl.motionFlags |= ZK_MOT_NULLS;
            }
        }
    } catch (const std::bad_alloc&) {
        LogError(XSI::CString(L"ZK_XSI_Baker - not enough memory to sample the frames ") +
                 s.rangeText);
        return XSI::CStatus::MemoryOverflow;
    }
    return XSI::CStatus::OK;
}

// Runs in every run: it fills the records' own fields.
XSI::CStatus SampleItems(BakeRun* run) {
    ZK_MOT_GetData(FirstOrNull(run->objects), FirstOrNull(run->cameras), FirstOrNull(run->lights),
                   FirstOrNull(run->nulls), run->nameCount, run->names.get(), run->frameCount,
                   run->ctrl.frameRate, static_cast<char>(run->ctrl.motionFlags), &run->ctrl);
    return XSI::CStatus::OK;
}

XSI::CStatus ExportMeshes(BakeRun* run) {
    ObjectData* objects = FirstOrNull(run->objects);
    if (run->On(LWO_DIR)) {
        run->ctrl.meshFormat = 0;
        run->outputFailed |= ZK_LWOExport(objects, run->ctrl.objectCount, run->paths[LWO_DIR]) == 0;
    }
    if (run->On(EMDL_DIR)) {
        run->ctrl.meshFormat = 1;
        run->outputFailed |=
            ZK_EMDLExport(objects, run->ctrl.objectCount, run->paths[EMDL_DIR]) == 0;
    }
    return XSI::CStatus::OK;
}

// A cache that could not be created ends the run before any frame is
// walked: the caches created before it would hold a header and no frame, so
// they are removed rather than left looking like caches.
void RemoveHeaderOnlyCaches(BakeRun* run) {
    for (ObjectData& object : run->objects) {
        if (object.mddFile) {
            std::fclose(object.mddFile);
            object.mddFile = nullptr;
            std::remove(object.mddPath);
        }
    }
}

XSI::CStatus BakePointCaches(BakeRun* run) {
    if (!run->On(MDD_DIR)) {
        return XSI::CStatus::OK;
    }
    ScCtrl& ctrl = run->ctrl;
    ObjectData* objects = FirstOrNull(run->objects);
    if (WriteHeader(ctrl.objectCount, objects, ctrl.startFrame, ctrl.endFrame, run->paths[MDD_DIR],
                    run->prefix, ctrl.frameRate) == 0) {
        RemoveHeaderOnlyCaches(run);
        return XSI::CStatus::InvalidArgument;
    }
    run->framesCached = ZK_MESH_Process(ctrl.objectCount, objects, ctrl.startFrame, ctrl.endFrame,
                                        run->settings.localSpace);
    return XSI::CStatus::OK;
}

// The scene files, under the export bar, in their fixed order.
XSI::CStatus WriteSceneFiles(BakeRun* run) {
    XSI::ProgressBar bar = XSI::Application().GetUIToolkit().GetProgressBar();
    bar.PutMaximum(run->frameCount);
    bar.PutStep(1);
    bar.PutVisible(true);
    bar.PutCaption(kBarCaption);
    XSI::CValue progress(static_cast<short>(0));
    auto advance = [&bar, &progress](XSI::LONG step) {
        bar.PutStatusText(XSI::CString(L"Percent ") + progress.GetAsText());
        progress = XSI::CValue(bar.Increment(step));
    };
    using Writer = int (*)(ScCtrl*, ObjectData*, CameraData_st*, NullData_st*, LightData_st*, char*,
                           int, const ZK_Messages&);
    auto write = [run](PathSlot slot, Writer writer) {
        if (run->On(slot)) {
            run->outputFailed |=
                writer(&run->ctrl, FirstOrNull(run->objects), FirstOrNull(run->cameras),
                       FirstOrNull(run->nulls), FirstOrNull(run->lights), run->paths[slot],
                       run->frameCount, run->messages) == 0;
        }
    };
    advance(1);
    write(LWS_FILE, WriteLWS);
    advance(50);
    write(FXS_FILE, WriteFXS);
    advance(50);
    write(ZSC_FILE, WriteZSC);
    advance(50);
    write(MEL_FILE, WriteMaya);
    advance(50);
    if (run->settings.motAct) {
        write(MOT_DIR, WriteMotions);
    }
    return XSI::CStatus::OK;
}

// The streams first: a cache that did not reach its file fails the run.
// Everything else is released as the run's scope ends.
XSI::CStatus CloseCaches(BakeRun* run) {
    run->outputFailed |= run->mddStreams.Close() == 0;
    return XSI::CStatus::OK;
}

// A walk cancelled from the progress bar left caches that hold fewer frames
// than their headers say: the scene files are written all the same, and the
// run then fails, saying how far the caches got.
XSI::CStatus ReportCancel(BakeRun* run) {
    if (!run->On(MDD_DIR) || run->framesCached >= run->frameCount) {
        return XSI::CStatus::OK;
    }
    LogError(XSI::CString(L"ZK_XSI_Baker - The bake was cancelled: the MDD caches hold ") +
             XSI::CValue(static_cast<XSI::LONG>(run->framesCached)).GetAsText() + L" of " +
             XSI::CValue(static_cast<XSI::LONG>(run->frameCount)).GetAsText() + L" frames");
    run->outputFailed = true;
    return XSI::CStatus::OK;
}

// clang-format off
const BakeStep kBakeSteps[] = {
    CheckFrameRange,  // refuse an empty or overlong range
    CheckOutputPaths, // every switched-on path, then the MDD prefix
    CopySwitches,     // the switch copies of ScCtrl
    SplitObjectList,  // the name table and the reference table
    TakeRangeAndRate, // frame range and the scene's frame rate into ScCtrl
    ResolveItems,     // names to items, counted per kind
    CreateRecords,    // record arrays and motion buffers
    SampleItems,      // records filled, motion sampled
    ExportMeshes,     // LWO, then EMDL files through host commands
    BakePointCaches,  // MDD headers, then the frame walk
    WriteSceneFiles,  // LWS, FXS, ZSC, MEL, motion files under the export bar
    CloseCaches,      // MDD streams closed
    ReportCancel,     // a cancelled walk fails the run
};
// clang-format on

XSI::CStatus RunExport(XSI::CRef& in_ctxt) {
    const XSI::Context ctxt(in_ctxt);
    const BakeSettings settings = ReadSettings(ctxt.GetAttribute(L"Arguments"));
    BakeRun run(settings);
    for (BakeStep step : kBakeSteps) {
        const XSI::CStatus status = step(&run);
        if (status != XSI::CStatus::OK) {
            return status;
        }
    }
    return run.outputFailed ? XSI::CStatus::Fail : XSI::CStatus::OK;
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
    return RunExport(in_ctxt);
}
