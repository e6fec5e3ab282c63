#pragma once

#include "Platform/Foundation/URL.h"

namespace tarnwick {

// Opens a URL in the user's default handler for it (for web addresses: the default browser).
class URLOpener {
 public:
  virtual ~URLOpener() = default;
  // True when the URL was handed to a handler.
  virtual bool openURL(const platform::URL& url) = 0;
};

}  // namespace tarnwick
