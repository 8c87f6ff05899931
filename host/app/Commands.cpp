#include "host/app/Commands.h"

#include "host/app/HostLog.h"
#include "host/app/Plugins.h"

#include <xsi_context.h>

namespace host {

void CommandTable::RegisterHostCommand(const std::wstring& name, HostCommandFn fn) {
    for (HostCommand& c : m_hostCommands) {
        if (c.name == name) {
            c.fn = std::move(fn);
            c.signature = CommandSignature();
            return;
        }
    }
    m_hostCommands.push_back({name, std::move(fn), CommandSignature()});
}

void CommandTable::RegisterHostCommand(const std::wstring& name, HostCommandFn fn,
                                       std::vector<std::wstring> argumentNames) {
    RegisterHostCommand(name, std::move(fn));
    for (HostCommand& c : m_hostCommands) {
        if (c.name == name) {
            c.signature.declared = true;
            c.signature.argumentNames = std::move(argumentNames);
        }
    }
}

bool CommandTable::HasCommand(const std::wstring& name) const {
    CommandSignature ignored;
    return GetCommandSignature(name, ignored);
}

bool CommandTable::GetCommandSignature(const std::wstring& name, CommandSignature& out) const {
    for (const HostCommand& c : m_hostCommands) {
        if (c.name == name) {
            out = c.signature;
            return true;
        }
    }
    if (const PluginCommand* cmd = m_plugins.FindActiveCommand(name)) {
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

XSI::CStatus CommandTable::ExecuteCommand(const XSI::CString& name, const XSI::CValueArray& args,
                                          XSI::CValue& ret) {
    m_commandsRun.push_back(name.GetAsciiString());
    std::wstring key = name.GetWideString();
    for (const HostCommand& c : m_hostCommands) {
        if (c.name == key) {
            // Copy: the command may register commands while it runs.
            HostCommandFn fn = c.fn;
            return m_log.Guarded(key, [&] { return fn(args, ret); });
        }
    }
    if (PluginCommand* cmd = m_plugins.FindActiveCommand(key)) {
        return RunPluginCommand(*cmd, args, ret);
    }
    m_log.Log(XSI::CString(L"Unknown command: ") + name, XSI::siErrorMsg);
    return XSI::CStatus::Fail;
}

XSI::CStatus CommandTable::RunPluginCommand(const PluginCommand& cmd, const XSI::CValueArray& args,
                                            XSI::CValue& ret) {
    XSI::LONG declared = static_cast<XSI::LONG>(cmd.arguments.size());
    if (args.GetCount() > declared) {
        m_log.Log(XSI::CString(L"Too many arguments for command ") + cmd.name.c_str(),
                  XSI::siErrorMsg);
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
    XSI::CStatus status = m_log.Guarded(cmd.name, [&] { return cmd.execute(ref); });
    if (cmd.returnValueEnabled) {
        for (const auto& attribute : context.attributes) {
            if (attribute.first == L"ReturnValue") {
                ret = attribute.second;
            }
        }
    }
    return status;
}

} // namespace host
