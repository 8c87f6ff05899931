#include "host/app/SceneState.h"

#include "host/scene/Scene.h"

#include <xsi_decl.h>

namespace host {

SceneState::SceneState() = default;
SceneState::~SceneState() = default;

void SceneState::SetScene(std::unique_ptr<Scene> scene) {
    m_scene = std::move(scene);
}

double SceneState::ResolveTime(double time) const {
    return time >= XSI::kDefaultTime ? m_currentFrame : time;
}

void SceneState::Reset() {
    m_scene.reset();
    m_fps = 30.0;
    m_currentFrame = 0.0;
    m_selection.clear();
    m_pointsHidden = false;
}

} // namespace host
