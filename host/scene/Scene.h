// The in-memory scene of the stand-in host: items in creation order (a
// parent always before its children) and the scene's frame range.
//
// Building a scene (tests, the demo scene, the importer):
//
//   host::Scene scene;
//   host::Item* rig = scene.AddNull(L"Rig");
//   host::Item* box = scene.AddMesh(L"Box", rig);          // "Rig.Box"
//   box->GetMesh()->SetPoints({...});
//   box->GetMesh()->AddPolygon({0, 1, 2, 3});
//   box->Translation().SetKey(1, {0, 0, 0});
//   box->Translation().SetKey(10, {5, 0, 0});
//   box->Rotation().SetFunction([](double f) { return host::QuatFromXYZAngles(0, f, 0); });
//   host::Item* cam = scene.AddCamera(L"Cam");
//   cam->GetParam(L"fov")->Value().SetKey(1, 60.0);
//
// Parameters that AddItem gives each kind, with their defaults:
//   every item:  "pposx", "pposy", "pposz" (double, 0)
//   camera:      "fov" 53.638 (degrees), "fovtype" 1 (int: 0 vertical,
//                1 horizontal), "aspect" 1.333333, "pixelratio" 1.0,
//                "projplaneheight" 0.9, "projplanedist" 1.2 (doubles)
//   light:       "Type" 1 (int: 0 infinite, 1 point, 2 spot), and, unless
//                made without one, a shader "soft_light" with "color"
//                (1, 1, 1, 1) and "intensity" 1.0
#pragma once

#include "host/scene/Item.h"
#include "host/scene/Workers.h"

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace host {

class Scene {
  public:
    Scene() = default;
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Adds an item under `parent` (nullptr: top level; it must be an item of
    // this scene). Throws std::invalid_argument for an invalid name, a name
    // that a sibling already has, or a foreign parent.
    Item* AddItem(ItemKind kind, const std::wstring& name, Item* parent = nullptr);
    Item* AddMesh(const std::wstring& name, Item* parent = nullptr) {
        return AddItem(ItemKind::Mesh, name, parent);
    }
    Item* AddCamera(const std::wstring& name, Item* parent = nullptr) {
        return AddItem(ItemKind::Camera, name, parent);
    }
    Item* AddLight(const std::wstring& name, Item* parent = nullptr, bool withShader = true);
    Item* AddNull(const std::wstring& name, Item* parent = nullptr) {
        return AddItem(ItemKind::Null, name, parent);
    }

    int ItemCount() const { return static_cast<int>(m_items.size()); }
    // The item at an index (creation order), nullptr out of range.
    Item* GetItem(int index) const;
    // The item whose full name is `name`; else the only item whose short name
    // is `name`; else nullptr (also when several items share that short name).
    Item* FindItem(const std::wstring& name) const;
    // The top-level items, in creation order.
    const std::vector<Item*>& GetRoots() const { return m_roots; }

    // The scene's frame range (default 1 to 100).
    double GetStartFrame() const { return m_start; }
    double GetEndFrame() const { return m_end; }
    void SetFrameRange(double start, double end) {
        m_start = start;
        m_end = end;
    }

    // The threads that evaluate the scene's deformed meshes, the caller
    // included: DefaultWorkerCount() until set (at least 1). The points do
    // not depend on it.
    void SetWorkerCount(int threads);
    int GetWorkerCount() const { return m_workerCount; }
    WorkerPool& GetWorkers() const;

  private:
    friend class Item;
    // The names of the children of `parent` (nullptr: of the top-level items).
    std::unordered_set<std::wstring>& SiblingNames(Item* parent);

    std::vector<std::unique_ptr<Item>> m_items;
    std::vector<Item*> m_roots;
    std::unordered_set<std::wstring> m_rootNames;
    double m_start = 1.0;
    double m_end = 100.0;
    int m_workerCount = DefaultWorkerCount();
    mutable std::unique_ptr<WorkerPool> m_workers; // made on first use
};

} // namespace host
