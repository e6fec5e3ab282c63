#include "Platform/Foundation/SharedInstance.h"

#include <vector>

namespace platform {

namespace {
std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::function<void()>>& registry() {
  static std::vector<std::function<void()>> resets;
  return resets;
}
}  // namespace

void registerSharedInstanceReset(std::function<void()> reset) {
  std::lock_guard lock(registryMutex());
  registry().push_back(std::move(reset));
}

void resetSharedInstances() {
  std::vector<std::function<void()>> resets;
  {
    std::lock_guard lock(registryMutex());
    resets = registry();
  }
  // Newest first: a later instance may hold on to an earlier one.
  for (auto it = resets.rbegin(); it != resets.rend(); ++it) (*it)();
}

}  // namespace platform
