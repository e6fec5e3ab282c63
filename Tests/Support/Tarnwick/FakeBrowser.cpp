#include "Support/Tarnwick/FakeBrowser.h"

namespace tarnwick::testing {

bool FakeBrowser::openURL(const platform::URL& url) {
  if (failsToOpen_) return false;
  opened_.push_back(url);
  return true;
}

std::optional<platform::URL> FakeBrowser::finishSignIn() {
  if (opened_.empty()) return std::nullopt;
  return authority_.redirectFor(opened_.back());
}

}  // namespace tarnwick::testing
