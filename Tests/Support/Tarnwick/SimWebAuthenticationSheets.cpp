#include "Support/Tarnwick/SimWebAuthenticationSheets.h"

namespace tarnwick::testing {

std::shared_ptr<WebAuthenticationSession> SimWebAuthenticationSheets::makeSession(
    const platform::URL& url, const std::optional<std::string>& callbackURLScheme,
    WebAuthenticationSession::CompletionHandler completionHandler) {
  auto sheet = std::make_shared<SimWebAuthenticationSession>(
      url, callbackURLScheme, std::move(completionHandler), startSucceeds_);
  sheets_.push_back(sheet);
  return sheet;
}

std::shared_ptr<SimWebAuthenticationSession> SimWebAuthenticationSheets::last() const {
  return sheets_.empty() ? nullptr : sheets_.back();
}

}  // namespace tarnwick::testing
