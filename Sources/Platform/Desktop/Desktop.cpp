#include "Platform/Desktop/Desktop.h"

namespace platform {

std::shared_ptr<Screen> Desktop::mainScreen() const {
  auto all = screens();
  return all.empty() ? nullptr : all.front();
}

}  // namespace platform
