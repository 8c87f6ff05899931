// SceneItem: an item of the scene.
#pragma once

#include "xsi_projectitem.h"

namespace XSI {

class SceneItem : public ProjectItem {
  public:
    SceneItem() = default;
    explicit SceneItem(const CRef& in_ref) : ProjectItem(in_ref) {}
};

} // namespace XSI
