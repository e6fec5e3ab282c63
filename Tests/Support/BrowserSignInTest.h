#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "Support/FakeAccountService.h"
#include "Support/SimTest.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Support/Tarnwick/FakeBrowser.h"
#include "Tarnwick/UserAgentPlatform.h"
#include "TarnwickCore/OIDURLQueryComponent.h"
#include "VoskaryAccount/Client/StoredSession.h"

namespace voskary::testing {

// The far side of a browser sign-in on the simulated machine: the fake authority behind
// discovery and the browser, and the fake account service at `base` that redeems the codes the
// authority's page hands out. The fixtures of whatever signs in derive from it.
class BrowserSignInTest : public platform::testing::SimTest {
 protected:
  static constexpr const char* kAccountID = "va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b";
  static constexpr const char* kEmail = "someone@voskary.test";

  BrowserSignInTest(platform::URL base, platform::URL issuer)
      : authority{tarnwick::testing::FakeAuthority::Configuration{
            std::move(issuer),
            "flagrig",
            platform::URL("flagrig://auth/callback"),
            {"voskary.account"}}},
        browser(std::make_shared<tarnwick::testing::FakeBrowser>(authority)),
        base_(std::move(base)) {}

  void SetUp() override {
    SimTest::SetUp();
    service = std::make_unique<FakeAccountService>(sim().http, base_, "flagrig");
    sim().http->respond("GET", authority.discoveryURL().absoluteString(),
                        platform::sim::SimHTTPAnswer::json(200, authority.discoveryJSON()));
    tarnwick::UserAgentPlatform::setURLOpener(browser);
  }
  void TearDown() override {
    SimTest::TearDown();
    service.reset();
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

  // A session of the service that expires `expiresIn` seconds from now, as the library stores
  // it (not yet stored).
  StoredSession issueSession(double expiresIn, const std::string& accountID,
                             const std::string& email) {
    service->setSessionLifetime(expiresIn);
    auto issued = service->issueSession(accountID, email);
    service->setSessionLifetime(30 * 24 * 3600.0);
    return StoredSession{issued.vas,       issued.refreshToken,
                         issued.expiresAt, {{accountID}, email, std::nullopt},
                         "flagrig",        platform::env().clock->now()};
  }

  tarnwick::testing::FakeAuthority authority;
  std::shared_ptr<tarnwick::testing::FakeBrowser> browser;
  std::unique_ptr<FakeAccountService> service;

 private:
  platform::URL base_;
};

}  // namespace voskary::testing
