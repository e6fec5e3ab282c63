#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Sim/SimKeychain.h"
#include "Platform/WindowServer/WindowList.h"
#include "Platform/WindowServer/WindowServer.h"
#include "SignInFixture.h"
#include "Support/Tarnwick/FakeWindow.h"
#include "Support/Tarnwick/SimWebAuthenticationSheets.h"

namespace voskary::testing {
namespace {

using platform::sim::KeychainOperation;
using platform::sim::SimHTTPAnswer;

class BrowserSignInTest : public SignInFixture {};

std::vector<std::string> keysOf(const platform::JSON& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

TEST_F(BrowserSignInTest, ExchangesTheCodeStoresTheSessionThenPublishesIt) {
  recordStates();
  advance(10);
  auto out =
      start(manager->signInViaSystemBrowser(OAuthDriver::ProviderHint::google, "install-arg"));
  runUntilIdle();
  EXPECT_EQ(states.back(), State::signingIn());
  auto redirect = finishPage();
  ASSERT_TRUE(redirect);
  ASSERT_TRUE(manager->resume(*redirect));
  runUntilIdle();
  ASSERT_TRUE(out->value) << (out->error ? out->error->description() : "not done");
  EXPECT_EQ(*out->value, account());
  EXPECT_FALSE(out->value->providers);

  auto requests = requestsToPath(FakeAccountService::exchangePath);
  ASSERT_EQ(requests.size(), 1u);
  const auto& request = requests[0];
  EXPECT_EQ(request.httpMethod, "POST");
  EXPECT_EQ(request.url.absoluteString(), std::string(kBase) + FakeAccountService::exchangePath);
  EXPECT_EQ(request.value("Content-Type"), "application/json");
  EXPECT_EQ(request.value("Accept"), "application/json");
  EXPECT_TRUE(request.value("User-Agent"));
  EXPECT_EQ(request.value("Voskary-Lib-Version"), "0.9.2");
  EXPECT_EQ(request.value("Voskary-Client-Version"), "1.4.2");
  EXPECT_FALSE(request.value("Authorization"));
  EXPECT_FALSE(request.value("DPoP"));
  auto body = platform::JSONSerialization::parse(bodyText(request));
  EXPECT_EQ(keysOf(body),
            (std::vector<std::string>{"app_slug", "code", "code_verifier", "redirect_uri",
                                      "client_version", "install_id"}));
  EXPECT_EQ(body["app_slug"], "flagrig");
  EXPECT_EQ(body["redirect_uri"], "flagrig://auth/callback");
  EXPECT_EQ(body["client_version"], "1.4.2");
  EXPECT_EQ(body["install_id"], "install-arg");
  EXPECT_TRUE(authority.redeem(body["code"], body["code_verifier"]));

  auto session = stored();
  ASSERT_TRUE(session);
  EXPECT_TRUE(service->isLive(session->vas));
  EXPECT_EQ(session->account, account());
  EXPECT_EQ(session->appSlug, "flagrig");
  EXPECT_EQ(session->issuedAt, platform::env().clock->now());
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[2], State::signedIn(account()));
  EXPECT_EQ(storedWhenPublished[2], storedBytes()) << "published before it was stored";
}

TEST_F(BrowserSignInTest, TheExchangeBodyLeavesOutWhatIsAbsentAndFallsBackToTheConfigInstallID) {
  AuthClient::ExchangeBody bare{"flagrig", "c1",        std::nullopt, "flagrig://auth/callback",
                                "1.4.2",   std::nullopt};
  EXPECT_EQ(VoskaryJSON::encoder().encode(bare),
            R"({"app_slug":"flagrig","code":"c1","redirect_uri":"flagrig:\/\/auth\/callback",)"
            R"("client_version":"1.4.2"})");
  auto out = browserSignIn();
  ASSERT_TRUE(out->value);
  auto body = platform::JSONSerialization::parse(
      bodyText(requestsToPath(FakeAccountService::exchangePath)[0]));
  EXPECT_EQ(body["install_id"], "install-1");
}

TEST_F(BrowserSignInTest, EveryFailureEndsFailedAndLeavesTheOldSessionAsItWas) {
  enum class Fault {
    cancel,
    denied,
    status401,
    status500,
    status426,
    upgradeOnError,
    malformed,
    transport,
    keychain
  };
  struct Case {
    const char* name;
    Fault fault;
    VoskaryError error;
    const char* logged;  // a log line the failure leaves, or nullptr
  };
  const Case cases[] = {
      {"cancel", Fault::cancel, VoskaryError::authorizationCancelled(), "oauth_authorize_failed"},
      {"denied", Fault::denied, VoskaryError::authorizationFailed(""), "oauth_authorize_failed"},
      {"401", Fault::status401, VoskaryError::sessionExpired(), "request_auth_failed"},
      {"500", Fault::status500, VoskaryError::serverError(500, "boom"), "request_server_failed"},
      {"426", Fault::status426, VoskaryError::clientKilled(), "client_killed"},
      {"upgrade on 400", Fault::upgradeOnError, VoskaryError::requiresUpgrade("9.0.0"),
       "requires_upgrade"},
      {"malformed", Fault::malformed, VoskaryError::malformedResponse("VasResponse"),
       "request_decode_failed"},
      {"transport", Fault::transport, VoskaryError::networkUnavailable(),
       "request_transport_failed"},
      {"keychain", Fault::keychain, VoskaryError::keychainFailure(-25293), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim().keychain->clearFailures();
    service->setDeprecationHeader(std::nullopt);
    storeSession(3600);
    auto before = storedBytes();
    ASSERT_TRUE(before);
    log.clear();
    states.clear();
    recordStates();
    const std::string path = FakeAccountService::exchangePath;
    switch (c.fault) {
      case Fault::denied:
        authority.setNextOutcome(tarnwick::testing::FakeAuthority::Outcome::deny);
        break;
      case Fault::status401:
        service->queueAnswer(path, FakeAccountService::jsonAnswer(401, {{"error", "nope"}}));
        break;
      case Fault::status500:
        service->queueAnswer(path, FakeAccountService::jsonAnswer(500, {{"error", "boom"}}));
        break;
      case Fault::status426:
        service->queueAnswer(path, FakeAccountService::jsonAnswer(426, {{"ok", false}}));
        break;
      case Fault::upgradeOnError:
        service->queueAnswer(path, FakeAccountService::jsonAnswer(400, {{"error", "old"}}));
        service->setDeprecationHeader("client; min-version=9.0.0");
        break;
      case Fault::malformed:
        service->queueAnswer(path, FakeAccountService::jsonAnswer(200, {{"ok", true}}));
        break;
      case Fault::transport:
        service->queueAnswer(path,
                             SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet));
        break;
      case Fault::keychain:
        sim().keychain->failOperation(KeychainOperation::update, -25293);
        sim().keychain->failOperation(KeychainOperation::add, -25293);
        break;
      case Fault::cancel:
        break;
    }
    auto out = start(manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
    runUntilIdle();
    if (c.fault == Fault::cancel) {
      EXPECT_TRUE(manager->cancelSignIn());
    } else {
      auto redirect = finishPage();
      ASSERT_TRUE(redirect);
      EXPECT_TRUE(manager->resume(*redirect));
    }
    runUntilIdle();
    ASSERT_TRUE(out->done);
    ASSERT_TRUE(out->error);
    if (c.fault == Fault::denied) {
      EXPECT_EQ(out->error->kind(), VoskaryError::Kind::authorizationFailed);
    } else {
      EXPECT_EQ(*out->error, c.error) << out->error->description();
    }
    EXPECT_EQ(manager->state(), State::failed(*out->error));
    ASSERT_EQ(states.size(), 3u);
    EXPECT_EQ(states[1], State::signingIn());
    EXPECT_EQ(states[2], State::failed(*out->error));
    sim().keychain->clearFailures();
    EXPECT_EQ(storedBytes(), before);
    if (c.logged) {
      EXPECT_FALSE(log.named(c.logged).empty());
    }
  }
}

TEST_F(BrowserSignInTest, AnExceptionThatIsNoPlatformErrorLeavesTheStateAsItWas) {
  recordStates();
  platform::env().keychain = std::make_shared<OutOfMemoryOnWrite>(platform::env().keychain);
  auto out = start(manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
  runUntilIdle();
  auto redirect = finishPage();
  ASSERT_TRUE(redirect);
  ASSERT_TRUE(manager->resume(*redirect));
  runUntilIdle();
  ASSERT_TRUE(out->done);
  EXPECT_EQ(out->unexpected, "std::bad_alloc");
  EXPECT_EQ(manager->state(), State::signedOut());
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[1], State::signingIn());
  EXPECT_EQ(states[2], State::signedOut());
}

TEST_F(BrowserSignInTest, A2xxAnswerWithAMustUpgradeNoticeKeepsTheIssuedSession) {
  storeSession(3600);
  service->setDeprecationHeader("client; min-version=9.0.0");
  auto out = browserSignIn();
  ASSERT_TRUE(out->done);
  EXPECT_EQ(out->error, VoskaryError::requiresUpgrade("9.0.0"));
  EXPECT_EQ(manager->state(), State::failed(VoskaryError::requiresUpgrade("9.0.0")));
  // The code is spent: the session the service issued for it is the one kept.
  auto session = stored();
  ASSERT_TRUE(session);
  EXPECT_TRUE(service->isLive(session->vas));
  EXPECT_EQ(requestsToPath(FakeAccountService::exchangePath).size(), 1u);
  EXPECT_NE(session->vas, "");
  service->setDeprecationHeader(std::nullopt);
  auto restored = start(manager->restore());
  runUntilIdle();
  EXPECT_EQ(restored->value, std::optional(account()));
}

TEST_F(BrowserSignInTest, ThePreferredSchemeChoosesTheRoad) {
  auto sheets = std::make_shared<tarnwick::testing::SimWebAuthenticationSheets>();
  tarnwick::UserAgentPlatform::setWebAuthenticationSessionFactory(sheets);
  auto window = tarnwick::testing::fakeWindow();
  const std::pair<AuthScheme, bool> cases[] = {
      {AuthScheme::systemBrowser, false}, {AuthScheme::aswas, true}, {AuthScheme::loopback, true}};
  for (const auto& [scheme, sheet] : cases) {
    SCOPED_TRACE(static_cast<int>(scheme));
    manager = makeManager(scheme);
    auto opened = browser->openedURLs().size();
    auto shown = sheets->sheets().size();
    auto out = start(manager->signIn(window, OAuthDriver::ProviderHint::email, std::nullopt));
    runUntilIdle();
    EXPECT_EQ(sheets->sheets().size(), shown + (sheet ? 1 : 0));
    EXPECT_EQ(browser->openedURLs().size(), opened + (sheet ? 0 : 1));
    if (sheet) {
      EXPECT_EQ(sheets->last()->anchor(), window);
    }
    EXPECT_TRUE(manager->cancelSignIn());
    runUntilIdle();
    EXPECT_EQ(out->error, VoskaryError::authorizationCancelled());
  }
}

TEST_F(BrowserSignInTest, ResumeAndCancelOnlyReachARunningFlow) {
  recordStates();
  EXPECT_FALSE(manager->resume(platform::URL("flagrig://auth/callback?code=x&state=y")));
  EXPECT_FALSE(manager->cancelSignIn());
  EXPECT_EQ(states, std::vector<State>{State::signedOut()});

  auto out = start(manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
  runUntilIdle();
  EXPECT_FALSE(manager->resume(platform::URL("flagrig://tags/show")));
  runUntilIdle();
  EXPECT_FALSE(out->done);
  EXPECT_EQ(manager->state(), State::signingIn());
  EXPECT_TRUE(manager->cancelSignIn());
  runUntilIdle();
  EXPECT_EQ(out->error, VoskaryError::authorizationCancelled());
  EXPECT_EQ(manager->state(), State::failed(VoskaryError::authorizationCancelled()));
}

TEST_F(BrowserSignInTest, TheBrowserTimeoutEndsTheSignInAsCancelled) {
  auto out = start(manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
  runUntilIdle();
  advance(OAuthDriver::systemBrowserTimeout);
  ASSERT_TRUE(out->done);
  EXPECT_EQ(out->error, VoskaryError::authorizationCancelled());
  EXPECT_EQ(manager->state(), State::failed(VoskaryError::authorizationCancelled()));
}

std::optional<std::uint32_t> frontWindowNumber() {
  auto list =
      platform::WindowServer::shared().copyWindowList(platform::WindowList::optionOnScreenOnly);
  if (!list || !list->asArray() || list->asArray()->empty()) return std::nullopt;
  const auto* number = list->asArray()->front().find(platform::WindowList::numberKey);
  if (!number) return std::nullopt;
  return number->exactly<std::uint32_t>();
}

TEST_F(BrowserSignInTest, ActivatingForTheReturnBringsTheRightWindowFront) {
  using platform::Rect;
  namespace StyleMask = platform::StyleMask;
  auto& application = platform::Application::shared();
  // Only a panel that cannot become key: it comes front all the same.
  auto panel =
      std::make_shared<platform::Panel>(Rect(0, 0, 100, 40), StyleMask::nonactivatingPanel);
  panel->orderFront();
  auto hidden = std::make_shared<platform::Window>(Rect(0, 0, 300, 200), StyleMask::titled);
  VoskaryAccountManager::activateForAuthReturn(nullptr);
  EXPECT_TRUE(application.isActive());
  EXPECT_EQ(frontWindowNumber(), panel->windowNumber());
  EXPECT_FALSE(hidden->isVisible());

  // A visible window that can become key wins over the panel.
  auto settings = std::make_shared<platform::Window>(Rect(0, 0, 300, 200), StyleMask::titled);
  settings->orderFront();
  panel->orderFront();
  VoskaryAccountManager::activateForAuthReturn(nullptr);
  EXPECT_TRUE(settings->isKeyWindow());
  EXPECT_EQ(frontWindowNumber(), settings->windowNumber());

  // The given window wins over the key window.
  auto signIn = std::make_shared<platform::Window>(Rect(0, 0, 300, 200), StyleMask::titled);
  VoskaryAccountManager::activateForAuthReturn(signIn);
  EXPECT_TRUE(signIn->isKeyWindow());
  EXPECT_TRUE(signIn->isVisible());
  EXPECT_EQ(frontWindowNumber(), signIn->windowNumber());
}

TEST_F(BrowserSignInTest, WithNoVisibleWindowActivatingOnlyActivates) {
  auto& application = platform::Application::shared();
  auto hidden = std::make_shared<platform::Window>(platform::Rect(0, 0, 300, 200),
                                                   platform::StyleMask::titled);
  VoskaryAccountManager::activateForAuthReturn(nullptr);
  EXPECT_TRUE(application.isActive());
  EXPECT_FALSE(hidden->isVisible());
  EXPECT_FALSE(application.keyWindow());
}

}  // namespace
}  // namespace voskary::testing
