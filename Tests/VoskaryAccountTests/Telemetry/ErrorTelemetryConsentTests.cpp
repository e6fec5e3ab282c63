#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

#include <gtest/gtest.h>

#include "TelemetryTest.h"
#include "VoskaryAccount/Telemetry/GeoProbeClient.h"

namespace voskary {
namespace {

using Keys = ErrorTelemetryConsent::Keys;
using ConsentTest = TelemetryTest;

TEST_F(ConsentTest, TheChoiceWinsAndTheRegionDecidesWithoutOne) {
  struct Case {
    std::optional<bool> choice;
    std::optional<bool> isEU;
    bool euPromptShown;
    bool enabled;
    bool showEUPrompt;
  };
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt, false, true, false},
      {std::nullopt, false, false, true, false},
      {std::nullopt, true, false, false, true},
      {std::nullopt, true, true, false, false},
      {true, true, false, true, false},
      {true, false, false, true, false},
      {false, std::nullopt, false, false, false},
      {false, false, false, false, false},
      {false, true, false, false, false},
  };
  for (const auto& c : cases) {
    for (auto key : {Keys::enabled, Keys::resolvedIsEU, Keys::euOptInShown})
      defaults().removeObject(key);
    if (c.choice) ErrorTelemetryConsent::setEnabled(*c.choice);
    if (c.isEU) defaults().set(GeoProbeClient::userDefaultsKey, *c.isEU);
    if (c.euPromptShown) ErrorTelemetryConsent::markEUOptInShown();
    const std::string label = "choice " + (c.choice ? std::to_string(*c.choice) : "none") +
                              ", EU " + (c.isEU ? std::to_string(*c.isEU) : "unknown") +
                              ", shown " + std::to_string(c.euPromptShown);
    EXPECT_EQ(ErrorTelemetryConsent::isEnabled(), c.enabled) << label;
    EXPECT_EQ(ErrorTelemetryConsent::shouldShowEUOptIn(), c.showEUPrompt) << label;
  }
}

TEST_F(ConsentTest, AValueOfAnotherTypeCountsAsAChoice) {
  defaults().set(Keys::resolvedIsEU, true);
  defaults().set(Keys::enabled, std::int64_t{1});
  EXPECT_TRUE(ErrorTelemetryConsent::isEnabled());
  defaults().set(Keys::enabled, "no");
  EXPECT_FALSE(ErrorTelemetryConsent::isEnabled());
  EXPECT_FALSE(ErrorTelemetryConsent::shouldShowEUOptIn());
}

TEST_F(ConsentTest, TheOptOutNoteIsDueUntilMarked) {
  EXPECT_TRUE(ErrorTelemetryConsent::shouldShowOptOutNote());
  ErrorTelemetryConsent::setEnabled(true);
  EXPECT_TRUE(ErrorTelemetryConsent::shouldShowOptOutNote());
  ErrorTelemetryConsent::markOptOutNoteShown();
  EXPECT_FALSE(ErrorTelemetryConsent::shouldShowOptOutNote());
  EXPECT_EQ(defaults().object(Keys::optOutShown), platform::Value(true));
}

}  // namespace
}  // namespace voskary
