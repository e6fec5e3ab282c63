#pragma once

#include <memory>

namespace platform {
class Window;
}

namespace tarnwick::testing {

// A window handle for the user agent, which only hands it on to the sheet as its anchor and
// never touches it. Each call gives a distinct handle.
inline std::shared_ptr<platform::Window> fakeWindow() {
  auto owner = std::make_shared<int>(0);
  return std::shared_ptr<platform::Window>(owner, reinterpret_cast<platform::Window*>(owner.get()));
}

}  // namespace tarnwick::testing
