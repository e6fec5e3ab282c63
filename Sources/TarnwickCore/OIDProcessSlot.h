#pragma once

#include <memory>
#include <mutex>

#include "Platform/Foundation/SharedInstance.h"

namespace tarnwick {

// A process-wide replaceable value, such as the client's HTTP session or log sink. It goes
// back to empty when the process-wide instances are reset, so tests never see another test's.
//
//   static OIDProcessSlot<std::shared_ptr<Thing>> slot;
template <class T>
class OIDProcessSlot {
 public:
  T get() {
    auto s = instance_.pointer();
    std::lock_guard lock(s->mutex);
    return s->value;
  }
  void set(T value) {
    auto s = instance_.pointer();
    std::lock_guard lock(s->mutex);
    s->value = std::move(value);
  }

 private:
  struct State {
    std::mutex mutex;
    T value{};
  };
  platform::SharedInstance<State> instance_;
};

}  // namespace tarnwick
