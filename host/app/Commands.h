// The host's command table: the commands the host itself provides and, through
// the plug-in loader, the commands plug-ins registered; and the list of
// commands run.
#pragma once

#include <xsi_status.h>
#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <functional>
#include <string>
#include <vector>

namespace host {

class HostLog;
class PluginLoader;
struct PluginCommand;

// A command that the host itself provides ("SelectObj", "ExportModel").
using HostCommandFn = std::function<XSI::CStatus(const XSI::CValueArray& args, XSI::CValue& ret)>;

// What a caller needs to map command-line values onto a command: its
// declared argument names. A host command registered without names takes
// any number of positional values.
struct CommandSignature {
    bool declared = false;
    std::vector<std::wstring> argumentNames;
    std::vector<XSI::CValue> argumentDefaults; // empty values when shorter
};

class CommandTable {
  public:
    CommandTable(HostLog& log, const PluginLoader& plugins) : m_log(log), m_plugins(plugins) {}

    // ExecuteCommand runs a host command or a plug-in command by name and
    // records the name in the list of commands run. A command that is not
    // known logs an error and returns Fail; a plug-in command given more
    // values than it declares returns InvalidArgument. A plug-in command's
    // arguments are filled by position; the ones left out take their
    // declared defaults.
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

  private:
    struct HostCommand {
        std::wstring name;
        HostCommandFn fn;
        CommandSignature signature;
    };
    XSI::CStatus RunPluginCommand(const PluginCommand& cmd, const XSI::CValueArray& args,
                                  XSI::CValue& ret);

    HostLog& m_log;
    const PluginLoader& m_plugins;
    std::vector<HostCommand> m_hostCommands;
    std::vector<std::string> m_commandsRun;
};

} // namespace host
