// PluginItem: one item (a command) that a plug-in registered.
#pragma once

#include "xsi_siobject.h"

namespace XSI {

class PluginItem : public SIObject {
  public:
    PluginItem() = default;
    explicit PluginItem(const CRef& in_ref) : SIObject(in_ref) {}
};

} // namespace XSI
