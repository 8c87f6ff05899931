// The plug-in side of registration: the registrar handed to XSILoadPlugin,
// the context handed to a command's init and execute entries, the command
// and its declared arguments. Each handle checks its reference's class id
// before it touches the host object behind it.
#include <xsi_argument.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_pluginregistrar.h>

#include "host/app/HostApp.h"

namespace XSI {

namespace {

host::Plugin* PluginOf(const CRef& ref) {
    return ref.GetClassID() == siPluginRegistrarID ? static_cast<host::Plugin*>(ref.GetHostObject())
                                                   : nullptr;
}

host::PluginCommand* CommandOf(const CRef& ref) {
    return ref.GetClassID() == siCommandID ? static_cast<host::PluginCommand*>(ref.GetHostObject())
                                           : nullptr;
}

host::CommandContext* ContextOf(const CRef& ref) {
    return ref.GetClassID() == siContextID ? static_cast<host::CommandContext*>(ref.GetHostObject())
                                           : nullptr;
}

} // namespace

// ---------------------------------------------------------------- registrar

CStatus PluginRegistrar::PutAuthor(const CString& in_author) {
    host::Plugin* plugin = PluginOf(m_ref);
    if (!plugin) {
        return CStatus::Fail;
    }
    plugin->author = in_author.GetWideString();
    return CStatus::OK;
}

CString PluginRegistrar::GetAuthor() const {
    host::Plugin* plugin = PluginOf(m_ref);
    return plugin ? CString(plugin->author.c_str()) : CString();
}

CStatus PluginRegistrar::PutVersion(LONG in_major, LONG in_minor) {
    host::Plugin* plugin = PluginOf(m_ref);
    if (!plugin) {
        return CStatus::Fail;
    }
    plugin->major = in_major;
    plugin->minor = in_minor;
    return CStatus::OK;
}

void PluginRegistrar::GetVersion(LONG& out_major, LONG& out_minor) const {
    host::Plugin* plugin = PluginOf(m_ref);
    out_major = plugin ? static_cast<LONG>(plugin->major) : 0;
    out_minor = plugin ? static_cast<LONG>(plugin->minor) : 0;
}

PluginItem PluginRegistrar::RegisterCommand(const CString& in_name, const CString& in_scriptName) {
    host::Plugin* plugin = PluginOf(m_ref);
    // Commands are registered while the plug-in loads, under a name that
    // can name its entries.
    if (!plugin || !plugin->loading || in_name.IsEmpty()) {
        return PluginItem();
    }
    for (const auto& cmd : plugin->commands) {
        if (cmd->name == in_name.GetWideString()) {
            return PluginItem();
        }
    }
    auto cmd = std::make_unique<host::PluginCommand>();
    cmd->plugin = plugin;
    cmd->name = in_name.GetWideString();
    cmd->scriptName = in_scriptName.GetWideString();
    host::PluginCommand* item = cmd.get();
    plugin->commands.push_back(std::move(cmd));
    return PluginItem(CRef::FromHost(siPluginItemID, item));
}

// ---------------------------------------------------------------- context

CRef Context::GetSource() const {
    host::CommandContext* context = ContextOf(m_ref);
    return context ? CRef::FromHost(siCommandID, context->command) : CRef();
}

CValue Context::GetAttribute(const CString& in_name) const {
    host::CommandContext* context = ContextOf(m_ref);
    if (context) {
        for (const auto& attribute : context->attributes) {
            if (attribute.first == in_name.GetWideString()) {
                return attribute.second;
            }
        }
    }
    return CValue();
}

CStatus Context::PutAttribute(const CString& in_name, const CValue& in_value) {
    host::CommandContext* context = ContextOf(m_ref);
    if (!context || in_name.IsEmpty()) {
        return CStatus::Fail;
    }
    for (auto& attribute : context->attributes) {
        if (attribute.first == in_name.GetWideString()) {
            attribute.second = in_value;
            return CStatus::OK;
        }
    }
    context->attributes.emplace_back(in_name.GetWideString(), in_value);
    return CStatus::OK;
}

// ---------------------------------------------------------------- command

CStatus Command::EnableReturnValue(bool in_enable) {
    host::PluginCommand* cmd = CommandOf(m_ref);
    if (!cmd) {
        return CStatus::Fail;
    }
    cmd->returnValueEnabled = in_enable;
    return CStatus::OK;
}

bool Command::IsReturnValueEnabled() const {
    host::PluginCommand* cmd = CommandOf(m_ref);
    return cmd && cmd->returnValueEnabled;
}

ArgumentArray Command::GetArguments() const {
    return ArgumentArray(m_ref);
}

CStatus ArgumentArray::Add(const CString& in_name, const CValue& in_default) {
    host::PluginCommand* cmd = CommandOf(m_command);
    if (!cmd) {
        return CStatus::Fail;
    }
    // Arguments are declared while the command is defined (its init entry),
    // each under a name of its own so that callers can pass it by name.
    if (!cmd->defining) {
        return CStatus::AccessDenied;
    }
    if (in_name.IsEmpty()) {
        return CStatus::InvalidArgument;
    }
    for (const Argument& a : cmd->arguments) {
        if (a.GetName() == in_name) {
            return CStatus::InvalidArgument;
        }
    }
    cmd->arguments.emplace_back(in_name, in_default);
    return CStatus::OK;
}

LONG ArgumentArray::GetCount() const {
    host::PluginCommand* cmd = CommandOf(m_command);
    return cmd ? static_cast<LONG>(cmd->arguments.size()) : 0;
}

Argument ArgumentArray::GetItem(LONG in_index) const {
    host::PluginCommand* cmd = CommandOf(m_command);
    if (!cmd || in_index < 0 || in_index >= static_cast<LONG>(cmd->arguments.size())) {
        return Argument();
    }
    return cmd->arguments[in_index];
}

} // namespace XSI
