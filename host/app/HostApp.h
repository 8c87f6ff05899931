// The state of the running stand-in host behind the SDK: the scene, the
// time settings, the selection, the log, the commands (host commands and
// the commands that plug-ins register), and the progress bars.
//
// Test access: tests build a scene, put it here, run commands, read the log
// and the list of commands run, and make a progress bar report cancel after
// k increments. Tests may also register a plug-in from functions of their
// own (RegisterPlugin with a lookup) instead of loading a library.
#pragma once

#include <xsi_argument.h>
#include <xsi_pluginregistrar.h>
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

// The entries a plug-in exports.
using PluginLoadFn = XSI::CStatus (*)(XSI::PluginRegistrar& in_reg);
using PluginCommandFn = XSI::CStatus (*)(XSI::CRef& in_ctxt);
// Finds an exported entry of a plug-in by name (nullptr when absent).
using PluginLookupFn = std::function<void*(const std::string& name)>;

struct Plugin;

// A command that a plug-in registered, with the arguments its init entry
// declared. CRefs of class siCommandID and siPluginItemID point at it.
struct PluginCommand {
    Plugin* plugin = nullptr;
    std::wstring name;
    std::wstring scriptName;
    PluginCommandFn execute = nullptr;
    bool returnValueEnabled = false;
    bool defining = false; // arguments may be declared (during the init entry)
    bool active = false;   // initialised and runnable
    std::vector<XSI::Argument> arguments;
};

// A loaded plug-in. CRefs of class siPluginRegistrarID point at it.
struct Plugin {
    std::string path;       // the library, or a label for a plug-in registered by a test
    void* handle = nullptr; // dlopen handle (nullptr for a test's plug-in)
    std::wstring name;
    std::wstring author;
    long major = 0;
    long minor = 0;
    bool loading = false; // inside XSILoadPlugin: commands may be registered
    std::vector<std::unique_ptr<PluginCommand>> commands;
};

// The context handed to a command's init and execute entries. CRefs of class
// siContextID point at it.
struct CommandContext {
    PluginCommand* command = nullptr;
    std::vector<std::pair<std::wstring, XSI::CValue>> attributes;
};

// What a caller needs to map command-line values onto a command: its
// declared argument names. A host command registered without names takes
// any number of positional values.
struct CommandSignature {
    bool declared = false;
    std::vector<std::wstring> argumentNames;
    std::vector<XSI::CValue> argumentDefaults; // empty values when shorter
};

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
    long increments = 0; // Increment calls so far
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
    // A command that is not known logs an error and returns Fail; a plug-in
    // command given more values than it declares returns InvalidArgument.
    // A plug-in command's arguments are filled by position; the ones left
    // out take their declared defaults.
    void RegisterHostCommand(const std::wstring& name, HostCommandFn fn);
    void RegisterHostCommand(const std::wstring& name, HostCommandFn fn,
                             std::vector<std::wstring> argumentNames);
    XSI::CStatus ExecuteCommand(const XSI::CString& name, const XSI::CValueArray& args,
                                XSI::CValue& ret);
    bool HasCommand(const std::wstring& name) const;
    // False when there is no such command.
    bool GetCommandSignature(const std::wstring& name, CommandSignature& out) const;
    const std::vector<std::string>& GetCommandsRun() const { return m_commandsRun; }
    void ClearCommandsRun() { m_commandsRun.clear(); }

    // Plug-ins. LoadPlugins loads every library in a folder (in name order)
    // that exports XSILoadPlugin and returns how many were loaded; problems
    // are logged. LoadPlugin loads one library (InvalidArgument when it
    // exports no XSILoadPlugin, Fail when it cannot be loaded or its load
    // entry fails). RegisterPlugin runs a load entry and finds the commands'
    // entries through lookup ("<command>_Init", "<command>_Execute").
    // Plug-ins stay loaded for the life of the process.
    int LoadPlugins(const std::string& folder);
    XSI::CStatus LoadPlugin(const std::string& path);
    XSI::CStatus RegisterPlugin(const std::string& label, PluginLoadFn load,
                                const PluginLookupFn& lookup, void* handle = nullptr);
    const std::vector<std::unique_ptr<Plugin>>& GetPlugins() const { return m_plugins; }
    const PluginCommand* FindPluginCommand(const std::wstring& name) const;

    // Progress bars: each GetProgressBar makes a new bar at value 0.
    int NewProgressBar();
    ProgressState* GetProgressBar(int id);
    // Whether a bar reports cancel (SIGINT, RequestCancel, or k increments).
    bool IsBarCancelled(int id) const;
    // Draws a bar after a change (see host/ui): on a terminal in place, else
    // one line per caption; nothing when quiet or when the log is not echoed.
    void ShowProgress(int id);
    // The bar reports cancel once it has been incremented k times (k < 0:
    // never). Set by tests; SIGINT sets the cancel flag for every bar.
    void SetCancelAfterIncrements(long k) { m_cancelAfter = k; }
    long GetCancelAfterIncrements() const { return m_cancelAfter; }
    void RequestCancel() { m_cancelRequested = true; }
    // True after RequestCancel or a SIGINT (see host/ui).
    bool IsCancelRequested() const;
    void ResetCancel();

    // Back to a fresh host: no scene, 30 fps, frame 0, not quiet, empty
    // selection, log and command list, no bars, no cancel. Host commands and
    // plug-ins stay registered.
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
    struct HostCommand {
        std::wstring name;
        HostCommandFn fn;
        CommandSignature signature;
    };
    XSI::CStatus RunPluginCommand(const PluginCommand& cmd, const XSI::CValueArray& args,
                                  XSI::CValue& ret);
    PluginCommand* FindActivePluginCommand(const std::wstring& name) const;

    std::vector<HostCommand> m_hostCommands;
    std::vector<std::unique_ptr<Plugin>> m_plugins;
    std::vector<std::string> m_commandsRun;
    std::vector<std::unique_ptr<ProgressState>> m_bars;
    long m_cancelAfter = -1;
    bool m_cancelRequested = false;
};

// SIObject's name for the host objects of the plug-in layer (application,
// registrar, plug-in item, command, context): false for any other reference,
// which is a scene item. The SIObject implementation calls these first.
bool GetPluginObjectName(const XSI::CRef& ref, XSI::CString& out);
bool PutPluginObjectName(const XSI::CRef& ref, const XSI::CString& name, XSI::CStatus& out);

} // namespace host
