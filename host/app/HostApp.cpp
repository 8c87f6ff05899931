#include "host/app/HostApp.h"

#include "host/scene/Scene.h"

namespace host {

HostApp::HostApp() = default;

HostApp& HostApp::Get() {
    static HostApp app;
    return app;
}

void HostApp::SetScene(std::unique_ptr<Scene> scene) {
    m_scene.SetScene(std::move(scene));
}

void HostApp::Reset() {
    m_scene.Reset();
    m_log.SetQuiet(false);
    m_log.ClearLog();
    m_commands.ClearCommandsRun();
    m_bars.Reset();
    m_points.Reset();
}

} // namespace host
