#include <gtest/gtest.h>

#include <map>

#include "../Account/AccountTest.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Settings/ResetService.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Security/Keychain.h"
#include "Platform/Sim/SimDesktop.h"
#include "Platform/Sim/SimKeychain.h"
#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

namespace flagrig {
namespace {

using namespace platform;

constexpr const char* kService = "com.voskary.account.flagrig";

// Remembers, for every save, how many launches the workspace had started by then.
class RecordingStore : public DefaultsStore {
 public:
  explicit RecordingStore(std::function<std::size_t()> launches) : launches_(std::move(launches)) {}
  Value::Dictionary load() override { return {}; }
  bool save(const Value::Dictionary& values) override {
    saves.push_back({values, launches_()});
    return true;
  }
  struct Save {
    Value::Dictionary values;
    std::size_t launchesBefore;
  };
  std::vector<Save> saves;

 private:
  std::function<std::size_t()> launches_;
};

class ResetServiceTest : public testing::AccountTest {
 protected:
  sim::SimDesktop& desktop() { return *sim().desktop; }
  const auto& launches() { return desktop().workspace().launches(); }
  bool hasItem(std::string_view account) {
    return sim().keychain->copyMatching({kService, std::string(account)}).status ==
           KeychainStatus::success;
  }
  void plantAccountItems() {
    for (const char* account : {"voskary_oidc_authstate", "voskary_dpop_jkt"})
      sim().keychain->plant({kService, account}, Value(Bytes{1, 2, 3}));
  }
  std::vector<std::string> warnings() {
    std::vector<std::string> lines;
    for (const auto& entry : DiagnosticLogBuffer::shared().logBufferJSON()) {
      auto text = [&](std::string_view key) {
        const auto* v = entry.find(key);
        return v && v->asString() ? *v->asString() : std::string();
      };
      if (text("level") == "warn" || text("level") == "error")
        lines.push_back(text("level") + " " + text("category") + ": " + text("msg"));
    }
    return lines;
  }
  // The reset as the settings window starts it. The process ends once the workspace has
  // reported back: `terminatedAfter` holds the warnings logged by then.
  void reset() {
    auto token =
        env().notificationCenter->addObserver(std::string(Application::willTerminateNotification),
                                              nullptr, nullptr, [this](const Notification&) {
                                                EXPECT_EQ(launches().size(), 1u);
                                                terminatedAfter = warnings();
                                              });
    await(ResetService::resetAndClearLocalData());
    runUntilIdle();
    env().notificationCenter->removeObserver(token);
    EXPECT_TRUE(desktop().hasTerminated());
  }
  std::optional<std::vector<std::string>> terminatedAfter;
};

TEST_F(ResetServiceTest, ASignedInResetWipesExactlyTheAccountItemsAndFlagsAndRelaunches) {
  auto store = std::make_shared<RecordingStore>([this] { return launches().size(); });
  sim().environment->defaults = std::make_shared<UserDefaults>(store, env().notificationCenter);
  auto& defaults = *env().defaults;
  const std::map<std::string, Value> survivors = {
      {"flagrig.palette", Value(Value::Array{Value(Value::Array{0.1, 0.2, 0.3, 1.0, 1.0, 1.0})})},
      {"flagrig.hotkeyCode", Value(40)},
      {"flagrig.deviceId", Value(kDeviceId)},
      {"flagrig.analyticsDisabled", Value(false)},
      {"voskary.error_telemetry_enabled", Value(true)},
      {"flagrig.diagnosticsEnabled", Value(true)},
      {"flagrig.betaUpdatesEnabled", Value(true)},
      {"flagrig.lastKnownVersion", Value("1.2")}};
  for (const auto& [key, value] : survivors) defaults.set(key, value);
  defaults.set("dev.voskary.flagrig.onboardingComplete.v2", Value(true));
  defaults.set("dev.voskary.flagrig.tagDemoComplete.v1", Value(true));

  voskary::VoskaryInstallMetrics metrics("flagrig");
  const std::string installID = metrics.installID();
  metrics.markFirstOpenFired();
  sim().keychain->addKey({"dev.voskary.account.dpop.privatekey", KeyToken::software, {9}});
  storeSession();
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  plantAccountItems();
  store->saves.clear();

  reset();

  ASSERT_EQ(eventNames(), std::vector<std::string>{"reset_local_data"});
  EXPECT_EQ(pick(events()[0], {"app_slug"}),
            (std::map<std::string, std::string>{{"app_slug", "flagrig"}}));
  int revokes = 0;
  for (const auto& recorded : sim().http->requests())
    revokes += recorded.request.url.absoluteString() == std::string(kBase) + "/api/sessions/revoke";
  EXPECT_EQ(revokes, 1);
  EXPECT_EQ(manager().state(), State::signedOut());
  for (const char* gone : {"voskary_session", "voskary_oidc_authstate", "voskary_dpop_jkt"})
    EXPECT_FALSE(hasItem(gone)) << gone;
  EXPECT_TRUE(hasItem("voskary_install_id"));
  EXPECT_TRUE(hasItem("voskary_first_open_fired"));
  EXPECT_EQ(metrics.installID(), installID);
  EXPECT_EQ(sim().keychain->copyKey("dev.voskary.account.dpop.privatekey").status,
            KeychainStatus::success);
  for (const auto& key : ResetService::defaultsKeys) EXPECT_FALSE(defaults.object(key)) << key;
  for (const auto& [key, value] : survivors) EXPECT_EQ(defaults.object(key), value) << key;

  // Saved without the flags before the new instance starts, which reads them.
  ASSERT_FALSE(store->saves.empty());
  const auto& beforeLaunch = store->saves.back();
  EXPECT_EQ(beforeLaunch.launchesBefore, 0u);
  EXPECT_FALSE(beforeLaunch.values.contains("dev.voskary.flagrig.tagDemoComplete.v1"));
  EXPECT_FALSE(beforeLaunch.values.contains("dev.voskary.flagrig.onboardingComplete.v2"));
  EXPECT_TRUE(beforeLaunch.values.contains("flagrig.deviceId"));

  ASSERT_EQ(launches().size(), 1u);
  EXPECT_EQ(launches()[0].path, sim().bundle->bundlePath().string());
  EXPECT_EQ(launches()[0].configuration, (WorkspaceOpenConfiguration{true, true}));
  EXPECT_TRUE(desktop().hasTerminated());
  EXPECT_TRUE(warnings().empty());
}

TEST_F(ResetServiceTest, OfflineOrSignedOutTheWipeAndRelaunchStillHappen) {
  for (bool signedIn : {true, false}) {
    SCOPED_TRACE(signedIn);
    if (signedIn) {
      storeSession();
      manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
      service->queueAnswer("/api/sessions/revoke",
                           sim::SimHTTPAnswer::failing(URLError::notConnectedToInternet));
    }
    env().defaults->set("dev.voskary.flagrig.tagDemoComplete.v1", Value(true));
    plantAccountItems();
    await(ResetService::resetAndClearLocalData());
    runUntilIdle();
    EXPECT_FALSE(hasItem("voskary_session"));
    EXPECT_FALSE(hasItem("voskary_dpop_jkt"));
    EXPECT_FALSE(env().defaults->object("dev.voskary.flagrig.tagDemoComplete.v1"));
    EXPECT_TRUE(desktop().hasTerminated());
    EXPECT_TRUE(warnings().empty());
  }
  EXPECT_EQ(launches().size(), 2u);
}

TEST_F(ResetServiceTest, ASignOutThatHangsIsLeftBehindAfterTenSeconds) {
  storeSession();
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  service->setHolding("/api/sessions/revoke", true);
  const auto started = env().clock->uptime();
  await(ResetService::resetAndClearLocalData());
  ASSERT_EQ(launches().size(), 1u);
  EXPECT_LE(std::chrono::duration<double>(env().clock->uptime() - started).count(),
            ResetService::signOutTimeout + 0.01);
  EXPECT_FALSE(hasItem("voskary_session")) << "the wipe removes the session item itself";
  ASSERT_EQ(warnings().size(), 1u);
  EXPECT_EQ(warnings()[0],
            "warn auth: signOut did not finish within 10 s during reset — continuing with "
            "local wipe");
}

TEST_F(ResetServiceTest, KeychainFailuresOtherThanNotFoundAreLoggedAndTheWipeGoesOn) {
  const OSStatus statuses[] = {KeychainStatus::notAvailable,  // no Secret Service
                               KeychainStatus::interactionNotAllowed};
  for (OSStatus status : statuses) {
    SCOPED_TRACE(status);
    const auto before = warnings().size();
    plantAccountItems();
    sim().keychain->failItem(sim::KeychainOperation::remove, kService, "voskary_oidc_authstate",
                             status);
    env().defaults->set("dev.voskary.flagrig.onboardingComplete.v2", Value(true));
    await(ResetService::resetAndClearLocalData());
    runUntilIdle();
    sim().keychain->clearFailures();
    auto added = warnings();
    added.erase(added.begin(), added.begin() + static_cast<long>(before));
    EXPECT_EQ(added, std::vector<std::string>{"warn auth: Reset could not delete the keychain item "
                                              "voskary_oidc_authstate (status " +
                                              std::to_string(status) + ")"});
    EXPECT_FALSE(hasItem("voskary_dpop_jkt")) << "the next item is still deleted";
    EXPECT_FALSE(env().defaults->object("dev.voskary.flagrig.onboardingComplete.v2"));
    EXPECT_TRUE(desktop().hasTerminated());
  }
}

TEST_F(ResetServiceTest, AFailedRelaunchIsLoggedAndTheAppStillQuits) {
  desktop().workspace().setLaunchFailure("The application could not be started.");
  reset();
  EXPECT_EQ(terminatedAfter, std::vector<std::string>{"error lifecycle: Relaunch after reset "
                                                      "failed: The application could not be "
                                                      "started."})
      << "logged before quitting";
}

}  // namespace
}  // namespace flagrig
