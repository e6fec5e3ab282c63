#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../Diagnostics/DiagnosticLogLines.h"
#include "Flagrig/Account/SignInService.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "Support/FakeAccountService.h"
#include "Support/SimTest.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Support/Tarnwick/FakeBrowser.h"
#include "Support/TaskOutcome.h"
#include "Tarnwick/UserAgentPlatform.h"
#include "TarnwickCore/OIDURLQueryComponent.h"
#include "VoskaryAccount/Client/KeychainStorage.h"
#include "VoskaryAccount/Client/StoredSession.h"

namespace flagrig::testing {

// The app's account side on the simulated machine: the fake authority behind discovery and the
// browser, the fake account service behind the manager, the analytics service recording every
// capture, and the app's services pointed at all of them.
class AccountTest : public platform::testing::SimTest {
 protected:
  static constexpr const char* kBase = "https://account.test";
  static constexpr const char* kIssuer = "https://auth.test";
  static constexpr const char* kCapture = "https://analytics.test/capture/";
  static constexpr const char* kAccountID = "va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b";
  static constexpr const char* kEmail = "someone@voskary.test";
  static constexpr const char* kDeviceId = "dev_0a1b2c3d-0000-4000-8000-00000000000d";

  using State = voskary::VoskaryAccountManager::State;

  struct Event {
    std::string name;
    platform::JSON properties;
  };

  template <class T>
  using Outcome = platform::testing::TaskOutcome<T>;

  void SetUp() override {
    SimTest::SetUp();
    ServiceAddresses::setActiveForTesting(
        {platform::URL(kBase), platform::URL("https://analytics.test"),
         platform::URL("https://web.test"), platform::URL("https://contacts.test"),
         platform::URL(kIssuer)});
    platform::env().defaults->set("flagrig.deviceId", platform::Value(kDeviceId));
    sim().http->respond("POST", kCapture, platform::sim::SimHTTPAnswer::json(200, "{}"));
    sim().http->respond("POST", std::string(kBase) + "/api/app-events",
                        platform::sim::SimHTTPAnswer::json(202, "{}"));
    service = std::make_unique<voskary::testing::FakeAccountService>(
        sim().http, platform::URL(kBase), "flagrig");
    sim().http->respond("GET", authority.discoveryURL().absoluteString(),
                        platform::sim::SimHTTPAnswer::json(200, authority.discoveryJSON()));
    tarnwick::UserAgentPlatform::setURLOpener(browser);
  }
  void TearDown() override {
    SimTest::TearDown();
    service.reset();
  }

  VoskaryAccountBridge& bridge() { return VoskaryAccountBridge::shared(); }
  voskary::VoskaryAccountManager& manager() { return *bridge().manager(); }
  // The shared service, attached to the shared bridge.
  SignInService& attached() {
    auto& subscription = SignInService::shared();
    subscription.attach(VoskaryAccountBridge::sharedPointer());
    runUntilIdle();
    return subscription;
  }

  template <class T>
  std::shared_ptr<Outcome<T>> start(platform::Task<T> task) {
    return platform::testing::startTask(std::move(task));
  }

  // The user finishes on the authority's page and the browser hands the redirect to the
  // manager, as the URL routing does.
  void finishBrowserSignIn(const std::string& accountID = kAccountID,
                           const std::string& email = kEmail) {
    runUntilIdle();
    auto redirect = browser->finishSignIn();
    ASSERT_TRUE(redirect);
    tarnwick::OIDURLQueryComponent query(*redirect);
    if (auto codes = query.valuesForParameter("code"); codes && !codes->empty())
      service->addAuthorizationCode(codes->front(), accountID, email);
    EXPECT_TRUE(manager().resume(*redirect));
    runUntilIdle();
  }

  // Stores a session of the fake service that expires `expiresIn` seconds from now.
  voskary::StoredSession storeSession(double expiresIn = 7 * 24 * 3600.0,
                                      const std::string& accountID = kAccountID,
                                      const std::string& email = kEmail) {
    service->setSessionLifetime(expiresIn);
    auto issued = service->issueSession(accountID, email);
    service->setSessionLifetime(30 * 24 * 3600.0);
    voskary::StoredSession session{issued.vas,       issued.refreshToken,
                                   issued.expiresAt, {{accountID}, email, std::nullopt},
                                   "flagrig",        platform::env().clock->now()};
    keychain().setJSON(session, voskary::KeychainStorage::Keys::session);
    return session;
  }
  // Signed in with a stored session whose token is `token`, valid for `lifetime` seconds.
  void signInWithSessionToken(const std::string& token, const std::string& accountID = kAccountID,
                              const std::string& email = kEmail, double lifetime = 3600) {
    voskary::StoredSession session{token,
                                   std::nullopt,
                                   platform::env().clock->now().addingTimeInterval(lifetime),
                                   {{accountID}, email, std::nullopt},
                                   "flagrig",
                                   platform::env().clock->now()};
    keychain().setJSON(session, voskary::KeychainStorage::Keys::session);
    manager().transition(State::signedIn({{accountID}, email, std::nullopt}));
  }
  static voskary::KeychainStorage& keychain() {
    static voskary::KeychainStorage storage("flagrig");
    return storage;
  }

  // Analytics captures so far, in order ("$identify" included).
  std::vector<Event> events() {
    runUntilIdle();
    std::vector<Event> out;
    for (const auto& recorded : sim().http->requests()) {
      if (recorded.request.url.absoluteString() != kCapture || !recorded.request.httpBody) continue;
      const auto& bytes = *recorded.request.httpBody;
      auto json = platform::JSONSerialization::parse(std::string(bytes.begin(), bytes.end()));
      std::string name = json["event"].get<std::string>();
      if (name.starts_with("flagrig_")) name = name.substr(8);
      out.push_back({name, json["properties"]});
    }
    return out;
  }
  std::vector<std::string> eventNames() {
    std::vector<std::string> names;
    for (const auto& event : events()) names.push_back(event.name);
    return names;
  }
  // Only the keys a test names, of the event's properties.
  static std::map<std::string, std::string> pick(const Event& event,
                                                 const std::vector<std::string>& keys) {
    std::map<std::string, std::string> out;
    for (const auto& key : keys) {
      if (event.properties.contains(key)) out[key] = event.properties[key].get<std::string>();
    }
    return out;
  }

  // The diagnostic log as "level category: message".
  static std::vector<std::string> logLines() { return diagnosticLogLines(); }

  std::vector<platform::HTTPRequest> requestsTo(const std::string& url) {
    std::vector<platform::HTTPRequest> out;
    for (const auto& recorded : sim().http->requests())
      if (recorded.request.url.absoluteString() == url) out.push_back(recorded.request);
    return out;
  }
  static std::string bodyText(const platform::HTTPRequest& request) {
    return request.httpBody ? std::string(request.httpBody->begin(), request.httpBody->end())
                            : std::string();
  }

  tarnwick::testing::FakeAuthority authority{
      tarnwick::testing::FakeAuthority::Configuration{platform::URL(kIssuer),
                                                      "flagrig",
                                                      platform::URL("flagrig://auth/callback"),
                                                      {"voskary.account"}}};
  std::shared_ptr<tarnwick::testing::FakeBrowser> browser =
      std::make_shared<tarnwick::testing::FakeBrowser>(authority);
  std::unique_ptr<voskary::testing::FakeAccountService> service;
};

// Counts the posts of one notification while it lives.
class NotificationCounter {
 public:
  explicit NotificationCounter(std::string_view name) {
    token_ = platform::env().notificationCenter->addObserver(
        std::string(name), nullptr, nullptr, [this](const platform::Notification& n) {
          ++count;
          lastObject = n.object;
        });
  }
  ~NotificationCounter() { platform::env().notificationCenter->removeObserver(token_); }
  int count = 0;
  const void* lastObject = nullptr;

 private:
  platform::NotificationCenter::Token token_;
};

}  // namespace flagrig::testing
