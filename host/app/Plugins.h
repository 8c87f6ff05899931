// The plug-ins the host has loaded, and the commands they registered.
#pragma once

#include <xsi_argument.h>
#include <xsi_pluginregistrar.h>
#include <xsi_ref.h>
#include <xsi_status.h>
#include <xsi_value.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace host {

class CommandTable;
class HostLog;

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

// Whether the file is a shared library (ELF) whose dynamic symbols define
// the function XSILoadPlugin, read from the file without loading it. False,
// with the reason in *why, for any other file.
bool ExportsPluginEntry(const std::string& path, std::string* why);

class PluginLoader {
  public:
    // A plug-in's command whose name the command table already knows is not
    // registered again.
    PluginLoader(HostLog& log, const CommandTable& commands) : m_log(log), m_commands(commands) {}

    // LoadPlugins loads every library in a folder (in name order) that
    // exports XSILoadPlugin and returns how many were loaded; problems are
    // logged. LoadPlugin loads one library (InvalidArgument when it exports
    // no XSILoadPlugin, Fail when it cannot be loaded or its load entry
    // fails). A library's exports are read from its file (ExportsPluginEntry)
    // before it is loaded: loading runs a library's code (its constructors),
    // so a library that is no plug-in is never loaded. RegisterPlugin runs a load entry and finds
    // the commands' entries through lookup ("<command>_Init", "<command>_Execute"). Plug-ins stay
    // loaded for the life of the process.
    int LoadPlugins(const std::string& folder);
    XSI::CStatus LoadPlugin(const std::string& path);
    XSI::CStatus RegisterPlugin(const std::string& label, PluginLoadFn load,
                                const PluginLookupFn& lookup, void* handle = nullptr);
    const std::vector<std::unique_ptr<Plugin>>& GetPlugins() const { return m_plugins; }
    // The initialised command of that name, or nullptr.
    PluginCommand* FindActiveCommand(const std::wstring& name) const;

  private:
    HostLog& m_log;
    const CommandTable& m_commands;
    std::vector<std::unique_ptr<Plugin>> m_plugins;
};

// SIObject's name for the host objects of the plug-in layer (application,
// registrar, plug-in item, command, context): false for any other reference,
// which is a scene item. The SIObject implementation calls these first.
bool GetPluginObjectName(const XSI::CRef& ref, XSI::CString& out);
bool PutPluginObjectName(const XSI::CRef& ref, const XSI::CString& name, XSI::CStatus& out);

} // namespace host
