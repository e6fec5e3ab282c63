#pragma once

#include <concepts>
#include <functional>
#include <utility>

namespace platform::forms {

// A value a control reads and writes: a view-state cell, a stored preference, a model field.
// Copies share what they read and write.
template <class T>
class Binding {
 public:
  Binding(std::function<T()> get, std::function<void(const T&)> set)
      : get_(std::move(get)), set_(std::move(set)) {}
  // Reads `value` and ignores writes.
  static Binding constant(T value) {
    return Binding([value] { return value; }, nullptr);
  }

  T get() const { return get_ ? get_() : T{}; }
  void set(const T& value) const {
    if (set_) set_(value);
  }

  // The opposite of a bool: a switch that shows "on" while the stored flag is off.
  Binding inverted() const requires std::same_as<T, bool> {
    return Binding([get = get_] { return !(get && get()); },
                   [set = set_](const bool& value) {
                     if (set) set(!value);
                   });
  }

 private:
  std::function<T()> get_;
  std::function<void(const T&)> set_;
};

}  // namespace platform::forms
