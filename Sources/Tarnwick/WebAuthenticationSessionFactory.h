#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/URL.h"
#include "Tarnwick/WebAuthenticationSession.h"

namespace tarnwick {

// Makes the web-authentication sheets of a platform that has them.
class WebAuthenticationSessionFactory {
 public:
  virtual ~WebAuthenticationSessionFactory() = default;
  virtual std::shared_ptr<WebAuthenticationSession> makeSession(
      const platform::URL& url, const std::optional<std::string>& callbackURLScheme,
      WebAuthenticationSession::CompletionHandler completionHandler) = 0;
};

}  // namespace tarnwick
