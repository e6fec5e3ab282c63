#include "Tarnwick/XdgOpenURLOpener.h"

namespace tarnwick {

bool XdgOpenURLOpener::openURL(const platform::URL& url) {
  if (url.isEmpty()) return false;
  return xdgOpen_.open(url.absoluteString(), nullptr);
}

void XdgOpenURLOpener::openURLWithCompletion(const platform::URL& url, Completion completion) {
  if (url.isEmpty()) {
    if (completion) completion(false);
    return;
  }
  xdgOpen_.open(url.absoluteString(), std::move(completion));
}

}  // namespace tarnwick
