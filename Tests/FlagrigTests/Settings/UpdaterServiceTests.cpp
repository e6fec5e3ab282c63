#include <gtest/gtest.h>

#include "../Shell/ShellTest.h"
#include "Flagrig/Settings/UpdaterService.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Sim/SimSoftwareUpdater.h"

namespace flagrig {
namespace {

using namespace platform;

constexpr const char* kFeed = "https://updates.test/appcast.xml";
constexpr const char* kKey = "pfIShU4dEXqPd5ObYNfDBiQWcXozk7estwzTnF9BamQ=";

class UpdaterServiceTest : public testing::ShellTest {
 protected:
  // The information dictionary of the build, with these updater keys (absent when null).
  void setBuild(std::optional<Value> feed, std::optional<Value> key,
                std::optional<Value> version = Value("1.3.0")) {
    Value::Dictionary info{{"CFBundleName", Value("Flagrig")}};
    if (feed) info["SUFeedURL"] = *feed;
    if (key) info["SUPublicEDKey"] = *key;
    if (version) info["CFBundleShortVersionString"] = *version;
    sim().bundle->setInfoDictionary(Value(info));
  }
  // A launch of that build: a fresh updater.
  UpdaterService& launch() {
    resetSharedInstances();
    ServiceAddresses::setActiveForTesting({URL("https://account.test"),
                                           URL("https://analytics.test"), URL("https://web.test"),
                                           URL("https://contacts.test")});
    return UpdaterService::shared();
  }
  sim::SimSoftwareUpdater& framework() { return *sim().updaters->started().back(); }
  UpdaterService& configured() {
    setBuild(Value(kFeed), Value(kKey));
    auto& service = launch();
    runUntilIdle();
    return service;
  }
};

TEST_F(UpdaterServiceTest, OnlyAFeedWithARealKeyConfiguresUpdates) {
  struct Case {
    const char* name;
    std::optional<Value> feed, key;
    bool configured;
  };
  const Case cases[] = {
      {"both", Value(kFeed), Value(kKey), true},
      {"trimmed", Value(std::string(" \t") + kFeed + "\n"), Value(std::string("\n") + kKey + " "),
       true},
      {"placeholder key", Value(kFeed), Value("REPLACE_WITH_YOUR_KEY"), false},
      {"blank key", Value(kFeed), Value(" \n\t "), false},
      {"no key", Value(kFeed), std::nullopt, false},
      {"no feed", std::nullopt, Value(kKey), false},
      {"feed not text", Value(42), Value(kKey), false},
      {"key not text", Value(kFeed), Value(Value::Array{Value(kKey)}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setBuild(c.feed, c.key);
    EXPECT_EQ(UpdaterService::hasValidSparkleConfig(), c.configured);
    const auto started = sim().updaters->started().size();
    auto& service = launch();
    EXPECT_EQ(service.isConfigured(), c.configured);
    EXPECT_EQ(sim().updaters->started().size(), started + (c.configured ? 1 : 0));
    EXPECT_FALSE(service.canCheckForUpdates()) << "the first value arrives a turn later";
    runUntilIdle();
    EXPECT_EQ(service.canCheckForUpdates(), c.configured);

    auto policy = app().activationPolicy();
    service.checkForUpdates();
    EXPECT_EQ(service.policyBeforeCheck().has_value(), c.configured);
    if (!c.configured) {
      EXPECT_EQ(app().activationPolicy(), policy);
    }
  }
}

TEST_F(UpdaterServiceTest, ANewVersionIsReportedOnceEvenWithoutUpdates) {
  struct Case {
    const char* name;
    std::optional<Value> stored;
    std::optional<Value> current;
    std::vector<std::string> events;
    std::optional<Value> storedAfter;
  };
  const Case cases[] = {
      {"first launch", std::nullopt, Value("1.3.0"), {}, Value("1.3.0")},
      {"update",
       Value("1.2.0"),
       Value("1.3.0"),
       {"update_installed", "app_updated"},
       Value("1.3.0")},
      {"downgrade",
       Value("1.3.0"),
       Value("1.2.0"),
       {"update_installed", "app_updated"},
       Value("1.2.0")},
      {"same", Value("1.3.0"), Value("1.3.0"), {}, Value("1.3.0")},
      {"empty stored", Value(""), Value("1.3.0"), {}, Value("1.3.0")},
      {"no version", Value("1.2.0"), std::nullopt, {}, Value("1.2.0")},
      {"empty version", Value("1.2.0"), Value(""), {}, Value("1.2.0")},
      {"version not text", Value("1.2.0"), Value(13), {}, Value("1.2.0")},
  };
  std::size_t seen = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setBuild(std::nullopt, std::nullopt, c.current);
    if (c.stored)
      defaults().set(UpdaterService::lastKnownVersionKey, *c.stored);
    else
      defaults().removeObject(UpdaterService::lastKnownVersionKey);
    launch();
    auto events = trackedEvents();
    EXPECT_EQ(std::vector<std::string>(events.begin() + static_cast<long>(seen), events.end()),
              c.events);
    if (c.name == std::string("update")) {
      EXPECT_NE(bodies[seen].find(R"("from_version":"1.2.0")"), std::string::npos);
      EXPECT_NE(bodies[seen].find(R"("to_version":"1.3.0")"), std::string::npos);
      const auto& updated = bodies[seen + 1];
      EXPECT_NE(updated.find(R"("prior_version":"1.2.0")"), std::string::npos);
      EXPECT_NE(updated.find(R"("new_version":"1.3.0")"), std::string::npos);
      EXPECT_NE(updated.find(R"("install_channel":"sparkle")"), std::string::npos);
    }
    seen = events.size();
    EXPECT_EQ(defaults().object(UpdaterService::lastKnownVersionKey), c.storedAfter);
  }
}

TEST_F(UpdaterServiceTest, ACheckShowsTheDockIconUntilItsCycleEnds) {
  auto& service = configured();
  app().setActivationPolicy(ActivationPolicy::accessory);
  service.checkForUpdates();
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
  EXPECT_TRUE(app().isActive());
  service.checkForUpdates();
  EXPECT_EQ(framework().checkCount(), 2);
  EXPECT_EQ(service.policyBeforeCheck(), ActivationPolicy::accessory)
      << "the second check keeps the first saved policy";
  framework().finishUpdateCycle();
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::accessory);
  EXPECT_FALSE(service.policyBeforeCheck());

  // A cycle the user did not start restores nothing.
  app().setActivationPolicy(ActivationPolicy::regular);
  framework().finishUpdateCycle();
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
}

TEST_F(UpdaterServiceTest, TheRestoredPolicyFollowsTheWindowsOpenWhenTheCycleEnds) {
  struct Case {
    const char* name;
    bool windowBefore, windowAfter;
    ActivationPolicy expected;
  };
  const Case cases[] = {
      {"settings open throughout", true, true, ActivationPolicy::regular},
      {"settings closed during the check", true, false, ActivationPolicy::accessory},
      {"settings opened during the check", false, true, ActivationPolicy::regular},
      {"no window", false, false, ActivationPolicy::accessory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& service = configured();
    auto window = testing::makeScreenWindow();
    if (c.windowBefore) window->makeKeyAndOrderFront();
    app().setActivationPolicy(c.windowBefore ? ActivationPolicy::regular
                                             : ActivationPolicy::accessory);
    service.checkForUpdates();
    if (c.windowAfter)
      window->makeKeyAndOrderFront();
    else
      window->orderOut();
    framework().finishUpdateCycle();
    EXPECT_EQ(app().activationPolicy(), c.expected);
    window->orderOut();
  }
}

TEST_F(UpdaterServiceTest, TheStatusMessageShowsTheLastFailureUntilACheckGoesThrough) {
  auto& service = configured();
  int changes = 0;
  auto token = env().notificationCenter->addObserver(
      std::string(UpdaterService::didChangeNotification), &service, nullptr,
      [&](const Notification&) { ++changes; });

  framework().finishUpdateCycle(UpdaterError{"NSURLErrorDomain", "The network is offline."});
  EXPECT_EQ(service.statusMessage(), "Update check failed: The network is offline.");
  EXPECT_EQ(changes, 1);
  framework().finishUpdateCycle(
      UpdaterError{std::string(UpdaterError::updaterDomain), "You're up to date!"});
  EXPECT_EQ(service.statusMessage(), "Update check failed: The network is offline.")
      << "the framework's own outcomes are no failure";
  EXPECT_EQ(changes, 1);
  framework().finishUpdateCycle();
  EXPECT_FALSE(service.statusMessage());
  EXPECT_EQ(changes, 2);
  framework().finishUpdateCycle();
  EXPECT_EQ(changes, 2) << "nothing changed, nothing posted";

  // "Can check" changes reach an open window too.
  framework().setCanCheckForUpdates(false);
  EXPECT_EQ(changes, 2);
  runUntilIdle();
  EXPECT_FALSE(service.canCheckForUpdates());
  EXPECT_EQ(changes, 3);
  env().notificationCenter->removeObserver(token);
}

TEST_F(UpdaterServiceTest, TheBetaChannelFollowsThePreferenceAtEachRead) {
  configured();
  EXPECT_TRUE(framework().readFeedChannels().empty());
  defaults().set(UpdaterService::betaUpdatesKey, Value(true));
  EXPECT_EQ(framework().readFeedChannels(), std::set<std::string>{"beta"});
  defaults().set(UpdaterService::betaUpdatesKey, Value(false));
  EXPECT_TRUE(framework().readFeedChannels().empty());
}

TEST_F(UpdaterServiceTest, TheShellReachesTheSharedUpdater) {
  auto& service = configured();
  UpdaterService::install();
  auto& screen = *AppScreens::shared().updater;
  screen.create();
  EXPECT_TRUE(screen.canCheckForUpdates());
  screen.checkForUpdates();
  EXPECT_EQ(framework().checkCount(), 1);
  EXPECT_TRUE(service.policyBeforeCheck());
}

}  // namespace
}  // namespace flagrig
