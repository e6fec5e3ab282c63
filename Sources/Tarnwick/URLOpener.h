#pragma once

#include <functional>

#include "Platform/Foundation/URL.h"

namespace tarnwick {

// Opens a URL in the user's default handler for it (for web addresses: the default browser).
class URLOpener {
 public:
  using Completion = std::function<void(bool opened)>;

  virtual ~URLOpener() = default;
  // True when the URL was handed to a handler.
  virtual bool openURL(const platform::URL& url) = 0;
  // The same for an opener whose handler answers only later (a helper program's exit status):
  // `completion` runs with the answer, inline or later on the main loop. The default answers
  // `openURL` at once.
  virtual void openURLWithCompletion(const platform::URL& url, Completion completion) {
    bool opened = openURL(url);
    if (completion) completion(opened);
  }
};

}  // namespace tarnwick
