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
// One export run. Returns OK when every switched-on output was made in full;
// 0x80070057 when an argument or an output path is refused (nothing is
// written then) or a cache cannot be created (the caches created before it
// are removed, the mesh files stay complete); 0x80004005 when the run got
// through but an output is incomplete. Each incomplete output is named in one
// "ZK_XSI_Baker - " error message that ends with ": " and its path; a frame
// walk cancelled from the progress bar leaves every cache incomplete and is
// told by "ZK_XSI_Baker - The bake was cancelled: the MDD caches hold K of F
// frames".
XSIPLUGINCALLBACK XSI::CStatus ZK_XSI_Baker_Execute(XSI::CRef& in_ctxt);
