#include "Platform/Desktop/Desktop.h"

namespace platform {

Desktop::Desktop() = default;

// Windows still alive refer to the desktop weakly and stop reporting once it is gone.
Desktop::~Desktop() = default;

Application& Desktop::application() {
  if (!application_) application_ = std::make_unique<Application>(*this);
  return *application_;
}

std::shared_ptr<Screen> Desktop::mainScreen() const {
  auto all = screens();
  if (all.empty()) return nullptr;
  if (application_) {
    if (auto key = application_->keyWindow()) {
      if (auto screen = key->screen()) return screen;
    }
  }
  return all.front();
}

}  // namespace platform
