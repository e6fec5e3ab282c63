#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Flagrig/Account/SignInState.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Support/SimTest.h"

namespace flagrig::testing {

// A sign-in service whose state the test sets.
class FakeSignIn final : public SignInState {
 public:
  Snapshot snapshot() const override {
    std::lock_guard guard(mutex_);
    return state_;
  }
  std::map<std::string, std::string> authorizationHeaders() const override {
    std::lock_guard guard(mutex_);
    return headers_;
  }
  void set(Snapshot state, std::map<std::string, std::string> headers = {}) {
    std::lock_guard guard(mutex_);
    state_ = std::move(state);
    headers_ = std::move(headers);
  }

 private:
  mutable std::mutex mutex_;
  Snapshot state_;
  std::map<std::string, std::string> headers_;
};

// Analytics against the simulated capture and account services.
class AnalyticsTest : public platform::testing::SimTest {
 protected:
  static constexpr const char* captureURL = "https://analytics.test/capture/";
  static constexpr const char* funnelURL = "https://account.test/api/app-events";
  static constexpr const char* deviceId = "dev_0a1b2c3d-0000-4000-8000-00000000000d";
  // The manual clock's start, as the capture writes it.
  static constexpr const char* startTime = "2027-01-15T08:00:00Z";

  void SetUp() override {
    SimTest::SetUp();
    ServiceAddresses::setActiveForTesting(
        {platform::URL("https://account.test"), platform::URL("https://analytics.test"),
         platform::URL("https://web.test"), platform::URL("https://contacts.test")});
    sim().environment->defaults->set("flagrig.deviceId", platform::Value(deviceId));
    sim().http->respond("POST", captureURL, platform::sim::SimHTTPAnswer::json(200, "{}"));
    sim().http->respond("POST", funnelURL, platform::sim::SimHTTPAnswer::json(202, "{}"));
    SignInState::install(signIn);
  }

  std::vector<platform::HTTPRequest> requestsTo(const std::string& url) {
    runUntilIdle();
    std::vector<platform::HTTPRequest> found;
    for (const auto& recorded : sim().http->requests()) {
      if (recorded.request.url.absoluteString() == url) found.push_back(recorded.request);
    }
    return found;
  }
  std::vector<platform::HTTPRequest> captures() { return requestsTo(captureURL); }
  std::vector<platform::HTTPRequest> mirrors() { return requestsTo(funnelURL); }

  static std::string body(const platform::HTTPRequest& request) {
    return request.httpBody ? std::string(request.httpBody->begin(), request.httpBody->end())
                            : std::string();
  }

  void signInAs(std::string accountID, std::map<std::string, std::string> headers = {}) {
    signIn->set({true, std::move(accountID)}, std::move(headers));
  }

  std::shared_ptr<FakeSignIn> signIn = std::make_shared<FakeSignIn>();
};

}  // namespace flagrig::testing
