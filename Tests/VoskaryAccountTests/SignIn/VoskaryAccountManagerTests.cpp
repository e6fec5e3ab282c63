#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"

#include <atomic>
#include <thread>

#include "Platform/Sim/SimKeychain.h"
#include "Platform/Sim/SimSystemLog.h"
#include "SignInFixture.h"
#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

namespace voskary::testing {
namespace {

using platform::sim::KeychainOperation;

class VoskaryAccountManagerTest : public SignInFixture {};

TEST_F(VoskaryAccountManagerTest, AHandlerHearsTheStateAtOnceAndAfterEveryTransition) {
  std::vector<State> heard;
  auto subscription = manager->onStateChange([&](const State& s) { heard.push_back(s); });
  ASSERT_EQ(heard, std::vector<State>{State::signedOut()});

  std::vector<VoskaryAccountManager::TrackedField> changed;
  auto observing = manager->observeChanges([&](auto field) { changed.push_back(field); });
  manager->transition(State::signedOut());  // equal: handlers called, observers not
  manager->transition(State::signingIn());
  manager->transition(State::signingIn());
  EXPECT_EQ(heard, (std::vector<State>{State::signedOut(), State::signedOut(), State::signingIn(),
                                       State::signingIn()}));
  EXPECT_EQ(changed, std::vector{VoskaryAccountManager::TrackedField::state});
  EXPECT_EQ(manager->state(), State::signingIn());

  subscription.reset();
  manager->transition(State::signedIn(account()));
  EXPECT_EQ(heard.size(), 4u);
}

TEST_F(VoskaryAccountManagerTest, CancellingIsIdempotentAndOutlivesTheManager) {
  int calls = 0;
  auto subscription = manager->onStateChange([&](const State&) { ++calls; });
  subscription->cancel();
  subscription->cancel();
  manager->transition(State::signingIn());
  EXPECT_EQ(calls, 1);
  auto late = manager->onStateChange([&](const State&) { ++calls; });
  manager.reset();
  late->cancel();
  late.reset();
  EXPECT_EQ(calls, 2);
}

TEST_F(VoskaryAccountManagerTest, HandlersMayCancelRegisterAndTransitionFromWithinATransition) {
  std::vector<std::string> calls;
  std::unique_ptr<VoskaryAccountManager::StateSubscription> second;
  std::unique_ptr<VoskaryAccountManager::StateSubscription> added;
  bool reentered = false;
  auto first = manager->onStateChange([&](const State& s) {
    calls.push_back("first " + s.description());
    if (!s.as<State::SigningIn>()) return;
    // Cancelling and registering during a transition change nothing for that transition.
    second->cancel();
    added = manager->onStateChange(
        [&](const State& t) { calls.push_back("added " + t.description()); });
    if (!reentered) {
      reentered = true;
      manager->transition(State::failed(VoskaryError::authorizationCancelled()));
    }
  });
  second =
      manager->onStateChange([&](const State& s) { calls.push_back("second " + s.description()); });
  calls.clear();

  manager->transition(State::signingIn());
  // The nested transition reached every handler registered when it started; the outer one's
  // delivery to "second", older than what it had heard by then, is dropped.
  auto count = [&](const std::string& call) {
    return std::count(calls.begin(), calls.end(), call);
  };
  EXPECT_EQ(count("first signingIn"), 1);
  EXPECT_EQ(count("first failed(Sign-in was cancelled.)"), 1);
  EXPECT_EQ(count("added signingIn"), 1);  // its own immediate call
  EXPECT_EQ(manager->state(), State::failed(VoskaryError::authorizationCancelled()));
  calls.clear();
  manager->transition(State::signedOut());
  EXPECT_EQ(count("second signedOut"), 0);
  EXPECT_EQ(count("first signedOut"), 1);
}

TEST_F(VoskaryAccountManagerTest, ANestedTransitionIsTheLastStateEveryHandlerHears) {
  // One handler moves the state on from inside a transition; the outer transition's delivery
  // to the others, which comes after (in whatever order handlers run), must not undo it.
  for (int round = 0; round < 16; ++round) {
    SCOPED_TRACE(round);
    manager->transition(State::signedOut());
    std::vector<std::optional<State>> last(3);
    std::vector<std::unique_ptr<VoskaryAccountManager::StateSubscription>> subscriptions;
    for (int i = 0; i < 3; ++i) {
      subscriptions.push_back(manager->onStateChange([&, i](const State& s) {
        last[i] = s;
        if (i == 0 && s.as<State::SigningIn>())
          manager->transition(State::failed(VoskaryError::networkUnavailable()));
      }));
    }
    manager->transition(State::signingIn());
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(last[i], State::failed(VoskaryError::networkUnavailable())) << "handler " << i;
    }
  }
}

TEST_F(VoskaryAccountManagerTest, AHandlerRegisteredDuringTransitionsNeverHearsAnOlderStateLast) {
  // Transitions on this thread race registrations on another: each handler must end on the
  // newest state it could know of, never on the stale one read when it registered.
  constexpr int kHandlers = 300;
  std::atomic<bool> registering{true};
  std::atomic<int> violations{0};
  std::vector<std::unique_ptr<VoskaryAccountManager::StateSubscription>> subscriptions;
  std::thread registrar([&] {
    for (int i = 0; i < kHandlers; ++i) {
      auto last = std::make_shared<int>(-1);
      subscriptions.push_back(manager->onStateChange([last, &violations](const State& s) {
        auto in = s.as<State::SignedIn>();
        int n = in ? std::stoi(in->account.emailPrimary) : -1;
        if (n < *last) ++violations;
        *last = n;
      }));
    }
    registering = false;
  });
  int transitions = 0;
  while (registering)
    manager->transition(State::signedIn(account(kAccountID, std::to_string(transitions++))));
  registrar.join();
  EXPECT_EQ(violations.load(), 0);
}

TEST_F(VoskaryAccountManagerTest, DeprecationNoticesAreRecordedOnTheMainQueue) {
  auto endpoint = VoskaryDeprecationNotice::endpoint(platform::URL("/api/v2/x"), std::nullopt,
                                                     std::string("sunset"));
  auto client =
      VoskaryDeprecationNotice::client("1.0.0", std::string("2.0.0"), std::string("security"));
  manager->handleDeprecationNotices({endpoint});
  EXPECT_FALSE(manager->lastDeprecationNotice());  // not before the main queue runs
  runUntilIdle();
  EXPECT_EQ(manager->lastDeprecationNotice(), endpoint);
  EXPECT_FALSE(manager->libVersionPolicy());

  manager->handleDeprecationNotices({endpoint, client});
  runUntilIdle();
  EXPECT_EQ(manager->lastDeprecationNotice(), client);
  EXPECT_EQ(manager->libVersionPolicy(),
            (LibVersionPolicy{"1.0.0", "2.0.0", std::nullopt, "security", std::nullopt}));
  manager->handleDeprecationNotices({endpoint});
  runUntilIdle();
  EXPECT_EQ(manager->libVersionPolicy()->minVersion, "1.0.0");

  // Through the client's hook: every answer's header reaches the manager.
  service->setDeprecationHeader("client; min-version=1.2.0; reason=old");
  storeSession(3600);
  auto out = start(manager->getAppDataToken());
  runUntilIdle();
  ASSERT_TRUE(out->value);
  EXPECT_EQ(manager->libVersionPolicy()->minVersion, "1.2.0");
}

TEST_F(VoskaryAccountManagerTest, TheRefreshHookRewritesOnlyTheSessionWhoseTokenWasSpent) {
  enum class Stored { spentToken, otherToken, noToken, none, writeFails };
  struct Case {
    const char* name;
    Stored stored;
    bool rewritten;
  };
  const Case cases[] = {{"same token", Stored::spentToken, true},
                        {"other token", Stored::otherToken, false},
                        {"no refresh token", Stored::noToken, true},
                        {"nothing stored", Stored::none, false},
                        {"write fails", Stored::writeFails, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim().keychain->clearFailures();
    manager->storage()->deleteData(KeychainStorage::Keys::session);
    StoredSession session = storeSession(3600);
    const std::string spent = *session.refreshToken;
    if (c.stored == Stored::otherToken) session.refreshToken = "rt_other";
    if (c.stored == Stored::noToken) session.refreshToken.reset();
    manager->storage()->setJSON(session, KeychainStorage::Keys::session);
    if (c.stored == Stored::none) manager->storage()->deleteData(KeychainStorage::Keys::session);
    if (c.stored == Stored::writeFails)
      sim().keychain->failOperation(KeychainOperation::update, -25293);
    auto before = storedBytes();
    auto logged = sim().systemLog->entries().size();
    advance(60);

    auto out = start(manager->authClient()->refreshSerialized(spent));
    runUntilIdle();
    ASSERT_TRUE(out->value);
    EXPECT_EQ(manager->state(), State::signedOut());  // the hook publishes nothing
    if (!c.rewritten) {
      EXPECT_EQ(storedBytes(), before);
    } else {
      auto now = stored();
      ASSERT_TRUE(now);
      EXPECT_EQ(now->vas, out->value->vas);
      EXPECT_EQ(now->refreshToken, out->value->refreshToken);
      EXPECT_EQ(now->issuedAt, platform::env().clock->now());
      EXPECT_EQ(now->account, account());
    }
    auto entries = sim().systemLog->entries();
    if (c.stored == Stored::writeFails) {
      ASSERT_EQ(entries.size(), logged + 1);
      EXPECT_EQ(entries.back().subsystem, "dev.voskary.account");
      EXPECT_EQ(entries.back().category, "session");
      EXPECT_EQ(entries.back().message.rfind("session persist after refresh failed: ", 0), 0u);
    } else {
      EXPECT_EQ(entries.size(), logged);
    }
  }
}

TEST_F(VoskaryAccountManagerTest, DefinitiveFailuresAreAnExpiredSessionOrInvalidGrant) {
  const std::pair<VoskaryError, bool> cases[] = {
      {VoskaryError::serverError(400, "invalid_grant"), true},
      {VoskaryError::serverError(401, "invalid_grant"), true},
      {VoskaryError::serverError(400), false},
      {VoskaryError::serverError(400, "invalid_request"), false},
      {VoskaryError::networkUnavailable(), false},
      {VoskaryError::malformedResponse("VasResponse"), false},
      {VoskaryError::sessionExpired(), true},
      {VoskaryError::requiresUpgrade("2.0.0"), false}};
  for (const auto& [error, definitive] : cases) {
    SCOPED_TRACE(error.description());
    EXPECT_EQ(VoskaryAccountManager::isDefinitiveAuthFailure(error), definitive);
  }
}

TEST_F(VoskaryAccountManagerTest, WithoutADeviceKeyThereAreNoProofs) {
  EXPECT_EQ(manager->dpopThumbprint(), manager->dpopSigner()->jktThumbprint());
  auto htu = platform::URL("https://app.voskary.test/api/account/consents");
  EXPECT_TRUE(manager->generateDPoPProof(htu, "POST", std::nullopt));

  auto keyless = VoskaryAccountManager::make(config(), []() -> std::shared_ptr<const DPoPSigner> {
    throw VoskaryError::dpopUnavailable("no_key");
  });
  EXPECT_FALSE(keyless->dpopSigner());
  EXPECT_FALSE(keyless->dpopThumbprint());
  EXPECT_FALSE(keyless->generateDPoPProof(htu, "POST", std::string("vas")));
  manager = keyless;
  storeSession(3600);
  auto out = start(manager->getAppDataToken());
  runUntilIdle();
  ASSERT_TRUE(out->value);
  auto requests = requestsToPath(FakeAccountService::appDataTokenPath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].value("Authorization"));
  EXPECT_FALSE(requests[0].value("DPoP"));
}

TEST_F(VoskaryAccountManagerTest, AConfigurationWithoutAnInstallIDGetsTheStoredOne) {
  manager = makeManager(AuthScheme::systemBrowser, std::nullopt);
  auto installID = VoskaryInstallMetrics("flagrig").installID();
  EXPECT_EQ(manager->config().installID(), installID);
  auto out = browserSignIn();
  ASSERT_TRUE(out->value);
  auto requests = requestsToPath(FakeAccountService::exchangePath);
  ASSERT_EQ(requests.size(), 1u);
  auto body = platform::JSONSerialization::parse(bodyText(requests[0]));
  EXPECT_EQ(body["install_id"], installID);
}

}  // namespace
}  // namespace voskary::testing
