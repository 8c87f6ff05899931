// PluginRegistrar: what the host hands XSILoadPlugin to register a plug-in
// and its commands.
#pragma once

#include "xsi_pluginitem.h"
#include "xsi_siobject.h"

namespace XSI {

class PluginRegistrar : public SIObject {
  public:
    PluginRegistrar() = default;
    explicit PluginRegistrar(const CRef& in_ref) : SIObject(in_ref) {}

    CStatus PutAuthor(const CString& in_author);
    CString GetAuthor() const;
    CStatus PutVersion(LONG in_major, LONG in_minor);
    void GetVersion(LONG& out_major, LONG& out_minor) const;
    // Registers a command; the host then calls <name>_Init to have its
    // arguments declared and <name>_Execute to run it.
    PluginItem RegisterCommand(const CString& in_name, const CString& in_scriptName);
};

} // namespace XSI
