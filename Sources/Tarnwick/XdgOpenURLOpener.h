#pragma once

#include <string>

#include "Platform/Foundation/XdgOpen.h"
#include "Tarnwick/URLOpener.h"

namespace tarnwick {

// Opens URLs with the desktop's `xdg-open`, which hands them to the user's default browser.
// Its exit status is the answer: `openURL` can only say whether it started, so callers that
// must know whether a browser took the address use `openURLWithCompletion`.
class XdgOpenURLOpener final : public URLOpener {
 public:
  explicit XdgOpenURLOpener(std::string program = "xdg-open") : xdgOpen_(std::move(program)) {}
  bool openURL(const platform::URL& url) override;
  void openURLWithCompletion(const platform::URL& url, Completion completion) override;

 private:
  platform::XdgOpen xdgOpen_;
};

}  // namespace tarnwick
