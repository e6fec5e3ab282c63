#pragma once

#include <optional>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Tarnwick/URLOpener.h"

namespace tarnwick::testing {

// The user's default browser, showing the fake authority's sign-in page. It records what it was
// asked to open; `finishSignIn` plays the user finishing on the page and gives the redirect the
// browser then hands to the app, as the system does through the app's URL scheme.
class FakeBrowser final : public URLOpener {
 public:
  explicit FakeBrowser(FakeAuthority& authority) : authority_(authority) {}

  bool openURL(const platform::URL& url) override;

  // The next `openURL` fails, as when no browser is installed.
  void setFailsToOpen(bool fails) { failsToOpen_ = fails; }
  const std::vector<platform::URL>& openedURLs() const { return opened_; }

  // The authority's redirect for the page opened last; nothing when nothing was opened or the
  // page shows an error of its own.
  std::optional<platform::URL> finishSignIn();

 private:
  FakeAuthority& authority_;
  bool failsToOpen_ = false;
  std::vector<platform::URL> opened_;
};

}  // namespace tarnwick::testing
