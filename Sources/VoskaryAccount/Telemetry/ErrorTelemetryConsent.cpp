#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/UserDefaults.h"
#include "VoskaryAccount/Telemetry/GeoProbeClient.h"

namespace voskary {

namespace {

platform::UserDefaults& defaults() {
  return *platform::env().defaults;
}

}  // namespace

bool ErrorTelemetryConsent::isEnabled() {
  // Any stored value is a choice, read with the defaults' boolean conversion.
  if (defaults().object(Keys::enabled)) return defaults().boolForKey(Keys::enabled);
  return GeoProbeClient::cachedIsEU() != true;
}

void ErrorTelemetryConsent::setEnabled(bool enabled) {
  defaults().set(Keys::enabled, platform::Value(enabled));
}

bool ErrorTelemetryConsent::shouldShowOptOutNote() {
  return !defaults().boolForKey(Keys::optOutShown);
}

void ErrorTelemetryConsent::markOptOutNoteShown() {
  defaults().set(Keys::optOutShown, platform::Value(true));
}

bool ErrorTelemetryConsent::shouldShowEUOptIn() {
  return GeoProbeClient::cachedIsEU() == true && !defaults().object(Keys::enabled) &&
         !defaults().boolForKey(Keys::euOptInShown);
}

void ErrorTelemetryConsent::markEUOptInShown() {
  defaults().set(Keys::euOptInShown, platform::Value(true));
}

}  // namespace voskary
