#include "Flagrig/Diagnostics/Log.h"

#include <gtest/gtest.h>

#include "DiagnosticsTest.h"

namespace flagrig {
namespace {

using voskary::VoskaryLogLevel;
using LogTest = DiagnosticsTest;

TEST_F(LogTest, WarningsAndErrorsAreLoggedAndForwardedToTelemetry) {
  auto telemetry = std::make_shared<RecordingTelemetry>();
  ErrorTelemetryObserver::setShared(telemetry);

  std::runtime_error offline("The network connection was lost.");
  Log::error("consent", "marketing capture network error", &offline);
  Log::warn("lifecycle", "fallback route");

  const auto ring = DiagnosticLogBuffer::shared().logBufferJSON();
  ASSERT_EQ(ring.size(), 2u);
  EXPECT_EQ(*ring[0].find("level")->asString(), "error");
  EXPECT_EQ(*ring[0].find("exception_message")->asString(), "The network connection was lost.");
  EXPECT_EQ(*ring[1].find("level")->asString(), "warn");

  using Event = RecordingTelemetry::Event;
  EXPECT_EQ(
      telemetry->events,
      (std::vector<Event>{
          {VoskaryLogLevel::error,
           "marketing capture network error: The network connection was lost.",
           {{"category", "consent"}},
           std::nullopt},
          {VoskaryLogLevel::warning, "fallback route", {{"category", "lifecycle"}}, std::nullopt},
      }));
}

TEST_F(LogTest, TelemetryGetsOnlyRedactedText) {
  auto telemetry = std::make_shared<RecordingTelemetry>();
  ErrorTelemetryObserver::setShared(telemetry);

  std::runtime_error refused("server said password=hunter2");
  Log::error("auth", "refresh failed for bob@example.org token=abc", &refused);

  ASSERT_EQ(telemetry->events.size(), 1u);
  EXPECT_EQ(telemetry->events[0].event,
            "refresh failed for x****@example.org <redacted>: server said <redacted>");
}

TEST_F(LogTest, WithoutTelemetryTheEntryIsStillLogged) {
  Log::warn("settings", "no telemetry yet");
  EXPECT_EQ(DiagnosticLogBuffer::shared().logBufferJSON().size(), 1u);
  EXPECT_EQ(contents(logFile()), "2027-01-15T08:00:00.000Z [WARN] settings: no telemetry yet\n");
}

}  // namespace
}  // namespace flagrig
