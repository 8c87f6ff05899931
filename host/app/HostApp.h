// The running stand-in host behind the SDK, made of parts with one job each:
// the scene and time (SceneState), the log (HostLog), the command table
// (CommandTable), the plug-in loader (PluginLoader) and the progress bars
// (ProgressBars). HostApp owns one of each and forwards the calls its many
// users make, so the SDK classes and the tests reach every part through one
// object.
//
// Test access: tests build a scene, put it here, run commands, read the log
// and the list of commands run, and make a progress bar report cancel after
// k increments. Tests may also register a plug-in from functions of their
// own (RegisterPlugin with a lookup) instead of loading a library.
#pragma once

#include "host/app/Commands.h"
#include "host/app/HostLog.h"
#include "host/app/PointFaults.h"
#include "host/app/Plugins.h"
#include "host/app/ProgressBars.h"
#include "host/app/SceneState.h"

namespace host {

class HostApp {
  public:
    static HostApp& Get();

    SceneState& Scenes() { return m_scene; }
    HostLog& Logger() { return m_log; }
    CommandTable& Commands() { return m_commands; }
    PluginLoader& Plugins() { return m_plugins; }
    ProgressBars& Bars() { return m_bars; }
    PointFaults& Points() { return m_points; }

    // Scene and time.
    void SetScene(std::unique_ptr<Scene> scene);
    Scene* GetScene() const { return m_scene.GetScene(); }
    double GetFrameRate() const { return m_scene.GetFrameRate(); }
    void SetFrameRate(double fps) { m_scene.SetFrameRate(fps); }
    double GetCurrentFrame() const { return m_scene.GetCurrentFrame(); }
    void SetCurrentFrame(double frame) { m_scene.SetCurrentFrame(frame); }
    double ResolveTime(double time) const { return m_scene.ResolveTime(time); }

    // Selection.
    const std::vector<XSI::CRef>& GetSelection() const { return m_scene.GetSelection(); }
    void SetSelection(std::vector<XSI::CRef> items) { m_scene.SetSelection(std::move(items)); }

    // Log.
    void Log(const XSI::CString& text, XSI::siSeverityType severity) { m_log.Log(text, severity); }
    const std::vector<LogEntry>& GetLog() const { return m_log.GetLog(); }
    void ClearLog() { m_log.ClearLog(); }
    void SetQuiet(bool quiet) { m_log.SetQuiet(quiet); }
    bool IsQuiet() const { return m_log.IsQuiet(); }
    void SetEchoLog(bool echo) { m_log.SetEchoLog(echo); }

    // Commands.
    void RegisterHostCommand(const std::wstring& name, HostCommandFn fn) {
        m_commands.RegisterHostCommand(name, std::move(fn));
    }
    void RegisterHostCommand(const std::wstring& name, HostCommandFn fn,
                             std::vector<std::wstring> argumentNames) {
        m_commands.RegisterHostCommand(name, std::move(fn), std::move(argumentNames));
    }
    XSI::CStatus ExecuteCommand(const XSI::CString& name, const XSI::CValueArray& args,
                                XSI::CValue& ret) {
        return m_commands.ExecuteCommand(name, args, ret);
    }
    bool HasCommand(const std::wstring& name) const { return m_commands.HasCommand(name); }
    bool GetCommandSignature(const std::wstring& name, CommandSignature& out) const {
        return m_commands.GetCommandSignature(name, out);
    }
    const std::vector<std::string>& GetCommandsRun() const { return m_commands.GetCommandsRun(); }
    void ClearCommandsRun() { m_commands.ClearCommandsRun(); }

    // Plug-ins.
    int LoadPlugins(const std::string& folder) { return m_plugins.LoadPlugins(folder); }
    XSI::CStatus LoadPlugin(const std::string& path) { return m_plugins.LoadPlugin(path); }
    XSI::CStatus RegisterPlugin(const std::string& label, PluginLoadFn load,
                                const PluginLookupFn& lookup, void* handle = nullptr) {
        return m_plugins.RegisterPlugin(label, load, lookup, handle);
    }
    const std::vector<std::unique_ptr<Plugin>>& GetPlugins() const {
        return m_plugins.GetPlugins();
    }
    const PluginCommand* FindPluginCommand(const std::wstring& name) const {
        return m_plugins.FindActiveCommand(name);
    }

    // Progress bars.
    int NewProgressBar() { return m_bars.NewProgressBar(); }
    ProgressState* GetProgressBar(int id) { return m_bars.GetProgressBar(id); }
    bool IsBarCancelled(int id) const { return m_bars.IsBarCancelled(id); }
    void ShowProgress(int id) { m_bars.ShowProgress(id); }
    void SetCancelAfterIncrements(long k) { m_bars.SetCancelAfterIncrements(k); }
    long GetCancelAfterIncrements() const { return m_bars.GetCancelAfterIncrements(); }
    void RequestCancel() { m_bars.RequestCancel(); }
    bool IsCancelRequested() const { return m_bars.IsCancelRequested(); }
    void ResetCancel() { m_bars.ResetCancel(); }

    // Back to a fresh host: no scene, 30 fps, frame 0, not quiet, empty
    // selection, log and command list, no bars, no cancel. Host commands and
    // plug-ins stay registered.
    void Reset();

  private:
    HostApp();

    SceneState m_scene;
    HostLog m_log;
    PluginLoader m_plugins{m_log, m_commands};
    CommandTable m_commands{m_log, m_plugins};
    ProgressBars m_bars{m_log};
    PointFaults m_points;
};

} // namespace host
