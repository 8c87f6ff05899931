// How a plug-in marks the entries that the host finds by name.
#pragma once

#define XSIPLUGINCALLBACK extern "C" __attribute__((visibility("default")))
