#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../Shell/TestServices.h"
#include "Flagrig/Account/SignInState.h"
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
  static constexpr const char* captureURL = TestServices::capture;
  static constexpr const char* funnelURL = TestServices::funnel;
  static constexpr const char* deviceId = TestServices::deviceId;
  // The manual clock's start, as the capture writes it.
  static constexpr const char* startTime = "2027-01-15T08:00:00Z";

  void SetUp() override {
    SimTest::SetUp();
    TestServices::install(sim());
    SignInState::install(signIn);
  }

  // The captures and their mirrors sent once the main loop has run.
  std::vector<platform::HTTPRequest> captures() {
    runUntilIdle();
    return requestsToURL(captureURL);
  }
  std::vector<platform::HTTPRequest> mirrors() {
    runUntilIdle();
    return requestsToURL(funnelURL);
  }

  void signInAs(std::string accountID, std::map<std::string, std::string> headers = {}) {
    signIn->set({true, std::move(accountID)}, std::move(headers));
  }

  std::shared_ptr<FakeSignIn> signIn = std::make_shared<FakeSignIn>();
};

}  // namespace flagrig::testing
