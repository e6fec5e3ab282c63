#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <string>
#include <typeindex>
#include <utility>

#include "Platform/Forms/Binding.h"

namespace platform::forms {

namespace detail {

struct CellSlotBase {
  CellSlotBase(std::type_index type, const char* typeName) : type(type), typeName(typeName) {}
  virtual ~CellSlotBase() = default;
  std::type_index type;
  const char* typeName;
  // Schedules a render of the host that owns the slot; harmless once the host is gone.
  std::function<void()> changed;
};

template <class T>
struct CellSlot final : CellSlotBase {
  explicit CellSlot(T initial)
      : CellSlotBase(typeid(T), typeid(T).name()), value(std::move(initial)) {}
  T value;
};

}  // namespace detail

// A typed piece of view state kept by a form host across renders and window closes. Copies are
// handles to the same value; one may outlive its host (a write then redraws nothing).
template <class T>
class Cell {
 public:
  const T& get() const { return slot_->value; }
  const T& operator*() const { return slot_->value; }
  const T* operator->() const { return &slot_->value; }

  // Stores `value` and schedules one render of the host when it differs from the old one.
  void set(T value) const {
    if constexpr (std::equality_comparable<T>) {
      if (slot_->value == value) return;
    }
    slot_->value = std::move(value);
    if (slot_->changed) slot_->changed();
  }

  Binding<T> binding() const {
    return Binding<T>([slot = slot_] { return slot->value; },
                      [cell = *this](const T& value) { cell.set(value); });
  }
  operator Binding<T>() const { return binding(); }

  const std::string& name() const { return name_; }

 private:
  friend class FormHost;
  Cell(std::shared_ptr<detail::CellSlot<T>> slot, std::string name)
      : slot_(std::move(slot)), name_(std::move(name)) {}

  std::shared_ptr<detail::CellSlot<T>> slot_;
  std::string name_;
};

}  // namespace platform::forms
