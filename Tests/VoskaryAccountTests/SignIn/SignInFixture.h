#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Security/Keychain.h"
#include "Support/BrowserSignInTest.h"
#include "Support/ForwardingKeychain.h"
#include "Support/TaskOutcome.h"
#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"
#include "VoskaryAccountTests/Client/LogRecorder.h"

namespace voskary::testing {

// An account manager on the simulated machine: the fake authority behind discovery and the
// browser, the fake account service behind the client, the simulated keychain and Sign in
// with Apple sheet. Operations run as detached tasks whose outcome the test reads after
// driving the loop, so a test can act while one waits (finish the browser page, sign out).
class SignInFixture : public BrowserSignInTest {
 protected:
  static constexpr const char* kBase = "https://account.voskary.test";
  static constexpr const char* kIssuer = "https://auth.voskary.test";

  using State = VoskaryAccountManager::State;

  template <class T>
  using Outcome = platform::testing::TaskOutcome<T, VoskaryError>;

  SignInFixture() : BrowserSignInTest(platform::URL(kBase), platform::URL(kIssuer)) {}

  void SetUp() override {
    BrowserSignInTest::SetUp();
    manager = makeManager();
  }
  void TearDown() override {
    subscription.reset();
    manager.reset();
    BrowserSignInTest::TearDown();
  }

  VoskaryConfig config(AuthScheme scheme = AuthScheme::systemBrowser,
                       std::optional<std::string> installID = std::string("install-1")) {
    return VoskaryConfig(platform::URL(kIssuer), platform::URL(kBase), "flagrig", "flagrig",
                         "1.4.2", "0.9.2", platform::URL("flagrig://auth/callback"), scheme,
                         std::nullopt, {"voskary.account"}, platform::env().httpSession,
                         log.logger(), std::move(installID));
  }
  std::shared_ptr<VoskaryAccountManager> makeManager(
      AuthScheme scheme = AuthScheme::systemBrowser,
      std::optional<std::string> installID = std::string("install-1")) {
    return VoskaryAccountManager::make(config(scheme, std::move(installID)));
  }

  // Records every state handed to the manager's handlers from now on (the immediate one too).
  void recordStates() {
    subscription = manager->onStateChange([this](const State& state) {
      states.push_back(state);
      storedWhenPublished.push_back(storedBytes());
    });
  }

  template <class T>
  std::shared_ptr<Outcome<T>> start(platform::Task<T> task) {
    return platform::testing::startTask<VoskaryError>(std::move(task));
  }
  template <class T>
  static platform::Task<void> capture(platform::Task<T> task, std::shared_ptr<Outcome<T>> out) {
    return platform::testing::keepOutcome<VoskaryError>(std::move(task), std::move(out));
  }
  // The error the task ends with; a test failure when it succeeds.
  template <class T>
  VoskaryError errorOf(platform::Task<T> task) {
    auto out = start(std::move(task));
    runUntilIdle();
    EXPECT_TRUE(out->done);
    if (!out->error) {
      ADD_FAILURE() << "expected an error";
      return VoskaryError::notSignedIn();
    }
    return *out->error;
  }

  // A whole browser sign-in up to the exchange: started, page finished, redirect resumed.
  std::shared_ptr<Outcome<VoskaryAccount>> browserSignIn() {
    auto out = start(manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
    runUntilIdle();
    auto redirect = finishPage();
    EXPECT_TRUE(redirect);
    if (redirect) {
      EXPECT_TRUE(manager->resume(*redirect));
    }
    runUntilIdle();
    return out;
  }

  std::optional<platform::Bytes> storedBytes() {
    return manager ? manager->storage()->getData(KeychainStorage::Keys::session) : std::nullopt;
  }
  std::optional<StoredSession> stored() {
    return manager->storage()->getJSON<StoredSession>(KeychainStorage::Keys::session);
  }
  // Stores a session of the fake service that expires `expiresIn` seconds from now.
  StoredSession storeSession(double expiresIn, bool withRefreshToken = true) {
    auto session = issueSession(expiresIn, kAccountID, kEmail);
    if (!withRefreshToken) session.refreshToken.reset();
    manager->storage()->setJSON(session, KeychainStorage::Keys::session);
    return session;
  }

  static VoskaryAccount account(const std::string& id = kAccountID,
                                const std::string& email = kEmail) {
    return VoskaryAccount{{id}, email, std::nullopt};
  }

  LogRecorder log;
  std::shared_ptr<VoskaryAccountManager> manager;
  std::unique_ptr<VoskaryAccountManager::StateSubscription> subscription;
  std::vector<State> states;
  std::vector<std::optional<platform::Bytes>> storedWhenPublished;
};

// The simulated keychain whose writes run out of memory: an exception that is no platform
// error, in the middle of a sign-in.
class OutOfMemoryOnWrite final : public platform::testing::ForwardingKeychain {
 public:
  using ForwardingKeychain::ForwardingKeychain;
  platform::OSStatus add(const platform::GenericPasswordQuery&, const platform::Bytes&) override {
    throw std::bad_alloc();
  }
  platform::OSStatus update(const platform::GenericPasswordQuery&,
                            const platform::Bytes&) override {
    throw std::bad_alloc();
  }
};

}  // namespace voskary::testing
