#include "Platform/Foundation/Environment.h"

#include <atomic>

#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/Error.h"

namespace platform {

namespace {
// Read on every service access, replaced only between tests and at start-up.
std::shared_ptr<Environment> installed;
std::mutex installedMutex;
std::atomic<Environment*> current{nullptr};
}  // namespace

Environment& env() {
  Environment* e = current.load(std::memory_order_acquire);
  if (!e) throw ProgrammingError("no platform environment is installed");
  return *e;
}

bool hasEnvironment() {
  return current.load(std::memory_order_acquire) != nullptr;
}

std::shared_ptr<Environment> installEnvironment(std::shared_ptr<Environment> environment) {
  std::lock_guard lock(installedMutex);
  auto previous = std::move(installed);
  installed = std::move(environment);
  current.store(installed.get(), std::memory_order_release);
  return previous;
}

std::shared_ptr<SerialQueue> Environment::makeSerialQueue(std::string label) const {
  return std::make_shared<SerialQueue>(std::move(label), backgroundPool);
}

}  // namespace platform
