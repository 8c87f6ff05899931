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

    // While on, the SDK shows every mesh without points or polygons (a point
    // count of 0, empty position arrays and polygon lists); the scene itself
    // is unchanged. For a run whose geometry goes nowhere (point caches and
    // mesh files written into file sinks, see FileSinks.h) and whose other
    // outputs do not depend on it, so that no mesh is evaluated.
    void HidePoints(bool hide) { m_pointsHidden = hide; }
    bool PointsHidden() const { return m_pointsHidden; }

    // No scene, 30 fps, frame 0, empty selection, points shown.
    void Reset();

  private:
    std::unique_ptr<Scene> m_scene;
    double m_fps = 30.0;
    double m_currentFrame = 0.0;
    std::vector<XSI::CRef> m_selection;
    bool m_pointsHidden = false;
};

} // namespace host
