// The state of the running stand-in host behind the SDK: the scene, the
// time settings, the selection, the log, the commands (host commands and
// the commands that plug-ins register), and the progress bars.
//
// Test access: tests build a scene, put it here, run commands, read the log
// and the list of commands run, and make a progress bar report cancel after
// k increments.
#pragma once

#include <xsi_ref.h>
#include <xsi_status.h>
#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace host {

class Scene;

struct LogEntry {
    XSI::siSeverityType severity;
    std::string text; // the message as 8-bit text (each character's low 8 bits)
};

// A command that the host itself provides ("SelectObj", "ExportModel").
using HostCommandFn = std::function<XSI::CStatus(const XSI::CValueArray& args, XSI::CValue& ret)>;

// A progress bar's state.
struct ProgressState {
    long minimum = 0;
    long maximum = 100;
    long value = 0;
    long step = 1;
    bool visible = false;
    bool cancelEnabled = true;
    std::wstring caption;
    std::wstring statusText;
};

class HostApp {
  public:
    static HostApp& Get();

    // Scene and time.
    void SetScene(std::unique_ptr<Scene> scene);
    Scene* GetScene() const { return m_scene.get(); }
    double GetFrameRate() const { return m_fps; }
    void SetFrameRate(double fps) { m_fps = fps; }
    double GetCurrentFrame() const { return m_currentFrame; }
    void SetCurrentFrame(double frame) { m_currentFrame = frame; }
    // A time argument as a frame: the default time means the current frame.
    double ResolveTime(double time) const;

    // Selection.
    const std::vector<XSI::CRef>& GetSelection() const { return m_selection; }
    void SetSelection(std::vector<XSI::CRef> items) { m_selection = std::move(items); }

    // Log. Each message is kept and written as one line to stderr, prefixed
    // by its severity ("ERROR: ", "WARNING: ", "INFO: "); informational
    // lines are not written when quiet.
    void Log(const XSI::CString& text, XSI::siSeverityType severity);
    const std::vector<LogEntry>& GetLog() const { return m_log; }
    void ClearLog() { m_log.clear(); }
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    bool IsQuiet() const { return m_quiet; }
    void SetEchoLog(bool echo) { m_echoLog = echo; }

    // Commands. ExecuteCommand runs a host command or a plug-in command by
    // name and records the name in the list of commands run.
    void RegisterHostCommand(const std::wstring& name, HostCommandFn fn);
    XSI::CStatus ExecuteCommand(const XSI::CString& name, const XSI::CValueArray& args,
                                XSI::CValue& ret);
    const std::vector<std::string>& GetCommandsRun() const { return m_commandsRun; }
    void ClearCommandsRun() { m_commandsRun.clear(); }

    // Progress bars: each GetProgressBar makes a new bar at value 0.
    int NewProgressBar();
    ProgressState* GetProgressBar(int id);
    // The bar reports cancel once it has been incremented k times (k < 0:
    // never). Set by tests; SIGINT sets the cancel flag for every bar.
    void SetCancelAfterIncrements(long k) { m_cancelAfter = k; }
    long GetCancelAfterIncrements() const { return m_cancelAfter; }
    void RequestCancel() { m_cancelRequested = true; }
    bool IsCancelRequested() const { return m_cancelRequested; }
    void ResetCancel() { m_cancelRequested = false; }

    // Back to a fresh host: no scene, 30 fps, frame 0, empty selection, log
    // and command list, no bars, no cancel. Host commands stay registered.
    void Reset();

  private:
    HostApp();

    std::unique_ptr<Scene> m_scene;
    double m_fps = 30.0;
    double m_currentFrame = 0.0;
    std::vector<XSI::CRef> m_selection;
    std::vector<LogEntry> m_log;
    bool m_quiet = false;
    bool m_echoLog = true;
    std::vector<std::pair<std::wstring, HostCommandFn>> m_hostCommands;
    std::vector<std::string> m_commandsRun;
    std::vector<std::unique_ptr<ProgressState>> m_bars;
    long m_cancelAfter = -1;
    bool m_cancelRequested = false;
};

} // namespace host
