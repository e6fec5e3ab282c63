#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../Diagnostics/DiagnosticLogLines.h"
#include "../Shell/TestServices.h"
#include "Flagrig/Account/SignInService.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Support/BrowserSignInTest.h"
#include "Support/TaskOutcome.h"
#include "VoskaryAccount/Client/KeychainStorage.h"
#include "VoskaryAccount/Client/StoredSession.h"

namespace flagrig::testing {

// The app's account side on the simulated machine: the fake authority behind discovery and the
// browser, the fake account service behind the manager, the analytics service recording every
// capture, and the app's services pointed at all of them.
class AccountTest : public voskary::testing::BrowserSignInTest {
 protected:
  static constexpr const char* kBase = TestServices::account;
  static constexpr const char* kIssuer = "https://auth.test";
  static constexpr const char* kCapture = TestServices::capture;
  static constexpr const char* kDeviceId = TestServices::deviceId;

  using State = voskary::VoskaryAccountManager::State;

  struct Event {
    std::string name;
    platform::JSON properties;
  };

  template <class T>
  using Outcome = platform::testing::TaskOutcome<T>;

  AccountTest() : BrowserSignInTest(platform::URL(kBase), platform::URL(kIssuer)) {}

  void SetUp() override {
    BrowserSignInTest::SetUp();
    TestServices::install(sim(), platform::URL(kIssuer));
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
    auto redirect = finishPage(accountID, email);
    ASSERT_TRUE(redirect);
    EXPECT_TRUE(manager().resume(*redirect));
    runUntilIdle();
  }

  // Stores a session of the fake service that expires `expiresIn` seconds from now.
  voskary::StoredSession storeSession(double expiresIn = 7 * 24 * 3600.0,
                                      const std::string& accountID = kAccountID,
                                      const std::string& email = kEmail) {
    auto session = issueSession(expiresIn, accountID, email);
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
