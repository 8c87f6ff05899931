// The open scene, the time settings (frame rate, current frame) and the
// selection of the running host.
#pragma once

#include <xsi_ref.h>

#include <memory>
#include <vector>

namespace host {

class Scene;

class SceneState {
  public:
    SceneState();
    ~SceneState();

    void SetScene(std::unique_ptr<Scene> scene);
    Scene* GetScene() const { return m_scene.get(); }
    double GetFrameRate() const { return m_fps; }
    void SetFrameRate(double fps) { m_fps = fps; }
    double GetCurrentFrame() const { return m_currentFrame; }
    void SetCurrentFrame(double frame) { m_currentFrame = frame; }
    // A time argument as a frame: the default time means the current frame.
    double ResolveTime(double time) const;

    const std::vector<XSI::CRef>& GetSelection() const { return m_selection; }
    void SetSelection(std::vector<XSI::CRef> items) { m_selection = std::move(items); }

    // No scene, 30 fps, frame 0, empty selection.
    void Reset();

  private:
    std::unique_ptr<Scene> m_scene;
    double m_fps = 30.0;
    double m_currentFrame = 0.0;
    std::vector<XSI::CRef> m_selection;
};

} // namespace host
