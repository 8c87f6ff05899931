#include "host/scene/Scene.h"

#include <stdexcept>

namespace host {

Scene::~Scene() {
    // Children first, so no item outlives the parent it points to.
    while (!m_items.empty()) {
        m_items.pop_back();
    }
}

void Scene::SetWorkerCount(int threads) {
    m_workerCount = threads < 1 ? 1 : threads;
    m_workers.reset();
}

WorkerPool& Scene::GetWorkers() const {
    if (!m_workers) {
        m_workers = std::make_unique<WorkerPool>(m_workerCount);
    }
    return *m_workers;
}

std::unordered_set<std::wstring>& Scene::SiblingNames(Item* parent) {
    return parent ? parent->m_childNames : m_rootNames;
}

Item* Scene::AddItem(ItemKind kind, const std::wstring& name, Item* parent) {
    if (!IsValidItemName(name)) {
        throw std::invalid_argument("item name is empty or holds a '.'");
    }
    if (parent && parent->GetScene() != this) {
        throw std::invalid_argument("parent item belongs to another scene");
    }
    std::unordered_set<std::wstring>& siblingNames = SiblingNames(parent);
    if (siblingNames.count(name)) {
        throw std::invalid_argument("an item of that name already exists under the parent");
    }
    std::unique_ptr<Item> owned(new Item(this, kind, name, parent));
    Item* item = owned.get();
    m_items.push_back(std::move(owned));
    siblingNames.insert(name);
    if (parent) {
        parent->m_children.push_back(item);
    } else {
        m_roots.push_back(item);
    }

    item->AddParam(L"pposx", Param::Type::Double, 0.0);
    item->AddParam(L"pposy", Param::Type::Double, 0.0);
    item->AddParam(L"pposz", Param::Type::Double, 0.0);
    if (kind == ItemKind::Camera) {
        item->AddParam(L"fov", Param::Type::Double, 53.638);
        item->AddParam(L"fovtype", Param::Type::Int, 1.0);
        item->AddParam(L"aspect", Param::Type::Double, 1.333333);
        item->AddParam(L"pixelratio", Param::Type::Double, 1.0);
        item->AddParam(L"projplaneheight", Param::Type::Double, 0.9);
        item->AddParam(L"projplanedist", Param::Type::Double, 1.2);
    } else if (kind == ItemKind::Light) {
        item->AddParam(L"Type", Param::Type::Int, 1.0);
    }
    return item;
}

Item* Scene::AddLight(const std::wstring& name, Item* parent, bool withShader) {
    Item* light = AddItem(ItemKind::Light, name, parent);
    if (withShader) {
        light->AddShader(L"soft_light");
    }
    return light;
}

Item* Scene::GetItem(int index) const {
    return index >= 0 && index < ItemCount() ? m_items[index].get() : nullptr;
}

Item* Scene::FindItem(const std::wstring& name) const {
    if (name.empty()) {
        return nullptr;
    }
    for (const auto& item : m_items) {
        if (item->GetFullName() == name) {
            return item.get();
        }
    }
    Item* found = nullptr;
    for (const auto& item : m_items) {
        if (item->GetName() == name) {
            if (found) {
                return nullptr; // ambiguous short name
            }
            found = item.get();
        }
    }
    return found;
}

} // namespace host
