#pragma once

#include <set>
#include <string>
#include <string_view>

#include "Platform/Foundation/Value.h"

namespace flagrig {

// Product analytics: each user-visible step of the app is captured by the analytics service,
// and a fixed set of funnel events is mirrored to the account service. `track` may be called
// from any thread and never blocks: it checks the opt-out and the emit throttle, then builds
// and sends the requests on a queue of its own. Nothing is ever reported back; a request that
// fails is dropped.
struct Analytics {
  Analytics() = delete;

  // The analytics project's key; a key beginning "REPLACE_" turns analytics off.
  static constexpr std::string_view projectKey = "phc_Q7mLx2RbVt9KwPz4HnYc6JfDs3GaUe8NrTk5WqZy1MvB";
  // User-defaults keys: the opt-out, and whether the first-open event was sent.
  static constexpr std::string_view analyticsDisabledKey = "flagrig.analyticsDisabled";
  static constexpr std::string_view appFirstOpenedKey = "flagrig.appFirstOpened.v1";

  // Records one event ("tag_created"); a property of the caller replaces a base property of
  // the same key.
  static void track(std::string_view event, const platform::Value::Dictionary& properties = {});
  // Links this device's anonymous events to the account ("va_…").
  static void identify(std::string_view accountID);
  // Sends "app_first_opened" once per install.
  static void emitAppFirstOpenedIfNeeded();
  static void trackUpdateInstalled(std::string_view from, std::string_view to);

  // The events mirrored to the account service.
  static const std::set<std::string, std::less<>>& nativeFunnelEvents();
};

}  // namespace flagrig
