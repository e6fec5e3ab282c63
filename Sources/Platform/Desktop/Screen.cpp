#include "Platform/Desktop/Screen.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

std::vector<std::shared_ptr<Screen>> Screen::screens() {
  if (!hasEnvironment() || !env().desktop) return {};
  return env().desktop->screens();
}

std::uint64_t Screen::changeCount() {
  if (!hasEnvironment() || !env().desktop) return 0;
  return env().desktop->screensChangeCount();
}

std::shared_ptr<Screen> Screen::main() {
  if (!hasEnvironment() || !env().desktop) return nullptr;
  return env().desktop->mainScreen();
}

}  // namespace platform
