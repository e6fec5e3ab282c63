#pragma once

#include <memory>
#include <vector>

#include "Support/Tarnwick/SimWebAuthenticationSession.h"
#include "Tarnwick/WebAuthenticationSessionFactory.h"

namespace tarnwick::testing {

// The simulated platform's web-authentication sheets: makes `SimWebAuthenticationSession`s
// and keeps each one for the test to drive.
class SimWebAuthenticationSheets final : public WebAuthenticationSessionFactory {
 public:
  std::shared_ptr<WebAuthenticationSession> makeSession(
      const platform::URL& url, const std::optional<std::string>& callbackURLScheme,
      WebAuthenticationSession::CompletionHandler completionHandler) override;

  // Sheets made from now on refuse to start.
  void setStartSucceeds(bool succeeds) { startSucceeds_ = succeeds; }
  const std::vector<std::shared_ptr<SimWebAuthenticationSession>>& sheets() const {
    return sheets_;
  }
  // The sheet made last; nullptr before the first.
  std::shared_ptr<SimWebAuthenticationSession> last() const;

 private:
  bool startSucceeds_ = true;
  std::vector<std::shared_ptr<SimWebAuthenticationSession>> sheets_;
};

}  // namespace tarnwick::testing
