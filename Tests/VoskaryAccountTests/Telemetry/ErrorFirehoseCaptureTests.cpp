#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/UnicodeText.h"
#include "TelemetryTest.h"
#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

namespace voskary {
namespace {

using CaptureTest = TelemetryTest;

TEST_F(CaptureTest, ANewClientHasTheDefaultIdentityAndConfigureKeepsWhatIsNotGiven) {
  auto fresh = ErrorFirehoseClient::create();
  auto context = Access::snapshot(*fresh);
  EXPECT_EQ(context.appSlug, "unknown");
  EXPECT_EQ(context.platform, "mac");
  EXPECT_EQ(context.appVersion, "0.0.0");
  EXPECT_EQ(context.osVersion, platform::env().processInfo->operatingSystemVersion().text());
  EXPECT_EQ(context.identityURL, ErrorFirehoseClient::defaultIdentityURL());
  EXPECT_EQ(context.urlSession, platform::env().httpSession);

  fresh->configure("flagrig", std::nullopt, "2.0", std::nullopt, "install-1",
                   platform::URL(serviceBase), nullptr);
  context = Access::snapshot(*fresh);
  EXPECT_EQ(context.platform, "mac");
  EXPECT_EQ(context.osVersion, platform::env().processInfo->operatingSystemVersion().text());
  EXPECT_EQ(context.dailyToken, "3e1ce64413ac4f47");

  fresh->configure("flagrig", "macos", "2.0", "14.5.0", "install-2", platform::URL(serviceBase),
                   nullptr);
  EXPECT_EQ(Access::dailyToken(*fresh), ErrorFirehoseClient::computeDailyToken("install-2"));
  fresh->configure("flagrig", std::nullopt, "2.0", std::nullopt, "install-2",
                   platform::URL(serviceBase), nullptr);
  EXPECT_EQ(Access::snapshot(*fresh).platform, "macos");
  EXPECT_EQ(Access::snapshot(*fresh).osVersion, "14.5.0");
}

TEST_F(CaptureTest, UptimeIsRoundedDownToWholeHalfMinutes) {
  const std::vector<std::pair<std::optional<std::int64_t>, std::optional<std::int64_t>>> cases = {
      {29, 0}, {30, 30}, {95, 90}, {std::nullopt, std::nullopt}};
  for (const auto& [given, stored] : cases) {
    client->updateContext(true, false, given);
    EXPECT_EQ(Access::uptime(*client), stored);
  }
  client->observeFromFacade(VoskaryLogLevel::error, "Disk full", {}, std::nullopt);
  client->updateContext(true, false, 95);
  client->observeFromFacade(VoskaryLogLevel::error, "Disk full", {}, std::nullopt);
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_TRUE(buffered[0].signedIn);
  EXPECT_FALSE(buffered[0].online);
  EXPECT_EQ(buffered[0].sessionUptimeSeconds, 90);
}

TEST_F(CaptureTest, TheFacadeMapsLevelsFieldsAndCategories) {
  client->observeFromFacade(VoskaryLogLevel::info, "Started", {}, std::nullopt);
  client->observeFromFacade(VoskaryLogLevel::debug, "Started", {}, std::nullopt);
  EXPECT_TRUE(Access::buffer(*client).empty());

  struct Case {
    VoskaryLogLevel level;
    std::string event;
    ErrorFirehoseClient::Fields fields;
    std::string severity, category, messageTemplate;
  };
  const std::vector<Case> cases = {
      {VoskaryLogLevel::warning,
       "Refresh failed",
       {{"category", "auth"}},
       "warn",
       "auth",
       "refresh failed: category=auth"},
      {VoskaryLogLevel::error,
       "Upload refused",
       {{"b", "2"}, {"a", "1"}},
       "error",
       "auth",
       "upload refused: a=1 b=2"},
      {VoskaryLogLevel::error,
       "Export ended",
       {{"class", "io"}, {"category", "settings"}},
       "error",
       "io",
       "export ended: category=settings class=io"},
      {VoskaryLogLevel::warning, "No fields here", {}, "warn", "auth", "no fields here"},
  };
  for (const auto& c : cases) client->observeFromFacade(c.level, c.event, c.fields, std::nullopt);
  auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), cases.size());
  for (const auto& c : cases) {
    auto found = std::find_if(buffered.begin(), buffered.end(), [&](const CoalescedEntry& e) {
      return e.messageTemplate == c.messageTemplate;
    });
    ASSERT_NE(found, buffered.end()) << c.messageTemplate;
    EXPECT_EQ(found->severity, c.severity);
    EXPECT_EQ(found->category, c.category);
    EXPECT_EQ(found->count, 1);
    EXPECT_FALSE(found->specId || found->exceptionType || found->topFrames || found->frameDigest ||
                 found->breadcrumbs);
  }
}

TEST_F(CaptureTest, TheFingerprintIsTheStartOfASHA256OverTheJoinedFields) {
  client->observeFromFacade(VoskaryLogLevel::warning, "Refresh failed", {{"category", "auth"}},
                            std::nullopt);
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  // SHA-256 of "flagrig|macos|warn|auth|refresh failed: category=auth|", computed by hand.
  EXPECT_EQ(buffered[0].fingerprint, "48de295039918ae5");
}

TEST_F(CaptureTest, VariantsOfOneMessageCoalesceIntoOneEntry) {
  client->observeFromFacade(VoskaryLogLevel::error, "Sync 20481 failed for ann@example.org", {},
                            std::nullopt);
  advance(5);
  client->updateContext(true, true, std::nullopt);
  client->observeFromFacade(VoskaryLogLevel::error, "Sync 99812 failed for bob@example.com", {},
                            std::nullopt);
  // The severity is part of the fingerprint.
  client->observeFromFacade(VoskaryLogLevel::warning, "Sync 1 failed for bob@example.com", {},
                            std::nullopt);
  auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 2u);
  auto& sync = buffered[0].severity == "error" ? buffered[0] : buffered[1];
  EXPECT_EQ(sync.messageTemplate, "sync <n> failed for <email>");
  EXPECT_EQ(sync.count, 2);
  EXPECT_EQ(sync.lastSeen.timeIntervalSince(sync.firstSeen), 5.0);
  EXPECT_TRUE(sync.signedIn);

  client->observe("error", "io", "Key 0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0 gone");
  client->observe("error", "io", "Key 11111111-2222-3333-4444-555555555555 gone");
  EXPECT_EQ(Access::buffer(*client).size(), 3u);
}

TEST_F(CaptureTest, ErrorsFramesAndBreadcrumbsOfTheGeneralEntryAreKeptWithinTheirLimits) {
  std::out_of_range error("index");
  std::vector<BreadcrumbEntry> crumbs(12, BreadcrumbEntry{"t", "info", "auth", "m"});
  client->observe("error", "io", "Bad", &error, "SPEC-1",
                  std::vector<std::string>{"a", "b", "c", "d"}, crumbs);
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_EQ(buffered[0].exceptionType, "out_of_range");
  EXPECT_EQ(buffered[0].messageTemplate, "bad out_of_range");
  EXPECT_EQ(buffered[0].specId, "SPEC-1");
  EXPECT_EQ(buffered[0].topFrames, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(buffered[0].frameDigest, client->computeFrameDigest({"a", "b", "c"}));
  EXPECT_EQ(buffered[0].breadcrumbs->size(), 10u);
}

TEST_F(CaptureTest, TheTemplateIsCutAt256BytesOnACharacterBoundary) {
  // 255 ASCII bytes, then a two-byte character across the limit.
  std::string message = "Failed " + std::string(248, 'x') + "\u00e9\u00e9 end";
  client->observeFromFacade(VoskaryLogLevel::error, message, {}, std::nullopt);
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_EQ(buffered[0].messageTemplate, "failed " + std::string(248, 'x'));
  EXPECT_TRUE(platform::UnicodeText::isValidUTF8(buffered[0].messageTemplate));
  // The fingerprint is taken over the whole template.
  client->observeFromFacade(VoskaryLogLevel::error, message + " more", {}, std::nullopt);
  EXPECT_EQ(Access::buffer(*client).size(), 2u);
}

TEST_F(CaptureTest, TheBreakerSilencesTheHundredAndFirstForFiveMinutes) {
  for (int i = 0; i < 100; ++i) {
    client->observeFromFacade(VoskaryLogLevel::error, "Storm", {}, std::nullopt);
    advance(0.05);
  }
  auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_EQ(buffered[0].count, 100);
  const auto fingerprint = buffered[0].fingerprint;
  client->observeFromFacade(VoskaryLogLevel::warning, "Other", {}, std::nullopt);

  // The 101st: the buffer goes to the queue at once, without it.
  client->observeFromFacade(VoskaryLogLevel::error, "Storm", {}, std::nullopt);
  EXPECT_TRUE(Access::buffer(*client).empty());
  auto pending = Access::pending(*client);
  ASSERT_EQ(pending.size(), 1u);
  ASSERT_EQ(pending[0].size(), 2u);
  for (const auto& e : pending[0]) EXPECT_EQ(e.count, e.fingerprint == fingerprint ? 100 : 1);
  auto breaker = Access::breaker(*client, fingerprint);
  ASSERT_TRUE(breaker && breaker->silencedUntil);
  EXPECT_EQ(platform::toSeconds(*breaker->silencedUntil - platform::env().clock->uptime()), 300.0);

  advance(299);
  client->observeFromFacade(VoskaryLogLevel::error, "Storm", {}, std::nullopt);
  EXPECT_TRUE(Access::buffer(*client).empty());
  EXPECT_EQ(Access::breaker(*client, fingerprint)->countInWindow, 101);

  advance(1.5);
  client->observeFromFacade(VoskaryLogLevel::error, "Storm", {}, std::nullopt);
  buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_EQ(buffered[0].count, 1);
  EXPECT_EQ(Access::breaker(*client, fingerprint)->countInWindow, 1);
}

TEST_F(CaptureTest, TheBreakerWindowRestartsAfterTenQuietSeconds) {
  for (int i = 0; i < 100; ++i) client->observeFromFacade(VoskaryLogLevel::error, "Burst", {}, {});
  advance(10.5);
  client->observeFromFacade(VoskaryLogLevel::error, "Burst", {}, {});
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_EQ(buffered[0].count, 101);
  EXPECT_EQ(Access::breaker(*client, buffered[0].fingerprint)->countInWindow, 1);
}

// Silences and windows are intervals on the monotonic clock: a wall clock stepped back (NTP, a
// resumed laptop, the user) or forward neither ends a silence, so that a storm floods again,
// nor stretches or cuts a window. What is sent keeps the wall time.
TEST_F(CaptureTest, AWallClockStepLeavesSilencesAndWindowsAsTheyWere) {
  for (int i = 0; i < 101; ++i) client->observeFromFacade(VoskaryLogLevel::error, "Storm", {}, {});
  ASSERT_EQ(Access::pending(*client).size(), 1u);
  const auto start = platform::env().clock->now();
  for (double step : {-3600.0, 7200.0, -86400.0}) {
    clock().setWallTime(start.addingTimeInterval(step));
    client->observeFromFacade(VoskaryLogLevel::error, "Storm", {}, {});
    EXPECT_TRUE(Access::buffer(*client).empty()) << "the silence ended at a step of " << step;
  }
  advance(300.5);
  client->observeFromFacade(VoskaryLogLevel::error, "Storm", {}, {});
  auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u) << "the silence outlasted its five minutes";
  EXPECT_EQ(buffered[0].count, 1);
  EXPECT_EQ(buffered[0].firstSeen, platform::env().clock->now());

  // The coalescing window: a step back keeps it, sixty seconds end it.
  client->observeFromFacade(VoskaryLogLevel::warning, "Other", {}, {});
  const auto pendingBefore = Access::pending(*client).size();
  clock().setWallTime(platform::env().clock->now().addingTimeInterval(-7200));
  client->observeFromFacade(VoskaryLogLevel::warning, "Other", {}, {});
  EXPECT_EQ(Access::pending(*client).size(), pendingBefore) << "a step back rolled the window";
  advance(61);
  client->observeFromFacade(VoskaryLogLevel::warning, "Other", {}, {});
  EXPECT_EQ(Access::pending(*client).size(), pendingBefore + 1);
}

TEST_F(CaptureTest, TheFiftiethFingerprintMovesTheWholeWindowToTheQueue) {
  for (int i = 0; i < 49; ++i)
    client->observeFromFacade(
        VoskaryLogLevel::error,
        "Failure kind " + std::string(1, 'a' + i % 26) + std::string(1, 'a' + i / 26), {}, {});
  EXPECT_EQ(Access::buffer(*client).size(), 49u);
  EXPECT_TRUE(Access::pending(*client).empty());
  client->observeFromFacade(VoskaryLogLevel::error, "Failure kind zz", {}, {});
  EXPECT_TRUE(Access::buffer(*client).empty());
  EXPECT_EQ(sizes(Access::pending(*client)), std::vector<std::size_t>{50});
}

TEST_F(CaptureTest, AnEventAfterSixtySecondsRollsTheWindowOver) {
  client->observeFromFacade(VoskaryLogLevel::error, "Disk full", {}, {});
  client->observeFromFacade(VoskaryLogLevel::error, "Disk full", {}, {});
  advance(60);
  client->observeFromFacade(VoskaryLogLevel::error, "Disk full", {}, {});
  EXPECT_TRUE(Access::pending(*client).empty());
  advance(1);
  client->observeFromFacade(VoskaryLogLevel::error, "Disk full", {}, {});
  const auto pending = Access::pending(*client);
  ASSERT_EQ(sizes(pending), std::vector<std::size_t>{1});
  EXPECT_EQ(pending[0][0].count, 3);
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_EQ(buffered[0].count, 1);
}

TEST_F(CaptureTest, WithConsentOffNothingIsRecordedAndWhatWasHeldIsDropped) {
  client->observeFromFacade(VoskaryLogLevel::error, "Held before", {}, {});
  Access::enqueue(*client, entries(3));
  ErrorTelemetryConsent::setEnabled(false);
  // Dropped as soon as the choice is stored, before anything is observed again.
  EXPECT_TRUE(Access::buffer(*client).empty());
  EXPECT_TRUE(Access::pending(*client).empty());

  client->observeFromFacade(VoskaryLogLevel::error, "After", {}, {});
  EXPECT_TRUE(Access::buffer(*client).empty());
  EXPECT_EQ(Access::breakerCount(*client), 1u);  // from "Held before" only

  ErrorTelemetryConsent::setEnabled(true);
  client->observeFromFacade(VoskaryLogLevel::error, "After", {}, {});
  EXPECT_EQ(Access::buffer(*client).size(), 1u);
}

TEST_F(CaptureTest, AnEUAnswerWithoutAChoiceDropsWhatWasHeld) {
  client->observeFromFacade(VoskaryLogLevel::error, "Held before", {}, {});
  defaults().set(ErrorTelemetryConsent::Keys::resolvedIsEU, true);
  EXPECT_TRUE(Access::buffer(*client).empty());
}

TEST_F(CaptureTest, ThreadsObservingAtOnceLoseNoCount) {
  // 20 messages, 100 observations of each: the breaker's limit, not past it.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 500; ++i)
        client->observeFromFacade(VoskaryLogLevel::error,
                                  "Worker failure kind " + std::string(1, 'g' + (i + t) % 20), {},
                                  {});
    });
  }
  for (auto& thread : threads) thread.join();
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 20u);
  for (const auto& e : buffered) EXPECT_EQ(e.count, 100) << e.messageTemplate;
}

TEST_F(CaptureTest, TheCrashEntryNeverWaitsForTheLock) {
  {
    std::lock_guard busy(Access::lock(*client));
    EXPECT_FALSE(client->tryObserveFromFacade(VoskaryLogLevel::error, "fatal signal 11",
                                              {{"category", "crash"}}, {}));
  }
  EXPECT_TRUE(client->tryObserveFromFacade(VoskaryLogLevel::error, "fatal signal 11",
                                           {{"category", "crash"}}, {}));
  const auto buffered = Access::buffer(*client);
  ASSERT_EQ(buffered.size(), 1u);
  EXPECT_EQ(buffered[0].category, "crash");
  EXPECT_EQ(buffered[0].messageTemplate, "fatal signal 11: category=crash");
}

}  // namespace
}  // namespace voskary
