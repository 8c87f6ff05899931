#include "host/scene/Param.h"

#include <cmath>
#include <stdexcept>
#include <unordered_map>

namespace host {

namespace {
// Never destroyed: scenes held by static owners (the host application) are
// destroyed at exit after any function-local static made later would be.
std::unordered_map<const void*, ObjectType>& Registry() {
    static auto* registry = new std::unordered_map<const void*, ObjectType>();
    return *registry;
}
} // namespace

void RegisterLive(const void* object, ObjectType type) {
    Registry()[object] = type;
}

void UnregisterLive(const void* object) {
    Registry().erase(object);
}

bool IsLive(const void* object, ObjectType type) {
    if (object == nullptr) {
        return false;
    }
    const auto& reg = Registry();
    auto it = reg.find(object);
    return it != reg.end() && it->second == type;
}

Param::Param(ParamSet* owner, std::wstring name, Type type)
    : m_owner(owner), m_name(std::move(name)), m_type(type) {
    RegisterLive(this, ObjectType::Param);
}

Param::~Param() {
    UnregisterLive(this);
}

std::wstring Param::GetFullName() const {
    return m_owner ? m_owner->GetFullName() + L"." + m_name : m_name;
}

double Param::EvalNumber(double frame) const {
    switch (m_type) {
    case Type::Double:
        return m_value.Eval(frame);
    case Type::Int: {
        const double v = std::round(m_value.Eval(frame));
        // Clamp to the range of a 32-bit integer so the conversion to an SDK
        // integer value is always defined.
        if (!(v > -2147483648.0)) {
            return v != v ? 0.0 : -2147483648.0;
        }
        return v > 2147483647.0 ? 2147483647.0 : v;
    }
    case Type::Bool:
        return m_value.Eval(frame) != 0.0 ? 1.0 : 0.0;
    case Type::Color:
        break;
    }
    return 0.0;
}

Color Param::EvalColor(double frame) const {
    return m_type == Type::Color ? m_color.Eval(frame) : Color{};
}

Param* ParamSet::AddParam(const std::wstring& name, Param::Type type, double value) {
    if (name.empty() || GetParam(name) != nullptr) {
        throw std::invalid_argument("parameter name empty or already used");
    }
    m_params.push_back(std::make_unique<Param>(this, name, type));
    Param* p = m_params.back().get();
    p->Value().Set(value);
    return p;
}

Param* ParamSet::AddColorParam(const std::wstring& name, const Color& value) {
    Param* p = AddParam(name, Param::Type::Color, 0.0);
    p->ColorValue().Set(value);
    return p;
}

Param* ParamSet::GetParam(const std::wstring& name) const {
    for (const auto& p : m_params) {
        if (p->GetName() == name) {
            return p.get();
        }
    }
    return nullptr;
}

Param* ParamSet::SetParamValue(const std::wstring& name, double value) {
    Param* p = GetParam(name);
    if (p == nullptr) {
        return AddParam(name, Param::Type::Double, value);
    }
    if (p->GetType() == Param::Type::Color) {
        return nullptr;
    }
    p->Value().Set(value);
    return p;
}

} // namespace host
