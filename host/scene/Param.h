// Named, animatable parameters of scene objects, and the registry of live
// scene objects that lets the SDK refuse a reference to an object that no
// longer exists.
#pragma once

#include "host/scene/Animated.h"

#include <memory>
#include <string>
#include <vector>

namespace host {

// What a scene object behind a reference is. A reference holds a pointer to
// exactly one of these types, told apart by the reference's class id.
enum class ObjectType { Item, Param, Shader, KinematicState };

// Live-object registry: every scene object registers itself while it exists.
void RegisterLive(const void* object, ObjectType type);
void UnregisterLive(const void* object);
bool IsLive(const void* object, ObjectType type);

class ParamSet;

// A parameter: a number (double, int or bool) or an RGBA colour, constant,
// keyed or a function of the frame. Int and bool parameters hold their value
// as a double and read it rounded (bool: non-zero is true).
class Param {
  public:
    enum class Type { Double, Int, Bool, Color };

    Param(ParamSet* owner, std::wstring name, Type type);
    ~Param();
    Param(const Param&) = delete;
    Param& operator=(const Param&) = delete;

    const std::wstring& GetName() const { return m_name; }
    Type GetType() const { return m_type; }
    ParamSet* GetOwner() const { return m_owner; }
    // The owner's full name, '.', the parameter's name.
    std::wstring GetFullName() const;

    // The numeric value (Double, Int, Bool).
    Animated<double>& Value() { return m_value; }
    const Animated<double>& Value() const { return m_value; }
    // The colour value (Color).
    Animated<Color>& ColorValue() { return m_color; }
    const Animated<Color>& ColorValue() const { return m_color; }

    // The number at a frame: rounded for Int, 0 or 1 for Bool, 0 for Color.
    double EvalNumber(double frame) const;
    Color EvalColor(double frame) const;

  private:
    ParamSet* m_owner;
    std::wstring m_name;
    Type m_type;
    Animated<double> m_value;
    Animated<Color> m_color;
};

// An object that holds parameters (scene items and light shaders).
class ParamSet {
  public:
    ParamSet() = default;
    virtual ~ParamSet() = default;
    ParamSet(const ParamSet&) = delete;
    ParamSet& operator=(const ParamSet&) = delete;

    virtual std::wstring GetFullName() const = 0;

    // Adds a parameter with a constant value; throws std::invalid_argument
    // when the name is empty or already used.
    Param* AddParam(const std::wstring& name, Param::Type type, double value);
    Param* AddColorParam(const std::wstring& name, const Color& value);
    // The named parameter (exact name), or nullptr.
    Param* GetParam(const std::wstring& name) const;
    // Sets a number parameter to a constant, adding it as a Double when the
    // object has no parameter of that name. Returns nullptr for a colour
    // parameter (left unchanged).
    Param* SetParamValue(const std::wstring& name, double value);
    const std::vector<std::unique_ptr<Param>>& GetParams() const { return m_params; }

  private:
    std::vector<std::unique_ptr<Param>> m_params;
};

} // namespace host
