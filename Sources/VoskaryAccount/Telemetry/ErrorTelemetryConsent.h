#pragma once

#include <string_view>

namespace voskary {

// Whether error telemetry may capture, and the user's choice behind it, kept in the standard
// user defaults. Outside the EU, and while the region is unknown, reports are on until the user
// turns them off; once the region probe has placed the user in the EU they stay off until the
// user turns them on. An explicit choice always wins. Also carries the texts of the opt-out note
// and the EU opt-in prompt, with the rules for when each is due.
struct ErrorTelemetryConsent {
  struct Keys {
    static constexpr std::string_view enabled = "voskary.error_telemetry_enabled";
    static constexpr std::string_view optOutShown = "voskary.error_telemetry_opt_out_shown";
    static constexpr std::string_view euOptInShown = "voskary.error_telemetry_eu_optin_shown";
    static constexpr std::string_view resolvedIsEU = "voskary.error_telemetry_eu_region";
  };

  // "[AppName]" stands for the application's display name; the presenter fills it in.
  static constexpr std::string_view optOutNoteTitle = "Before you turn this off";
  static constexpr std::string_view optOutNoteBodyTemplate =
      "These reports are fully anonymous and help us make [AppName] better for everyone \u2014 at "
      "no cost to you.";
  static constexpr std::string_view optOutNotePrimaryLabel = "Keep sending reports";
  static constexpr std::string_view optOutNoteSecondaryLabel = "Turn off anyway";
  static constexpr std::string_view euOptInTitle = "Help improve this app?";
  static constexpr std::string_view euOptInBodyTemplate =
      "Anonymous error reports help us fix issues faster. No personal data \u2014 just crash "
      "signals.";
  static constexpr std::string_view euOptInEnableLabel = "Enable";
  static constexpr std::string_view euOptInNotNowLabel = "Not now";

  // The stored choice when there is one; otherwise on unless the cached region says EU.
  static bool isEnabled();
  static void setEnabled(bool enabled);

  static bool shouldShowOptOutNote();
  static void markOptOutNoteShown();

  // Due only in the EU, before any choice, until marked.
  static bool shouldShowEUOptIn();
  static void markEUOptInShown();
};

}  // namespace voskary
