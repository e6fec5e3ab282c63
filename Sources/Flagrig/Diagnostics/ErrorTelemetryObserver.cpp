#include "Flagrig/Diagnostics/ErrorTelemetryObserver.h"

#include <mutex>
#include <utility>

#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {

namespace {

struct Registration {
  std::mutex mutex;
  std::shared_ptr<ErrorTelemetryObserver> observer;
  bool resetRegistered = false;
};

Registration& registration() {
  static Registration* r = new Registration;  // never destroyed: crash handlers may run at exit
  return *r;
}

}  // namespace

std::shared_ptr<ErrorTelemetryObserver> ErrorTelemetryObserver::shared() {
  auto& r = registration();
  std::lock_guard lock(r.mutex);
  return r.observer;
}

std::shared_ptr<ErrorTelemetryObserver> ErrorTelemetryObserver::tryShared() {
  auto& r = registration();
  std::unique_lock lock(r.mutex, std::try_to_lock);
  if (!lock.owns_lock()) return nullptr;
  return r.observer;
}

void ErrorTelemetryObserver::setShared(std::shared_ptr<ErrorTelemetryObserver> observer) {
  auto& r = registration();
  std::shared_ptr<ErrorTelemetryObserver> previous;
  bool registerReset = false;
  {
    std::lock_guard lock(r.mutex);
    previous = std::exchange(r.observer, std::move(observer));
    registerReset = !std::exchange(r.resetRegistered, true);
  }
  if (registerReset) platform::registerSharedInstanceReset([] { setShared(nullptr); });
}

}  // namespace flagrig
