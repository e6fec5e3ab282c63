#include "Flagrig/Analytics/Analytics.h"

#include "Flagrig/Analytics/AnalyticsClient.h"

namespace flagrig {

void Analytics::track(std::string_view event, const platform::Value::Dictionary& properties) {
  AnalyticsClient::shared()->track(event, properties);
}

void Analytics::identify(std::string_view accountID) {
  AnalyticsClient::shared()->identify(accountID);
}

void Analytics::emitAppFirstOpenedIfNeeded() {
  AnalyticsClient::shared()->emitAppFirstOpenedIfNeeded();
}

void Analytics::trackUpdateInstalled(std::string_view from, std::string_view to) {
  track("update_installed",
        {{"from_version", platform::Value(from)}, {"to_version", platform::Value(to)}});
}

const std::set<std::string, std::less<>>& Analytics::nativeFunnelEvents() {
  static const std::set<std::string, std::less<>> events{
      "app_first_opened",     "app_updated",        "app_relaunched", "onboarding_started",
      "onboarding_completed", "login_screen_shown", "auth_started",   "auth_completed",
      "auth_failed",          "sign_in_completed",  "account_linked", "settings_viewed"};
  return events;
}

}  // namespace flagrig
