#include "Platform/Foundation/Clock.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "Platform/Sim/SimKeychain.h"
#include "SignInFixture.h"
#include "Support/Tarnwick/FakeWindow.h"

namespace voskary::testing {
namespace {

using platform::sim::SimHTTPAnswer;

class SessionLifecycleTest : public SignInFixture {
 protected:
  enum class Refresh { none, ok, invalidGrant, unauthorized, serverError, offline };

  // Scripts the next refresh answer; `ok` and `invalidGrant` are the service's own.
  void scriptRefresh(Refresh refresh) {
    const std::string path = FakeAccountService::refreshPath;
    switch (refresh) {
      case Refresh::unauthorized:
        service->queueAnswer(path, FakeAccountService::jsonAnswer(401, {{"error", "expired"}}));
        break;
      case Refresh::serverError:
        service->queueAnswer(path, FakeAccountService::jsonAnswer(503, {{"error", "busy"}}));
        break;
      case Refresh::offline:
        service->queueAnswer(path,
                             SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet));
        break;
      case Refresh::invalidGrant:
        service->queueAnswer(path,
                             FakeAccountService::jsonAnswer(400, {{"error", "invalid_grant"}}));
        break;
      default:
        break;
    }
  }
  template <class T>
  std::shared_ptr<Outcome<T>> run(platform::Task<T> task) {
    auto out = start(std::move(task));
    runUntilIdle();
    EXPECT_TRUE(out->done);
    return out;
  }
};

TEST_F(SessionLifecycleTest, RestoreFollowsExpiryRefreshTokenAndRefreshOutcome) {
  enum class End { storedAccount, refreshedAccount, nothing };
  struct Case {
    const char* name;
    double expiresIn;
    bool refreshToken;
    Refresh refresh;
    End end;
    bool kept;     // the stored session stays as it was
    bool deleted;  // no session afterwards
    bool offline;
  };
  const Case cases[] = {
      {"valid", 60, true, Refresh::none, End::storedAccount, true, false, false},
      {"valid without token", 60, false, Refresh::none, End::storedAccount, true, false, false},
      {"expires now, refreshed", 0, true, Refresh::ok, End::refreshedAccount, false, false, false},
      {"expires now, no token", 0, false, Refresh::none, End::nothing, false, true, false},
      {"expired, refreshed", -60, true, Refresh::ok, End::refreshedAccount, false, false, false},
      {"expired, invalid grant", -60, true, Refresh::invalidGrant, End::nothing, false, true,
       false},
      {"expired, 401", -60, true, Refresh::unauthorized, End::nothing, false, true, false},
      {"expired, server error", -60, true, Refresh::serverError, End::storedAccount, true, false,
       true},
      {"expired, offline", -60, true, Refresh::offline, End::storedAccount, true, false, true},
      {"expired, no token", -60, false, Refresh::none, End::nothing, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    manager = makeManager();
    states.clear();
    recordStates();
    StoredSession session = storeSession(c.expiresIn, c.refreshToken);
    scriptRefresh(c.refresh);
    auto before = storedBytes();
    auto requests = sim().http->requests().size();

    auto out = run(manager->restore());
    ASSERT_TRUE(out->value);
    const auto& restored = *out->value;
    EXPECT_EQ(manager->isOffline(), c.offline);
    switch (c.end) {
      case End::storedAccount:
        EXPECT_EQ(restored, session.account);
        EXPECT_EQ(manager->state(), State::signedIn(session.account));
        break;
      case End::refreshedAccount: {
        EXPECT_EQ(restored, account());
        auto now = stored();
        ASSERT_TRUE(now);
        EXPECT_NE(now->vas, session.vas);
        EXPECT_TRUE(service->isLive(now->vas));
        EXPECT_EQ(manager->state(), State::signedIn(account()));
        break;
      }
      case End::nothing:
        EXPECT_FALSE(restored);
        EXPECT_EQ(states, std::vector<State>{State::signedOut()}) << "the state was touched";
        break;
    }
    if (c.kept) {
      EXPECT_EQ(storedBytes(), before);
    }
    EXPECT_EQ(!storedBytes(), c.deleted);
    if (c.refresh == Refresh::none) {
      EXPECT_EQ(sim().http->requests().size(), requests);
    }
    manager->storage()->deleteData(KeychainStorage::Keys::session);
  }
}

// A wall clock that moves on by a second every time it is read.
class SteppingClock final : public platform::Clock {
 public:
  explicit SteppingClock(platform::Date start) : now_(start) {}
  platform::Date now() const override {
    now_ = now_.addingTimeInterval(1);
    return now_;
  }
  platform::Uptime uptime() const override { return platform::Uptime{}; }

 private:
  mutable platform::Date now_;
};

TEST_F(SessionLifecycleTest, RestoreDecidesOnOneReadingOfTheClock) {
  // The session expires between two readings: one reading says valid, and nothing is lost.
  StoredSession session = storeSession(1.5, false);
  auto manual = platform::env().clock;
  platform::env().clock = std::make_shared<SteppingClock>(manual->now());
  auto out = run(manager->restore());
  platform::env().clock = manual;
  ASSERT_TRUE(out->value);
  EXPECT_EQ(*out->value, session.account);
  EXPECT_TRUE(storedBytes());
}

TEST_F(SessionLifecycleTest, ARestoreThatDeletesTheSessionEndsASignedInState) {
  storeSession(60, false);
  ASSERT_TRUE(run(manager->restore())->value->has_value());
  advance(120);
  auto out = run(manager->restore());
  EXPECT_FALSE(*out->value);
  EXPECT_FALSE(storedBytes());
  EXPECT_EQ(manager->state(), State::signedOut());
}

TEST_F(SessionLifecycleTest, OfflineLastsUntilARefreshSucceeds) {
  storeSession(-60);
  scriptRefresh(Refresh::offline);
  run(manager->restore());
  EXPECT_TRUE(manager->isOffline());
  auto out = run(manager->restore());
  EXPECT_FALSE(manager->isOffline());
  EXPECT_EQ(*out->value, std::optional(account()));
}

TEST_F(SessionLifecycleTest, RecoveryRefreshesOnceOrEndsTheSession) {
  struct Case {
    const char* name;
    bool session;
    bool refreshToken;
    Refresh refresh;
    bool usable;
    std::optional<State> state;  // none: unchanged
    bool offline;
  };
  const Case cases[] = {
      {"refreshed", true, true, Refresh::ok, true, State::signedIn(account()), false},
      {"invalid grant", true, true, Refresh::invalidGrant, false, State::signedOut(), false},
      {"offline", true, true, Refresh::offline, true, std::nullopt, true},
      {"no refresh token", true, false, Refresh::none, false, State::signedOut(), false},
      {"no session", false, false, Refresh::none, false, State::signedOut(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    manager = makeManager();
    manager->transition(State::signedIn(account()));
    if (c.session) storeSession(600, c.refreshToken);
    scriptRefresh(c.refresh);
    auto before = storedBytes();
    auto out = run(manager->recoverRejectedSession());
    EXPECT_EQ(out->value, c.usable);
    EXPECT_EQ(manager->state(), c.state.value_or(State::signedIn(account())));
    EXPECT_EQ(manager->isOffline(), c.offline);
    if (!c.usable) {
      EXPECT_FALSE(storedBytes());
    }
    if (c.offline) {
      EXPECT_EQ(storedBytes(), before);
    }
    manager->storage()->deleteData(KeychainStorage::Keys::session);
  }
}

TEST_F(SessionLifecycleTest, SignOutRevokesThenForgetsWhateverTheServiceSays) {
  struct Case {
    const char* name;
    std::optional<SimHTTPAnswer> revokeAnswer;  // none: the service's own
    bool corruptItem;
  };
  const Case cases[] = {
      {"revoked", std::nullopt, false},
      {"unreachable", SimHTTPAnswer::failing(platform::URLError::cannotConnectToHost), false},
      {"server error", FakeAccountService::jsonAnswer(500, {{"error", "x"}}), false},
      {"corrupt item", std::nullopt, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    manager->transition(State::signedIn(account()));
    auto session = storeSession(600);
    if (c.corruptItem) {
      manager->storage()->setData(platform::Bytes{'{', 'x'}, KeychainStorage::Keys::session);
      EXPECT_FALSE(*run(manager->restore())->value);
      EXPECT_TRUE(storedBytes()) << "restore must leave an unreadable item in place";
    }
    if (c.revokeAnswer) service->queueAnswer(FakeAccountService::revokePath, *c.revokeAnswer);
    auto revokes = service->requestCount(FakeAccountService::revokePath);
    auto out = run(manager->signOut());
    EXPECT_TRUE(out->value) << (out->error ? out->error->description() : "");
    EXPECT_EQ(manager->state(), State::signedOut());
    EXPECT_FALSE(storedBytes());
    EXPECT_EQ(service->requestCount(FakeAccountService::revokePath),
              revokes + (c.corruptItem ? 0 : 1));
    if (!c.revokeAnswer && !c.corruptItem) {
      EXPECT_FALSE(service->isLive(session.vas));
    }
  }
}

TEST_F(SessionLifecycleTest, TheAppDataTokenNeedsAStoredSession) {
  EXPECT_EQ(errorOf(manager->getAppDataToken()), VoskaryError::notSignedIn());
  EXPECT_TRUE(sim().http->requests().empty());
  auto session = storeSession(30 * 24 * 3600.0);
  auto out = run(manager->getAppDataToken());
  EXPECT_EQ(out->value, "adt_" + session.vas);
  service->queueAnswer(FakeAccountService::appDataTokenPath,
                       FakeAccountService::jsonAnswer(403, {{"error", "forbidden"}}));
  EXPECT_EQ(errorOf(manager->getAppDataToken()), VoskaryError::serverError(403, "forbidden"));
}

TEST_F(SessionLifecycleTest, ARefreshAnsweredAfterASignOutBringsNothingBack) {
  storeSession(-60);
  service->setHolding(FakeAccountService::refreshPath, true);
  auto restoring = start(manager->restore());
  runUntilIdle();
  ASSERT_EQ(sim().http->heldCount(), 1u);
  recordStates();
  auto signingOut = run(manager->signOut());
  EXPECT_TRUE(signingOut->value);
  ASSERT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  ASSERT_TRUE(restoring->done);
  ASSERT_TRUE(restoring->value);
  EXPECT_FALSE(*restoring->value);
  EXPECT_FALSE(storedBytes()) << "the refreshed session was written back";
  EXPECT_EQ(manager->state(), State::signedOut());
  for (const auto& state : states) {
    EXPECT_FALSE(state.as<State::SignedIn>()) << state.description();
  }
}

TEST_F(SessionLifecycleTest, ARefreshAnsweredAfterANewSignInLeavesTheNewSession) {
  storeSession(-60);
  service->setHolding(FakeAccountService::refreshPath, true);
  auto restoring = start(manager->restore());
  runUntilIdle();
  ASSERT_EQ(sim().http->heldCount(), 1u);

  // Someone else signs in with Apple while the refresh waits.
  const std::string other = "va_0190b3c4-5d6e-7f80-9a1b-000000000002";
  service->addAuthorizationCode("apple-other", other, "other@voskary.test");
  auto signingIn = start(manager->signInWithApple(tarnwick::testing::fakeWindow(), std::nullopt));
  runUntilIdle();
  ASSERT_TRUE(sim().appleID->complete(platform::AppleIDCredential{
      "001.x", platform::Bytes{'a', 'p', 'p', 'l', 'e', '-', 'o', 't', 'h', 'e', 'r'}, std::nullopt,
      std::nullopt, std::nullopt}));
  runUntilIdle();
  ASSERT_TRUE(signingIn->value);
  auto newSession = storedBytes();

  ASSERT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  ASSERT_TRUE(restoring->done);
  EXPECT_EQ(storedBytes(), newSession);
  EXPECT_EQ(manager->state(), State::signedIn(account(other, "other@voskary.test")));
}

}  // namespace
}  // namespace voskary::testing
