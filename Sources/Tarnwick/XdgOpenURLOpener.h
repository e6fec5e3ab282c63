#pragma once

#include <string>

#include "Tarnwick/URLOpener.h"

namespace tarnwick {

// Opens URLs with the desktop's `xdg-open`, which hands them to the user's default browser.
// The program is started and left to run; opening fails only when it cannot be started.
class XdgOpenURLOpener final : public URLOpener {
 public:
  explicit XdgOpenURLOpener(std::string program = "xdg-open") : program_(std::move(program)) {}
  bool openURL(const platform::URL& url) override;

 private:
  std::string program_;
};

}  // namespace tarnwick
