#include <gtest/gtest.h>

#include <stdexcept>

#include "AccountTest.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Network/HTTPSession.h"

namespace flagrig::testing {
namespace {

using voskary::VoskaryError;
using ProviderHint = SignInService::ProviderHint;
using SignInResult = SignInService::SignInResult;
using Props = std::map<std::string, std::string>;

class SignInServiceTest : public AccountTest {
 protected:
  std::shared_ptr<platform::Window> openWindow() {
    auto window = std::make_shared<platform::Window>(
        platform::Rect(100, 100, 400, 300),
        platform::StyleMask::titled | platform::StyleMask::closable);
    window->setReleasedWhenClosed(false);
    window->makeKeyAndOrderFront();
    return window;
  }
  const Event* find(const std::vector<Event>& events, const std::string& name) {
    for (const auto& event : events)
      if (event.name == name) return &event;
    return nullptr;
  }
};

// --- beginSignIn: one attempt per case, each with its events, properties and log lines ------

struct BeginCase {
  const char* name;
  std::optional<ProviderHint> provider;
  SignInResult result;
  // Of "auth_failed", or empty for a success.
  const char* failedError;
  const char* logLine;  // the attempt's one diagnostic line
};

void PrintTo(const BeginCase& c, std::ostream* os) {
  *os << c.name;
}

class BeginSignInTest : public SignInServiceTest,
                        public ::testing::WithParamInterface<BeginCase> {};

TEST_P(BeginSignInTest, TracksLogsAndAnswers) {
  const auto& c = GetParam();
  const std::string name = c.name;
  auto& subscription = attached();
  if (name == "foreign") {
    subscription.setSignInCallForTesting(
        [](std::shared_ptr<platform::Window>,
           std::optional<ProviderHint>) -> platform::Task<voskary::VoskaryAccount> {
          throw std::runtime_error("disk on fire at /home/someone");
          co_return voskary::VoskaryAccount{};
        });
  }
  if (name == "serverError")
    service->queueAnswer(voskary::testing::FakeAccountService::exchangePath,
                         platform::sim::SimHTTPAnswer::json(500, "{}"));
  if (name == "otherLibraryError")
    service->queueAnswer(voskary::testing::FakeAccountService::exchangePath,
                         platform::sim::SimHTTPAnswer::json(200, R"({"vas":1})"));

  auto out = start(subscription.beginSignIn(nullptr, c.provider));
  runUntilIdle();
  if (name == "cancel") {
    EXPECT_TRUE(manager().cancelSignIn());
    runUntilIdle();
  } else if (name != "foreign") {
    finishBrowserSignIn();
  }
  ASSERT_TRUE(out->done);
  ASSERT_FALSE(out->error);
  EXPECT_EQ(*out->value, c.result);

  const std::string provider = SignInService::providerText(c.provider);
  auto events = this->events();
  std::vector<std::string> names;
  for (const auto& e : events) names.push_back(e.name);
  const Props started{
      {"source", "onboarding"}, {"auth_transport", "system_browser"}, {"provider_hint", provider}};
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(pick(events[0], {"source", "auth_transport", "provider_hint"}), started);
  if (!*c.failedError) {
    EXPECT_EQ(names, (std::vector<std::string>{"auth_started", "$identify", "auth_completed"}));
    EXPECT_EQ(events[1].properties["voskary_account_id"], kAccountID);
    EXPECT_EQ(pick(events[2], {"source", "auth_transport", "provider_hint"}), started);
  } else {
    EXPECT_EQ(names, (std::vector<std::string>{"auth_started", "auth_failed"}));
    EXPECT_EQ(pick(events[1], {"error", "auth_transport", "provider_hint"}),
              (Props{{"error", c.failedError}, {"auth_transport", "system_browser"}}));
  }
  auto lines = logLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), c.logLine), lines.end())
      << ::testing::PrintToString(lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BeginSignInTest,
    ::testing::Values(
        BeginCase{"success", ProviderHint::google, SignInResult::success(), "",
                  "info auth: Sign-in completed at step=login_first provider=google "
                  "transport=system_browser"},
        BeginCase{"cancel", std::nullopt, SignInResult::cancelled(), "cancelled",
                  "info auth: Sign-in cancelled by user at step=login_first provider=none"},
        BeginCase{"serverError", ProviderHint::email,
                  SignInResult::failed("Something went wrong on our end. Try again in a minute."),
                  "serverError(status: 500, code: none)",
                  "error auth: Sign-in failed at step=login_first provider=email "
                  "cause=server_error(500,none)"},
        BeginCase{"otherLibraryError", ProviderHint::apple,
                  SignInResult::failed("Sign-in failed. Try again."), "malformedResponse",
                  "error auth: Sign-in failed at step=login_first provider=apple "
                  "cause=malformed_response"},
        BeginCase{"foreign", std::nullopt, SignInResult::failed("disk on fire at /home/someone"),
                  "std::runtime_error(code: 1)",
                  "error auth: Sign-in failed at step=login_first provider=none "
                  "cause=unexpected"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SignInServiceTest, BeforeAttachTheFirstRunSignInIsUnavailableAndTracksNothing) {
  auto out = start(SignInService::shared().beginSignIn(nullptr, ProviderHint::google));
  runUntilIdle();
  ASSERT_TRUE(out->done);
  EXPECT_EQ(*out->value, SignInResult::failed("Service unavailable."));
  EXPECT_TRUE(events().empty());
  EXPECT_TRUE(browser->openedURLs().empty());
}

TEST_F(SignInServiceTest, IdentifyGetsTheNewAccountNeverTheMirrorsOldOne) {
  auto& subscription = attached();
  manager().transition(State::signedIn({{"va_stale"}, "old@voskary.test", std::nullopt}));
  runUntilIdle();
  ASSERT_EQ(subscription.voskaryAccountID(), "va_stale");

  auto out = start(subscription.beginSignIn(nullptr, ProviderHint::google));
  finishBrowserSignIn(kAccountID, kEmail);
  ASSERT_TRUE(out->done);
  auto events = this->events();
  auto identify = find(events, "$identify");
  ASSERT_TRUE(identify);
  EXPECT_EQ(identify->properties["voskary_account_id"], kAccountID);
  EXPECT_EQ(subscription.accountEmail(), kEmail);
}

// --- signIn(provider:) from the settings window ---------------------------------------------

TEST_F(SignInServiceTest, SettingsSignInWithoutAnyWindowIsUnavailableAndTracksNothing) {
  auto out = start(attached().signIn(ProviderHint::email));
  runUntilIdle();
  ASSERT_TRUE(out->done);
  ASSERT_TRUE(out->error);
  try {
    std::rethrow_exception(out->error);
  } catch (const SubscriptionError& error) {
    EXPECT_EQ(error, SubscriptionError::unavailable());
    EXPECT_EQ(error.description(),
              "Voskary Account is temporarily unavailable. Please try again in a minute.");
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(SignInServiceTest, SettingsSignInSucceedsWithoutALogLine) {
  auto window = openWindow();
  auto& subscription = attached();
  const auto linesBefore = logLines().size();
  auto out = start(subscription.signIn(std::nullopt));
  finishBrowserSignIn();
  ASSERT_TRUE(out->done);
  EXPECT_FALSE(out->error);
  EXPECT_EQ(eventNames(),
            (std::vector<std::string>{"auth_started", "$identify", "auth_completed"}));
  auto events = this->events();
  EXPECT_EQ(
      pick(events[2], {"source", "auth_transport", "provider_hint"}),
      (Props{
          {"source", "sign_in"}, {"auth_transport", "system_browser"}, {"provider_hint", "none"}}));
  EXPECT_EQ(logLines().size(), linesBefore);
  EXPECT_TRUE(subscription.isSignedIn());
}

TEST_F(SignInServiceTest, SettingsSignInCancelReturnsNormally) {
  auto window = openWindow();
  auto out = start(attached().signIn(ProviderHint::apple));
  runUntilIdle();
  EXPECT_TRUE(manager().cancelSignIn());
  runUntilIdle();
  ASSERT_TRUE(out->done);
  EXPECT_FALSE(out->error) << "a cancel is not an error to the caller";
  auto events = this->events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(pick(events[1], {"error", "auth_transport", "provider_hint"}),
            (Props{{"error", "cancelled"},
                   {"auth_transport", "system_browser"},
                   {"provider_hint", "apple"}}));
}

TEST_F(SignInServiceTest, SettingsSignInPassesOtherErrorsOnUnchanged) {
  auto window = openWindow();
  service->queueAnswer(voskary::testing::FakeAccountService::exchangePath,
                       voskary::testing::FakeAccountService::jsonAnswer(
                           400, platform::JSON{{"error", "invalid_grant"}}));
  auto out = start(attached().signIn(ProviderHint::google));
  finishBrowserSignIn();
  ASSERT_TRUE(out->done);
  ASSERT_TRUE(out->error);
  std::optional<VoskaryError> error;
  try {
    std::rethrow_exception(out->error);
  } catch (const VoskaryError& e) {
    error = e;
  }
  ASSERT_TRUE(error);
  auto events = this->events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].name, "auth_failed");
  EXPECT_EQ(pick(events[1], {"error", "auth_transport", "provider_hint"}),
            (Props{{"error", SignInService::analyticsErrorName(*error)},
                   {"auth_transport", "system_browser"},
                   {"provider_hint", "google"}}));
  EXPECT_TRUE(error->as<VoskaryError::ServerError>()) << error->description();
}

// --- Texts ----------------------------------------------------------------------------------

TEST(SignInServiceTexts, FriendlyErrorsAuthErrorCodesAndAnalyticsNames) {
  struct Case {
    VoskaryError error;
    const char* friendly;
    const char* code;
    const char* analytics;
  };
  const std::vector<Case> cases{
      {VoskaryError::serverError(500), "Something went wrong on our end. Try again in a minute.",
       "server_error(500,none)", "serverError(status: 500, code: none)"},
      {VoskaryError::serverError(400, "invalid_grant"),
       "Something went wrong on our end. Try again in a minute.", "server_error(400,invalid_grant)",
       "serverError(status: 400, code: invalid_grant)"},
      {VoskaryError::serverError(400, "Account a@b.c is locked"),
       "Something went wrong on our end. Try again in a minute.",
       "server_error(400,Account a@b.c is locked)", "serverError(status: 400, code: other)"},
      {VoskaryError::malformedResponse("VasResponse"), "Sign-in failed. Try again.",
       "malformed_response", "malformedResponse"},
      {VoskaryError::authorizationFailed("browser said: /home/someone"),
       "Sign-in failed. Try again.", "authorization_failed", "authorizationFailed"},
      {VoskaryError::keychainFailure(-25308), "Sign-in failed. Try again.", "keychain_failure",
       "keychainFailure(status: -25308)"},
      {VoskaryError::clientKilled(), "This version of Flagrig must be updated to sign in.",
       "auth_failed", "clientKilled"},
      {VoskaryError::requiresUpgrade("2.0.0"),
       "This version of Flagrig must be updated to sign in.", "auth_failed", "requiresUpgrade"},
      {VoskaryError::dpopUnavailable("no key"), "Sign-in failed. Try again.", "auth_failed",
       "dpopUnavailable"},
      {VoskaryError::notSignedIn(), "You need to sign in first.", "not_signed_in", "notSignedIn"},
      {VoskaryError::sessionExpired(), "Your session expired. Sign in again.", "session_expired",
       "sessionExpired"},
      {VoskaryError::networkUnavailable(), "No internet connection. Try again when you're online.",
       "network_unavailable", "networkUnavailable"},
      {VoskaryError::authorizationCancelled(), "Sign-in was cancelled. Try again.", "cancelled",
       "authorizationCancelled"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.analytics);
    EXPECT_EQ(SignInService::friendlyError(c.error), c.friendly);
    EXPECT_EQ(SignInService::authErrorCode(c.error), c.code);
    EXPECT_EQ(SignInService::analyticsErrorName(c.error), c.analytics);
  }
  // Errors of the app's own service and of other components: what the user reads, and what
  // analytics records (never the message itself).
  struct OtherCase {
    std::shared_ptr<const std::exception> error;
    const char* friendly;
    const char* analytics;
  };
  const std::vector<OtherCase> others{
      {std::make_shared<SubscriptionError>(SubscriptionError::http(503)),
       "Voskary Account request failed. Please try again.", "http(status: 503)"},
      {std::make_shared<SubscriptionError>(SubscriptionError::transport("Offline.")), "Offline.",
       "transport"},
      {std::make_shared<SubscriptionError>(SubscriptionError::notSignedIn()),
       "Sign in to Flagrig with your Voskary Account to continue.", "notSignedIn"},
      {std::make_shared<SubscriptionError>(SubscriptionError::sessionExpired()),
       "Your Voskary Account session expired. Sign in again.", "sessionExpired"},
      {std::make_shared<SubscriptionError>(SubscriptionError::invalidResponse()),
       "Voskary Account returned an unexpected response.", "invalidResponse"},
      {std::make_shared<std::runtime_error>("x token=abc"), "Something went wrong. Try again.",
       nullptr},
  };
  for (const auto& c : others) {
    SCOPED_TRACE(c.friendly);
    EXPECT_EQ(SignInService::friendlyError(*c.error), c.friendly);
    const std::string name = SignInService::analyticsErrorName(*c.error);
    if (c.analytics) {
      EXPECT_EQ(name, c.analytics);
    }
    EXPECT_EQ(name.find("token"), std::string::npos) << name;
  }
}

TEST(SignInServiceTexts, ResponseReasonTakesTheFirstTextOrNumber) {
  struct Case {
    const char* body;
    std::optional<std::string> reason;
  };
  const std::vector<Case> cases{
      {R"({"error": 42})", "42"},
      {R"([{"reason": "x"}])", std::nullopt},
      {R"({"reason": null, "message": "x"})", "x"},
      {R"({"reason": "r", "error": "e", "message": "m"})", "r"},
      {R"({"reason": true, "error": {"a": 1}, "message": -7})", "-7"},
      {R"({"error": 1.5})", "1.5"},
      {R"({"other": "x"})", std::nullopt},
      {"not json", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    std::string body = c.body;
    EXPECT_EQ(SignInService::responseReason(
                  std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size())),
              c.reason)
        << c.body;
  }
}

// --- Mirror, headers and lifecycle ----------------------------------------------------------

TEST_F(SignInServiceTest, TheMirrorFollowsSignedInAndSignedOutOnly) {
  auto& subscription = attached();
  NotificationCounter changes(SignInService::subscriptionDidChange);
  manager().transition(State::signingIn());
  manager().transition(State::failed(VoskaryError::networkUnavailable()));
  runUntilIdle();
  EXPECT_EQ(changes.count, 0);
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  runUntilIdle();
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(changes.lastObject, &subscription);
  EXPECT_TRUE(subscription.isSignedIn());
  EXPECT_EQ(subscription.voskaryAccountID(), kAccountID);
  EXPECT_EQ(subscription.accountEmail(), kEmail);
  // Analytics reads the service's state.
  EXPECT_EQ(SignInState::current().get(), &subscription);
  EXPECT_EQ(SignInState::current()->snapshot().voskaryAccountID, kAccountID);
  manager().transition(State::signedOut());
  runUntilIdle();
  EXPECT_EQ(changes.count, 2);
  EXPECT_FALSE(subscription.isSignedIn());
  EXPECT_EQ(subscription.voskaryAccountID(), std::nullopt);
  EXPECT_EQ(subscription.accountEmail(), std::nullopt);
}

TEST_F(SignInServiceTest, AuthorizationHeadersAreExactlyFourOrNone) {
  auto& subscription = SignInService::shared();
  EXPECT_TRUE(subscription.authorizationHeaders().empty()) << "no bridge";
  attached();
  EXPECT_TRUE(subscription.authorizationHeaders().empty()) << "signed out";
  auto stored = storeSession();
  EXPECT_TRUE(subscription.authorizationHeaders().empty()) << "a stored session alone";
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  EXPECT_EQ(subscription.authorizationHeaders(),
            (std::map<std::string, std::string>{{"Authorization", "Bearer " + stored.vas},
                                                {"X-Voskary-Account-Id", kAccountID},
                                                {"X-Voskary-App", "flagrig"},
                                                {"X-Voskary-Platform", "macos"}}));
  keychain().deleteData(voskary::KeychainStorage::Keys::session);
  EXPECT_TRUE(subscription.authorizationHeaders().empty()) << "the item is gone";
}

TEST_F(SignInServiceTest, AuthorizedRequestsCarryTheAccountOnlyWhenMirrored) {
  auto& subscription = attached();
  auto request = subscription.authorizedRequest(platform::URL("https://account.test/x"), "vas_1");
  EXPECT_EQ(request.value("Authorization"), "Bearer vas_1");
  EXPECT_EQ(request.value("X-Voskary-Account-Id"), std::nullopt);
  EXPECT_EQ(request.value("X-Voskary-App"), "flagrig");
  EXPECT_EQ(request.value("X-Voskary-Platform"), "macos");
  EXPECT_EQ(request.timeoutInterval, 60.0);
  EXPECT_EQ(request.httpMethod, "GET");
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  runUntilIdle();
  EXPECT_EQ(subscription.authorizedRequest(platform::URL("https://account.test/x"), "vas_1")
                .value("X-Voskary-Account-Id"),
            kAccountID);
  auto& configuration = subscription.urlSession()->configuration();
  EXPECT_TRUE(configuration.isEphemeral);
  EXPECT_EQ(configuration.timeoutIntervalForRequest, 15.0);
  EXPECT_EQ(configuration.timeoutIntervalForResource, 20.0);
}

TEST_F(SignInServiceTest, AStateHandlerThatFiresAfterTheServiceIsGoneDoesNothing) {
  auto subscription = std::make_shared<SignInService>();
  subscription->attach(VoskaryAccountBridge::sharedPointer());
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  NotificationCounter changes(SignInService::subscriptionDidChange);
  std::weak_ptr<SignInService> weak = subscription;
  subscription.reset();
  ASSERT_TRUE(weak.expired());
  runUntilIdle();
  manager().transition(State::signedOut());
  runUntilIdle();
  EXPECT_EQ(changes.count, 0);
  EXPECT_FALSE(SignInState::current()->snapshot().isSignedIn) << "nobody is signed in again";
}

TEST_F(SignInServiceTest, SignOutWhoseRevokeFailsStillClearsAndPosts) {
  storeSession();
  auto& subscription = attached();
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  runUntilIdle();
  ASSERT_TRUE(subscription.isSignedIn());
  service->queueAnswer(voskary::testing::FakeAccountService::revokePath,
                       platform::sim::SimHTTPAnswer::failing(platform::URLError::timedOut));
  NotificationCounter changes(SignInService::subscriptionDidChange);
  subscription.signOut();
  EXPECT_FALSE(subscription.isSignedIn()) << "the mirror is cleared before the task runs";
  EXPECT_EQ(subscription.accountEmail(), std::nullopt);
  EXPECT_EQ(changes.count, 1);
  runUntilIdle();
  EXPECT_FALSE(subscription.isSignedIn());
  EXPECT_EQ(subscription.voskaryAccountID(), std::nullopt);
  EXPECT_GE(changes.count, 1);
  EXPECT_EQ(keychain().getData(voskary::KeychainStorage::Keys::session), std::nullopt);
  EXPECT_EQ(service->requestCount(voskary::testing::FakeAccountService::revokePath), 1);
}

TEST_F(SignInServiceTest, SignOutWithoutABridgeStillClearsLocally) {
  auto& subscription = SignInService::shared();
  NotificationCounter changes(SignInService::subscriptionDidChange);
  subscription.signOut();
  EXPECT_EQ(changes.count, 1) << "cleared at once";
  runUntilIdle();
  EXPECT_GE(changes.count, 1);
  EXPECT_FALSE(subscription.isSignedIn());
}

TEST_F(SignInServiceTest, CreationRemovesTheFourLegacyKeysOnly) {
  auto& defaults = *platform::env().defaults;
  for (auto key : SignInService::legacyDefaultsKeys) defaults.set(key, platform::Value("x"));
  defaults.set("flagrig.auth.keep", platform::Value("y"));
  SignInService::shared();
  for (auto key : SignInService::legacyDefaultsKeys) EXPECT_FALSE(defaults.object(key)) << key;
  EXPECT_TRUE(defaults.object("flagrig.auth.keep"));
}

}  // namespace
}  // namespace flagrig::testing
