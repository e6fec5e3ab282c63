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
#include "Platform/Sim/SimHTTPServer.h"
#include "Support/FakeAccountService.h"
#include "Support/ForwardingKeychain.h"
#include "Support/SimTest.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Support/Tarnwick/FakeBrowser.h"
#include "Support/TaskOutcome.h"
#include "Tarnwick/UserAgentPlatform.h"
#include "TarnwickCore/OIDURLQueryComponent.h"
#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"
#include "VoskaryAccountTests/Client/LogRecorder.h"

namespace voskary::testing {

// An account manager on the simulated machine: the fake authority behind discovery and the
// browser, the fake account service behind the client, the simulated keychain and Sign in
// with Apple sheet. Operations run as detached tasks whose outcome the test reads after
// driving the loop, so a test can act while one waits (finish the browser page, sign out).
class SignInFixture : public platform::testing::SimTest {
 protected:
  static constexpr const char* kBase = "https://account.voskary.test";
  static constexpr const char* kIssuer = "https://auth.voskary.test";
  static constexpr const char* kAccountID = "va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b";
  static constexpr const char* kEmail = "someone@voskary.test";

  using State = VoskaryAccountManager::State;

  template <class T>
  using Outcome = platform::testing::TaskOutcome<T, VoskaryError>;

  void SetUp() override {
    SimTest::SetUp();
    service = std::make_unique<FakeAccountService>(sim().http, platform::URL(kBase), "flagrig");
    sim().http->respond("GET", authority.discoveryURL().absoluteString(),
                        platform::sim::SimHTTPAnswer::json(200, authority.discoveryJSON()));
    tarnwick::UserAgentPlatform::setURLOpener(browser);
    manager = makeManager();
  }
  void TearDown() override {
    subscription.reset();
    manager.reset();
    SimTest::TearDown();
    service.reset();
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

  // The user finishes on the authority's page; the service learns the code it then redeems.
  // Returns the redirect the browser hands back (not yet passed to the app).
  std::optional<platform::URL> finishPage(const std::string& accountID = kAccountID,
                                          const std::string& email = kEmail) {
    auto redirect = browser->finishSignIn();
    if (!redirect) return std::nullopt;
    tarnwick::OIDURLQueryComponent query(*redirect);
    if (auto codes = query.valuesForParameter("code"); codes && !codes->empty())
      service->addAuthorizationCode(codes->front(), accountID, email);
    return redirect;
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
    service->setSessionLifetime(expiresIn);
    auto issued = service->issueSession(kAccountID, kEmail);
    service->setSessionLifetime(30 * 24 * 3600.0);
    StoredSession session{
        issued.vas,       withRefreshToken ? std::optional(issued.refreshToken) : std::nullopt,
        issued.expiresAt, {{kAccountID}, kEmail, std::nullopt},
        "flagrig",        platform::env().clock->now()};
    manager->storage()->setJSON(session, KeychainStorage::Keys::session);
    return session;
  }

  std::vector<platform::HTTPRequest> requestsTo(const std::string& path) {
    std::vector<platform::HTTPRequest> out;
    for (auto& recorded : sim().http->requests())
      if (recorded.request.url.path() == path) out.push_back(recorded.request);
    return out;
  }
  static std::string bodyText(const platform::HTTPRequest& request) {
    return request.httpBody ? std::string(request.httpBody->begin(), request.httpBody->end())
                            : std::string();
  }

  static VoskaryAccount account(const std::string& id = kAccountID,
                                const std::string& email = kEmail) {
    return VoskaryAccount{{id}, email, std::nullopt};
  }

  LogRecorder log;
  tarnwick::testing::FakeAuthority authority{
      tarnwick::testing::FakeAuthority::Configuration{platform::URL(kIssuer),
                                                      "flagrig",
                                                      platform::URL("flagrig://auth/callback"),
                                                      {"voskary.account"}}};
  std::shared_ptr<tarnwick::testing::FakeBrowser> browser =
      std::make_shared<tarnwick::testing::FakeBrowser>(authority);
  std::unique_ptr<FakeAccountService> service;
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
