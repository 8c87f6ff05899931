// The plug-in's entries, found by the host by name.
#pragma once

#include <xsi_pluginexport.h>
#include <xsi_pluginregistrar.h>
#include <xsi_ref.h>
#include <xsi_status.h>

// Registers the plug-in and its command ZK_XSI_Baker.
XSIPLUGINCALLBACK XSI::CStatus XSILoadPlugin(XSI::PluginRegistrar& in_reg);
// Declares the command's 28 arguments.
XSIPLUGINCALLBACK XSI::CStatus ZK_XSI_Baker_Init(XSI::CRef& in_ctxt);
// One export run.
XSIPLUGINCALLBACK XSI::CStatus ZK_XSI_Baker_Execute(XSI::CRef& in_ctxt);
