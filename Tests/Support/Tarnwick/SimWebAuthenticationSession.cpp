#include "Support/Tarnwick/SimWebAuthenticationSession.h"

#include <cctype>
#include <utility>

#include "Tarnwick/WebAuthenticationSessionError.h"

namespace tarnwick::testing {

namespace {

std::string lowercased(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

SimWebAuthenticationSession::SimWebAuthenticationSession(
    platform::URL url, std::optional<std::string> callbackURLScheme,
    CompletionHandler completionHandler, bool startSucceeds)
    : url_(std::move(url)),
      callbackURLScheme_(std::move(callbackURLScheme)),
      completionHandler_(std::move(completionHandler)),
      startSucceeds_(startSucceeds) {}

void SimWebAuthenticationSession::setPresentationContextProvider(
    std::weak_ptr<WebAuthenticationPresentationContextProviding> provider) {
  provider_ = std::move(provider);
}

bool SimWebAuthenticationSession::start() {
  if (!startSucceeds_ || started_ || cancelled_) return false;
  auto provider = provider_.lock();
  if (!provider) return false;
  anchor_ = provider->presentationAnchorForWebAuthenticationSession(*this);
  if (!anchor_) return false;
  started_ = true;
  return true;
}

void SimWebAuthenticationSession::cancel() {
  cancelled_ = true;
  ended_ = true;
  completionHandler_ = nullptr;
}

bool SimWebAuthenticationSession::navigate(const platform::URL& url) {
  if (!isShowing() || !url.scheme() || !callbackURLScheme_ ||
      lowercased(*url.scheme()) != lowercased(*callbackURLScheme_)) {
    return false;
  }
  finish(url, nullptr);
  return true;
}

void SimWebAuthenticationSession::closeByUser() {
  if (!isShowing()) return;
  finish(std::nullopt, std::make_shared<WebAuthenticationSessionError>(
                           WebAuthenticationSessionError::Code::canceledLogin));
}

void SimWebAuthenticationSession::finish(const std::optional<platform::URL>& callbackURL,
                                         std::shared_ptr<const platform::Error> error) {
  ended_ = true;
  auto handler = std::exchange(completionHandler_, nullptr);
  if (handler) handler(callbackURL, std::move(error));
}

}  // namespace tarnwick::testing
