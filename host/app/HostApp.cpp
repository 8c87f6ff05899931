#include "host/app/HostApp.h"

#include "host/scene/Scene.h"
#include "host/ui/Terminal.h"

#include <xsi_context.h>

#include <algorithm>
#include <dirent.h>
#include <dlfcn.h>

namespace host {

namespace {

std::string Narrow(const XSI::CString& text) {
    return text.GetAsciiString();
}

std::wstring Widen(const std::string& text) {
    XSI::CString s;
    s.PutAsciiString(text.c_str());
    return s.GetWideString();
}

const char* SeverityPrefix(XSI::siSeverityType severity) {
    switch (severity) {
    case XSI::siFatalMsg:
    case XSI::siErrorMsg:
        return "ERROR: ";
    case XSI::siWarningMsg:
        return "WARNING: ";
    default:
        return "INFO: ";
    }
}

} // namespace

// Runs a command or plug-in entry. An exception that escapes it is logged
// and reported as Fail instead of ending the host.
template <typename Call>
static XSI::CStatus Guarded(HostApp& app, const std::wstring& what, Call call) {
    const char* why = "unknown exception";
    try {
        return call();
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
    }
    app.Log(XSI::CString(what.c_str()) + L" failed: " + Widen(why).c_str(), XSI::siErrorMsg);
    return XSI::CStatus::Fail;
}

HostApp::HostApp() = default;

HostApp& HostApp::Get() {
    static HostApp app;
    return app;
}

void HostApp::SetScene(std::unique_ptr<Scene> scene) {
    m_scene = std::move(scene);
}

double HostApp::ResolveTime(double time) const {
    return time >= XSI::kDefaultTime ? m_currentFrame : time;
}

// ---------------------------------------------------------------- log

void HostApp::Log(const XSI::CString& text, XSI::siSeverityType severity) {
    LogEntry entry{severity, Narrow(text)};
    m_log.push_back(entry);
    bool info =
        severity != XSI::siFatalMsg && severity != XSI::siErrorMsg && severity != XSI::siWarningMsg;
    if (!m_echoLog || (info && m_quiet)) {
        return;
    }
    // One message is one line: line breaks inside it become spaces.
    std::string line = SeverityPrefix(severity) + entry.text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    ui::WriteLine(line);
}

// ---------------------------------------------------------------- commands

void HostApp::RegisterHostCommand(const std::wstring& name, HostCommandFn fn) {
    for (HostCommand& c : m_hostCommands) {
        if (c.name == name) {
            c.fn = std::move(fn);
            c.signature = CommandSignature();
            return;
        }
    }
    m_hostCommands.push_back({name, std::move(fn), CommandSignature()});
}

void HostApp::RegisterHostCommand(const std::wstring& name, HostCommandFn fn,
                                  std::vector<std::wstring> argumentNames) {
    RegisterHostCommand(name, std::move(fn));
    for (HostCommand& c : m_hostCommands) {
        if (c.name == name) {
            c.signature.declared = true;
            c.signature.argumentNames = std::move(argumentNames);
        }
    }
}

PluginCommand* HostApp::FindActivePluginCommand(const std::wstring& name) const {
    for (const std::unique_ptr<Plugin>& p : m_plugins) {
        for (const std::unique_ptr<PluginCommand>& c : p->commands) {
            if (c->active && c->name == name) {
                return c.get();
            }
        }
    }
    return nullptr;
}

const PluginCommand* HostApp::FindPluginCommand(const std::wstring& name) const {
    return FindActivePluginCommand(name);
}

bool HostApp::HasCommand(const std::wstring& name) const {
    CommandSignature ignored;
    return GetCommandSignature(name, ignored);
}

bool HostApp::GetCommandSignature(const std::wstring& name, CommandSignature& out) const {
    for (const HostCommand& c : m_hostCommands) {
        if (c.name == name) {
            out = c.signature;
            return true;
        }
    }
    if (const PluginCommand* cmd = FindActivePluginCommand(name)) {
        out.declared = true;
        out.argumentNames.clear();
        out.argumentDefaults.clear();
        for (const XSI::Argument& a : cmd->arguments) {
            out.argumentNames.push_back(a.GetName().GetWideString());
            out.argumentDefaults.push_back(a.GetValue());
        }
        return true;
    }
    return false;
}

XSI::CStatus HostApp::ExecuteCommand(const XSI::CString& name, const XSI::CValueArray& args,
                                     XSI::CValue& ret) {
    m_commandsRun.push_back(Narrow(name));
    std::wstring key = name.GetWideString();
    for (const HostCommand& c : m_hostCommands) {
        if (c.name == key) {
            // Copy: the command may register commands while it runs.
            HostCommandFn fn = c.fn;
            return Guarded(*this, key, [&] { return fn(args, ret); });
        }
    }
    if (PluginCommand* cmd = FindActivePluginCommand(key)) {
        return RunPluginCommand(*cmd, args, ret);
    }
    Log(XSI::CString(L"Unknown command: ") + name, XSI::siErrorMsg);
    return XSI::CStatus::Fail;
}

XSI::CStatus HostApp::RunPluginCommand(const PluginCommand& cmd, const XSI::CValueArray& args,
                                       XSI::CValue& ret) {
    XSI::LONG declared = static_cast<XSI::LONG>(cmd.arguments.size());
    if (args.GetCount() > declared) {
        Log(XSI::CString(L"Too many arguments for command ") + cmd.name.c_str(), XSI::siErrorMsg);
        return XSI::CStatus::InvalidArgument;
    }
    XSI::CValueArray values;
    for (XSI::LONG i = 0; i < declared; ++i) {
        values.Add(i < args.GetCount() ? args[i] : cmd.arguments[i].GetValue());
    }
    CommandContext context;
    context.command = const_cast<PluginCommand*>(&cmd);
    context.attributes.emplace_back(L"Arguments", XSI::CValue(values));
    XSI::CRef ref = XSI::CRef::FromHost(XSI::siContextID, &context);
    XSI::CStatus status = Guarded(*this, cmd.name, [&] { return cmd.execute(ref); });
    if (cmd.returnValueEnabled) {
        for (const auto& attribute : context.attributes) {
            if (attribute.first == L"ReturnValue") {
                ret = attribute.second;
            }
        }
    }
    return status;
}

// ---------------------------------------------------------------- plug-ins

int HostApp::LoadPlugins(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        Log(XSI::CString(L"Cannot read the plug-in folder ") + Widen(folder).c_str(),
            XSI::siWarningMsg);
        return 0;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0 &&
            name != "libsicppsdk.so") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    int loaded = 0;
    for (const std::string& name : names) {
        if (LoadPlugin(folder + "/" + name) == XSI::CStatus::OK) {
            ++loaded;
        }
    }
    return loaded;
}

XSI::CStatus HostApp::LoadPlugin(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        Log(XSI::CString(L"Cannot load ") + Widen(path).c_str() + L": " +
                Widen(why ? why : "unknown error").c_str(),
            XSI::siWarningMsg);
        return XSI::CStatus::Fail;
    }
    for (const std::unique_ptr<Plugin>& p : m_plugins) {
        if (p->handle == handle) {
            dlclose(handle); // already loaded: drop the extra reference
            return XSI::CStatus::OK;
        }
    }
    void* load = dlsym(handle, "XSILoadPlugin");
    if (!load) {
        dlclose(handle); // an ordinary library, not a plug-in
        return XSI::CStatus::InvalidArgument;
    }
    PluginLookupFn lookup = [handle](const std::string& entry) {
        return dlsym(handle, entry.c_str());
    };
    XSI::CStatus status =
        RegisterPlugin(path, reinterpret_cast<PluginLoadFn>(load), lookup, handle);
    if (status != XSI::CStatus::OK) {
        // Nothing of it was kept (RegisterPlugin dropped it).
        dlclose(handle);
    }
    return status;
}

XSI::CStatus HostApp::RegisterPlugin(const std::string& label, PluginLoadFn load,
                                     const PluginLookupFn& lookup, void* handle) {
    auto plugin = std::make_unique<Plugin>();
    plugin->path = label;
    plugin->handle = handle;
    plugin->loading = true;
    Plugin* p = plugin.get();
    m_plugins.push_back(std::move(plugin));

    XSI::PluginRegistrar registrar(XSI::CRef::FromHost(XSI::siPluginRegistrarID, p));
    XSI::CStatus status =
        Guarded(*this, Widen(label) + L": XSILoadPlugin", [&] { return load(registrar); });
    p->loading = false;
    if (status != XSI::CStatus::OK) {
        Log(XSI::CString(L"The plug-in ") + Widen(label).c_str() +
                L" failed to load (XSILoadPlugin did not return OK)",
            XSI::siErrorMsg);
        m_plugins.erase(
            std::find_if(m_plugins.begin(), m_plugins.end(),
                         [p](const std::unique_ptr<Plugin>& q) { return q.get() == p; }));
        return XSI::CStatus::Fail;
    }

    // Define each command: find its entries, have its arguments declared.
    for (std::unique_ptr<PluginCommand>& cmd : p->commands) {
        if (HasCommand(cmd->name)) {
            Log(XSI::CString(L"The command ") + cmd->name.c_str() + L" of " + Widen(label).c_str() +
                    L" is already registered; it is not registered again",
                XSI::siWarningMsg);
            continue;
        }
        std::string base = Narrow(XSI::CString(cmd->name.c_str()));
        void* init = lookup(base + "_Init");
        void* execute = lookup(base + "_Execute");
        if (!execute) {
            Log(XSI::CString(L"The command ") + cmd->name.c_str() + L" of " + Widen(label).c_str() +
                    L" has no entry " + Widen(base).c_str() + L"_Execute; it is not registered",
                XSI::siErrorMsg);
            continue;
        }
        cmd->execute = reinterpret_cast<PluginCommandFn>(execute);
        if (init) {
            CommandContext context;
            context.command = cmd.get();
            XSI::CRef ref = XSI::CRef::FromHost(XSI::siContextID, &context);
            cmd->defining = true;
            XSI::CStatus initStatus = Guarded(*this, cmd->name + L"_Init", [&] {
                return reinterpret_cast<PluginCommandFn>(init)(ref);
            });
            cmd->defining = false;
            if (initStatus != XSI::CStatus::OK) {
                Log(XSI::CString(L"The command ") + cmd->name.c_str() +
                        L" failed to initialise; it is not registered",
                    XSI::siErrorMsg);
                continue;
            }
        }
        cmd->active = true;
    }
    return XSI::CStatus::OK;
}

// ---------------------------------------------------------------- progress

int HostApp::NewProgressBar() {
    m_bars.push_back(std::make_unique<ProgressState>());
    return static_cast<int>(m_bars.size()) - 1;
}

ProgressState* HostApp::GetProgressBar(int id) {
    if (id < 0 || id >= static_cast<int>(m_bars.size())) {
        return nullptr;
    }
    return m_bars[id].get();
}

bool HostApp::IsBarCancelled(int id) const {
    if (id < 0 || id >= static_cast<int>(m_bars.size())) {
        return false;
    }
    const ProgressState& bar = *m_bars[id];
    if (!bar.cancelEnabled) {
        return false;
    }
    return IsCancelRequested() || (m_cancelAfter >= 0 && bar.increments >= m_cancelAfter);
}

void HostApp::ShowProgress(int id) {
    ProgressState* bar = GetProgressBar(id);
    if (bar && m_echoLog && !m_quiet) {
        ui::ShowProgress(id, *bar);
    }
}

bool HostApp::IsCancelRequested() const {
    return m_cancelRequested || ui::IsInterrupted();
}

void HostApp::ResetCancel() {
    m_cancelRequested = false;
    ui::ClearInterrupt();
}

void HostApp::Reset() {
    m_scene.reset();
    m_fps = 30.0;
    m_currentFrame = 0.0;
    m_quiet = false;
    m_selection.clear();
    m_log.clear();
    m_commandsRun.clear();
    m_bars.clear();
    m_cancelAfter = -1;
    ResetCancel();
}

// ---------------------------------------------------------------- names

bool GetPluginObjectName(const XSI::CRef& ref, XSI::CString& out) {
    void* object = ref.GetHostObject();
    switch (ref.GetClassID()) {
    case XSI::siApplicationID:
        out = L"Application";
        return true;
    case XSI::siPluginRegistrarID:
        out = static_cast<Plugin*>(object)->name.c_str();
        return true;
    case XSI::siPluginItemID:
    case XSI::siCommandID:
        out = static_cast<PluginCommand*>(object)->name.c_str();
        return true;
    case XSI::siContextID:
        out = L"Context";
        return true;
    default:
        return false;
    }
}

bool PutPluginObjectName(const XSI::CRef& ref, const XSI::CString& name, XSI::CStatus& out) {
    switch (ref.GetClassID()) {
    case XSI::siPluginRegistrarID:
        static_cast<Plugin*>(ref.GetHostObject())->name = name.GetWideString();
        out = XSI::CStatus::OK;
        return true;
    case XSI::siApplicationID:
    case XSI::siPluginItemID:
    case XSI::siCommandID:
    case XSI::siContextID:
        // The host names these; a command keeps the name it was registered by.
        out = XSI::CStatus::AccessDenied;
        return true;
    default:
        return false;
    }
}

} // namespace host
