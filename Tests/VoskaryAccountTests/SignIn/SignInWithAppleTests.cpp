#include "VoskaryAccount/SignIn/SignInWithAppleDriver.h"

#include "Platform/Foundation/DateFormats.h"
#include "Platform/Linux/UnavailableAppleIDAuthorization.h"
#include "Platform/Sim/SimKeychain.h"
#include "SignInFixture.h"
#include "Support/Tarnwick/FakeWindow.h"

namespace voskary::testing {
namespace {

using platform::AppleIDCredential;
using platform::AuthorizationError;
using platform::Bytes;

Bytes bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

class SignInWithAppleTest : public SignInFixture {
 protected:
  void SetUp() override {
    SignInFixture::SetUp();
    driver = std::make_unique<SignInWithAppleDriver>(config());
  }
  std::shared_ptr<Outcome<SignInWithAppleDriver::AppleAuthorization>> authorize() {
    auto out = start(driver->authorize(window));
    runUntilIdle();
    return out;
  }
  // An Apple sign-in through the manager whose sheet answers with `code`.
  std::shared_ptr<Outcome<VoskaryAccount>> appleSignIn(
      std::optional<std::string> installID = std::nullopt, std::string code = "apple-code") {
    auto out = start(manager->signInWithApple(window, std::move(installID)));
    runUntilIdle();
    EXPECT_TRUE(sim().appleID->complete(
        AppleIDCredential{"001.user", bytes(code), std::nullopt, std::nullopt, std::nullopt}));
    runUntilIdle();
    return out;
  }
  platform::JSON answer(std::optional<bool> isNewUser, bool withRefreshToken = true) {
    platform::JSON body = {
        {"ok", true},
        {"voskary_account_id", kAccountID},
        {"email", kEmail},
        {"vas", "vas_apple"},
        {"expires_at",
         platform::DateFormats::iso8601(platform::env().clock->now().addingTimeInterval(3600))}};
    if (withRefreshToken) body["refresh_token"] = "rt_apple";
    if (isNewUser) body["is_new_user"] = *isNewUser;
    return body;
  }

  std::shared_ptr<platform::Window> window = tarnwick::testing::fakeWindow();
  std::unique_ptr<SignInWithAppleDriver> driver;
};

TEST_F(SignInWithAppleTest, TheDriverAsksForNameAndEMailAndReadsTheCredential) {
  using Name = platform::PersonNameComponents;
  struct Case {
    const char* name;
    platform::AuthorizationCredential credential;
    std::optional<SignInWithAppleDriver::AppleAuthorization> expected;
    std::optional<VoskaryError> error;
  };
  const Bytes notUTF8 = {0xff, 0xfe, 0x41};
  const Case cases[] = {
      {"everything",
       AppleIDCredential{"001.a", bytes("code-1"), bytes("id.token"), Name{"Ada", "Lovelace"},
                         "ada@example.test"},
       SignInWithAppleDriver::AppleAuthorization{"code-1", "id.token", "001.a", "Ada", "Lovelace",
                                                 "ada@example.test"},
       std::nullopt},
      {"no name, no e-mail, no token",
       AppleIDCredential{"001.b", bytes("code-2"), std::nullopt, std::nullopt, std::nullopt},
       SignInWithAppleDriver::AppleAuthorization{"code-2", std::nullopt, "001.b", std::nullopt,
                                                 std::nullopt, std::nullopt},
       std::nullopt},
      {"family name only, token not UTF-8",
       AppleIDCredential{"001.c", bytes("code-3"), notUTF8, Name{std::nullopt, "Hopper"},
                         std::nullopt},
       SignInWithAppleDriver::AppleAuthorization{"code-3", std::nullopt, "001.c", std::nullopt,
                                                 "Hopper", std::nullopt},
       std::nullopt},
      {"code not UTF-8",
       AppleIDCredential{"001.d", notUTF8, std::nullopt, std::nullopt, std::nullopt}, std::nullopt,
       VoskaryError::authorizationFailed("siwa_missing_authcode")},
      {"no code", AppleIDCredential{"001.e", std::nullopt, bytes("t"), std::nullopt, std::nullopt},
       std::nullopt, VoskaryError::authorizationFailed("siwa_missing_authcode")},
      {"password", platform::PasswordCredential{"someone", "hunter2"}, std::nullopt,
       VoskaryError::authorizationFailed("siwa_missing_credential")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto out = authorize();
    EXPECT_FALSE(out->done);
    auto requests = sim().appleID->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().scopes,
              (std::vector{platform::AppleIDScope::fullName, platform::AppleIDScope::email}));
    EXPECT_EQ(requests.back().anchor, window);
    ASSERT_TRUE(sim().appleID->complete(c.credential));
    runUntilIdle();
    ASSERT_TRUE(out->done);
    EXPECT_EQ(out->value, c.expected);
    EXPECT_EQ(out->error, c.error);
  }
}

TEST_F(SignInWithAppleTest, OnlyCode1001IsACancel) {
  const std::pair<AuthorizationError::Code, VoskaryError> cases[] = {
      {AuthorizationError::canceled, VoskaryError::authorizationCancelled()},
      {AuthorizationError::failed, VoskaryError::authorizationFailed("The sheet failed.")},
      {AuthorizationError::unknown, VoskaryError::authorizationFailed("The sheet failed.")},
      {AuthorizationError::notHandled, VoskaryError::authorizationFailed("The sheet failed.")}};
  for (const auto& [code, error] : cases) {
    SCOPED_TRACE(code);
    auto out = authorize();
    ASSERT_TRUE(sim().appleID->fail(code, "The sheet failed."));
    runUntilIdle();
    EXPECT_EQ(out->error, error);
    // A platform that reports twice changes nothing.
    EXPECT_TRUE(sim().appleID->repeatLastAnswer());
    runUntilIdle();
    EXPECT_TRUE(sim().unhandledErrors().empty());
  }
}

TEST_F(SignInWithAppleTest, ACancelledTaskStopsWaitingForTheSheet) {
  auto out = std::make_shared<Outcome<SignInWithAppleDriver::AppleAuthorization>>();
  auto handle = platform::spawn(capture(driver->authorize(window), out));
  runUntilIdle();
  handle.cancel();
  runUntilIdle();
  ASSERT_TRUE(out->done);
  EXPECT_EQ(out->error, VoskaryError::authorizationCancelled());
  // The sheet's late answer finds nobody waiting.
  EXPECT_TRUE(sim().appleID->fail(AuthorizationError::failed));
  runUntilIdle();
  EXPECT_TRUE(sim().unhandledErrors().empty());
}

TEST_F(SignInWithAppleTest, OnLinuxSignInWithAppleIsUnavailableButNotCancelled) {
  platform::env().appleIDAuthorization =
      std::make_shared<platform::linuxbackend::UnavailableAppleIDAuthorization>();
  auto out = authorize();
  ASSERT_TRUE(out->done);
  EXPECT_EQ(out->error, VoskaryError::authorizationFailed(
                            platform::linuxbackend::UnavailableAppleIDAuthorization::message));

  recordStates();
  auto signIn = start(manager->signInWithApple(window, std::nullopt));
  runUntilIdle();
  ASSERT_TRUE(signIn->error);
  EXPECT_NE(*signIn->error, VoskaryError::authorizationCancelled());
  EXPECT_EQ(manager->state(), State::failed(*signIn->error));
}

TEST_F(SignInWithAppleTest, AnExceptionThatIsNoPlatformErrorLeavesTheStateAsItWas) {
  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       FakeAccountService::jsonAnswer(200, answer(true)));
  platform::env().keychain = std::make_shared<OutOfMemoryOnWrite>(platform::env().keychain);
  auto out = appleSignIn();
  ASSERT_TRUE(out->done);
  EXPECT_EQ(out->unexpected, "std::bad_alloc");
  EXPECT_EQ(manager->state(), State::signedOut());
}

TEST_F(SignInWithAppleTest, ANewAccountIsKnownBeforeTheHandlersHearOfIt) {
  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       FakeAccountService::jsonAnswer(200, answer(true)));
  std::vector<std::pair<State, std::optional<bool>>> heard;
  subscription = manager->onStateChange(
      [&](const State& s) { heard.emplace_back(s, manager->lastAppleSignInIsNewUser()); });
  advance(5);
  auto out = appleSignIn("install-arg");
  ASSERT_TRUE(out->value) << (out->error ? out->error->description() : "");
  EXPECT_EQ(*out->value, account());
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[1], std::pair(State::signingIn(), std::optional<bool>()));
  EXPECT_EQ(heard[2], std::pair(State::signedIn(account()), std::optional<bool>(true)));

  auto session = stored();
  ASSERT_TRUE(session);
  EXPECT_EQ(session->vas, "vas_apple");
  EXPECT_EQ(session->refreshToken, "rt_apple");
  EXPECT_EQ(session->appSlug, "flagrig");
  EXPECT_EQ(session->issuedAt, platform::env().clock->now());
  auto body = platform::JSONSerialization::parse(
      bodyText(requestsToPath(FakeAccountService::appleAuthcodePath).at(0)));
  EXPECT_EQ(body["authorization_code"], "apple-code");
  EXPECT_FALSE(body.contains("identity_token"));
  EXPECT_EQ(body["install_id"], "install-arg");

  // The next Apple sign-in clears the flag while it runs, in step with the state.
  std::vector<std::pair<VoskaryAccountManager::TrackedField, State>> changes;
  auto observing =
      manager->observeChanges([&](auto field) { changes.emplace_back(field, manager->state()); });
  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       FakeAccountService::jsonAnswer(200, answer(std::nullopt, false)));
  auto again = appleSignIn();
  ASSERT_TRUE(again->value);
  EXPECT_EQ(manager->lastAppleSignInIsNewUser(), std::nullopt);
  ASSERT_GE(changes.size(), 2u);
  EXPECT_EQ(changes[0].first, VoskaryAccountManager::TrackedField::state);
  EXPECT_EQ(changes[1], std::pair(VoskaryAccountManager::TrackedField::lastAppleSignInIsNewUser,
                                  State::signingIn()));
  EXPECT_FALSE(stored()->refreshToken);
}

TEST_F(SignInWithAppleTest, AnAnswerWithoutASessionFailsAndTouchesNothing) {
  storeSession(3600);
  auto before = storedBytes();
  auto incomplete = answer(true);
  incomplete.erase("email");
  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       FakeAccountService::jsonAnswer(200, incomplete));
  auto out = appleSignIn();
  EXPECT_EQ(out->error, VoskaryError::authorizationFailed("apple_authcode_unavailable"));
  EXPECT_EQ(manager->state(), State::failed(*out->error));
  EXPECT_EQ(manager->lastAppleSignInIsNewUser(), std::nullopt);
  EXPECT_EQ(storedBytes(), before);
}

TEST_F(SignInWithAppleTest, AnUpgradeNoticeOnASuccessfulAnswerKeepsTheSession) {
  service->setDeprecationHeader("client; min-version=9.0.0");
  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       FakeAccountService::jsonAnswer(200, answer(true)));
  auto out = appleSignIn();
  EXPECT_EQ(out->error, VoskaryError::requiresUpgrade("9.0.0"));
  EXPECT_EQ(manager->state(), State::failed(VoskaryError::requiresUpgrade("9.0.0")));
  ASSERT_TRUE(stored());
  EXPECT_EQ(stored()->vas, "vas_apple");
  EXPECT_EQ(manager->lastAppleSignInIsNewUser(), std::nullopt);
}

TEST_F(SignInWithAppleTest, SuccessEndsOfflineWorkAndFailureLeavesIt) {
  // Offline: an expired session whose refresh cannot reach the service.
  storeSession(-10);
  service->queueAnswer(
      FakeAccountService::refreshPath,
      platform::sim::SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet));
  auto restored = start(manager->restore());
  runUntilIdle();
  ASSERT_TRUE(manager->isOffline());

  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       FakeAccountService::jsonAnswer(500, {{"error", "down"}}));
  auto failed = appleSignIn();
  EXPECT_EQ(failed->error, VoskaryError::serverError(500, "down"));
  EXPECT_TRUE(manager->isOffline());

  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       FakeAccountService::jsonAnswer(200, answer(false)));
  auto succeeded = appleSignIn();
  ASSERT_TRUE(succeeded->value);
  EXPECT_FALSE(manager->isOffline());
  EXPECT_EQ(manager->lastAppleSignInIsNewUser(), false);

  // A browser sign-in leaves the Apple flag alone.
  auto browserOut = browserSignIn();
  ASSERT_TRUE(browserOut->value);
  EXPECT_EQ(manager->lastAppleSignInIsNewUser(), false);
}

}  // namespace
}  // namespace voskary::testing
