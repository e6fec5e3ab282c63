#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LogRecorder.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Support/FakeAccountService.h"
#include "Support/SimTest.h"
#include "VoskaryAccount/Client/AuthClient.h"
#include "VoskaryAccount/Client/VoskaryError.h"

namespace voskary::testing {

// A client of the fake account service on the simulated network, with a stored session that
// the client's hooks read and rewrite as the account manager's do.
class AccountServiceFixture : public platform::testing::SimTest {
 protected:
  static constexpr const char* kBase = "https://account.voskary.test";

  void SetUp() override {
    SimTest::SetUp();
    service = std::make_unique<FakeAccountService>(sim().http, platform::URL(kBase), "flagrig");
    signer = std::make_shared<DPoPSigner>();
    client = makeClient();
  }
  void TearDown() override {
    client.reset();
    SimTest::TearDown();
    service.reset();
  }

  VoskaryConfig config(std::optional<std::string> installID = std::nullopt) {
    return VoskaryConfig(
        platform::URL("https://auth.voskary.test"), platform::URL(kBase), "flagrig", "flagrig-mac",
        "1.4.2", "0.9.2", platform::URL("flagrig://auth/callback"), AuthScheme::systemBrowser,
        std::nullopt, {}, platform::env().httpSession, log.logger(), std::move(installID));
  }

  std::shared_ptr<AuthClient> makeClient(std::shared_ptr<IdentityThrottle> throttle = nullptr,
                                         std::optional<std::string> installID = std::nullopt) {
    auto made = std::make_shared<AuthClient>(config(std::move(installID)), signer, throttle);
    auto box = stored;
    made->setCurrentSessionProvider([box] {
      std::lock_guard lock(box->mutex);
      return box->session;
    });
    auto rotations = this->rotations;
    made->setOnSessionRefreshed(
        [box, rotations](const std::string& spent, const VasResponse& issued) {
          rotations->add(spent, issued);
          std::lock_guard lock(box->mutex);
          if (!box->session || (box->session->refreshToken && *box->session->refreshToken != spent))
            return;
          box->session =
              StoredSession{issued.vas,       issued.refreshToken,
                            issued.expiresAt, {issued.voskaryAccountId, issued.email, std::nullopt},
                            issued.appSlug,   platform::env().clock->now()};
        });
    auto notices = this->notices;
    LogRecorder lines = log;
    made->setOnDeprecationNotice(
        [notices, lines](const std::vector<VoskaryDeprecationNotice>& list) {
          std::lock_guard lock(notices->mutex);
          notices->lists.push_back(list);
          notices->logLinesBefore.push_back(lines.lines().size());
        });
    return made;
  }

  // Stores a fresh session of the fake service that expires `expiresIn` seconds from now.
  FakeAccountService::Session storeSession(double expiresIn = 30 * 24 * 3600.0) {
    service->setSessionLifetime(expiresIn);
    auto session =
        service->issueSession("va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b", "someone@voskary.test");
    // Sessions issued later, by refreshes, live long.
    service->setSessionLifetime(30 * 24 * 3600.0);
    std::lock_guard lock(stored->mutex);
    stored->session =
        StoredSession{session.vas,       session.refreshToken,
                      session.expiresAt, {{session.accountId}, session.email, std::nullopt},
                      "flagrig",         platform::env().clock->now()};
    return session;
  }
  std::optional<StoredSession> storedSession() {
    std::lock_guard lock(stored->mutex);
    return stored->session;
  }

  // The error the task ends with; a failure of the test when it succeeds or throws another.
  template <class T>
  VoskaryError errorOf(platform::Task<T> task) {
    try {
      await(std::move(task));
    } catch (const VoskaryError& error) {
      return error;
    } catch (const std::exception& other) {
      ADD_FAILURE() << "unexpected error: " << other.what();
      return VoskaryError::notSignedIn();
    }
    ADD_FAILURE() << "expected an error";
    return VoskaryError::notSignedIn();
  }

  static platform::JSON jsonBody(const platform::HTTPRequest& request) {
    if (!request.httpBody) return nullptr;
    return platform::JSONSerialization::parse(
        std::string(request.httpBody->begin(), request.httpBody->end()));
  }

  struct SessionBox {
    std::mutex mutex;
    std::optional<StoredSession> session;
  };
  struct Rotations {
    std::mutex mutex;
    std::vector<std::pair<std::string, VasResponse>> all;
    void add(const std::string& spent, const VasResponse& issued) {
      std::lock_guard lock(mutex);
      all.emplace_back(spent, issued);
    }
    std::size_t count() {
      std::lock_guard lock(mutex);
      return all.size();
    }
  };
  struct Notices {
    std::mutex mutex;
    std::vector<std::vector<VoskaryDeprecationNotice>> lists;
    // How many log lines had been written when each list arrived.
    std::vector<std::size_t> logLinesBefore;
  };

  LogRecorder log;
  std::unique_ptr<FakeAccountService> service;
  std::shared_ptr<DPoPSigner> signer;
  std::shared_ptr<AuthClient> client;
  std::shared_ptr<SessionBox> stored = std::make_shared<SessionBox>();
  std::shared_ptr<Rotations> rotations = std::make_shared<Rotations>();
  std::shared_ptr<Notices> notices = std::make_shared<Notices>();
};

}  // namespace voskary::testing
