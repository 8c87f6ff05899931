// An animatable value of the scene model: a constant, a set of keys, or any
// function of the frame.
//
// Keys are kept sorted by frame. Between two keys the value follows the
// interpolation of the earlier key: Linear blends towards the next key
// (spherical-linear on the short arc for rotations, see Blend in Math.h),
// Step holds the earlier key's value until the next key. Before the first key
// the value is the first key's, after the last key the last key's. A function,
// when set, takes precedence over keys and constant.
//
// Evaluation at a frame is a binary search: O(log keys), no allocation.
#pragma once

#include "host/scene/Math.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace host {

enum class Interp { Linear, Step };

template <class T> struct Key {
    double frame;
    T value;
    Interp interp;
};

template <class T> class Animated {
  public:
    Animated() = default;
    Animated(const T& in_value) : m_constant(in_value) {}

    // Makes the value the constant v (drops keys and function).
    void Set(const T& v) {
        m_constant = v;
        m_keys.clear();
        m_fn = nullptr;
    }
    // Sets a key (replacing a key at the same frame). Drops a function.
    // Throws std::invalid_argument for a frame that is not a finite number.
    void SetKey(double frame, const T& v, Interp interp = Interp::Linear) {
        if (!std::isfinite(frame)) {
            throw std::invalid_argument("key frame is not a finite number");
        }
        m_fn = nullptr;
        auto it = std::lower_bound(m_keys.begin(), m_keys.end(), frame,
                                   [](const Key<T>& k, double f) { return k.frame < f; });
        if (it != m_keys.end() && it->frame == frame) {
            it->value = v;
            it->interp = interp;
        } else {
            m_keys.insert(it, Key<T>{frame, v, interp});
        }
    }
    // Makes the value a function of the frame.
    void SetFunction(std::function<T(double)> fn) {
        m_fn = std::move(fn);
        m_keys.clear();
    }

    bool IsAnimated() const { return HasFunction() || !m_keys.empty(); }
    bool HasFunction() const { return static_cast<bool>(m_fn); }
    const std::vector<Key<T>>& GetKeys() const { return m_keys; }
    const T& GetConstant() const { return m_constant; }

    T Eval(double frame) const {
        if (m_fn) {
            return m_fn(frame);
        }
        if (m_keys.empty()) {
            return m_constant;
        }
        if (!(frame > m_keys.front().frame)) { // also catches NaN
            return m_keys.front().value;
        }
        if (frame >= m_keys.back().frame) {
            return m_keys.back().value;
        }
        // The first key after the frame; the one before it starts the segment.
        auto next = std::upper_bound(m_keys.begin(), m_keys.end(), frame,
                                     [](double f, const Key<T>& k) { return f < k.frame; });
        const Key<T>& k0 = *(next - 1);
        const Key<T>& k1 = *next;
        if (k0.interp == Interp::Step) {
            return k0.value;
        }
        const double u = (frame - k0.frame) / (k1.frame - k0.frame);
        return Blend(k0.value, k1.value, u);
    }

  private:
    T m_constant{};
    std::vector<Key<T>> m_keys;
    std::function<T(double)> m_fn;
};

} // namespace host
