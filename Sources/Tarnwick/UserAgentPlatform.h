#pragma once

#include <memory>

#include "Tarnwick/URLOpener.h"
#include "Tarnwick/WebAuthenticationSessionFactory.h"

namespace tarnwick {

// Where the user agents find the platform's browser and web-authentication sheets. Both are
// process-wide and replaceable; a reset of the process-wide instances clears what was set.
struct UserAgentPlatform {
  // The opener that was set; otherwise `xdg-open` in a real environment, and none in a
  // simulated one, which never starts programs.
  static std::shared_ptr<URLOpener> urlOpener();
  static void setURLOpener(std::shared_ptr<URLOpener> opener);

  // Linux has no web-authentication sheet: none unless one was set.
  static std::shared_ptr<WebAuthenticationSessionFactory> webAuthenticationSessionFactory();
  static void setWebAuthenticationSessionFactory(
      std::shared_ptr<WebAuthenticationSessionFactory> factory);
};

}  // namespace tarnwick
