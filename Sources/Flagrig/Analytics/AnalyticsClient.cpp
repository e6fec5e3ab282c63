#include "Flagrig/Analytics/AnalyticsClient.h"

#include <cmath>

#include "Flagrig/Analytics/AccountServiceEndpoints.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Network/HTTPSession.h"
#include "VoskaryAccount/Client/KeychainStorage.h"

namespace flagrig {

namespace {

using platform::JSON;

constexpr std::string_view appSlug = "flagrig";
constexpr std::string_view platformName = "macos";
constexpr std::string_view osName = "macOS";
constexpr std::string_view libraryName = "flagrig-swift";
constexpr std::string_view installChannel = "sparkle";
constexpr std::string_view eventPrefix = "flagrig_";
constexpr double requestTimeout = 5;

// JSON for a property value; nothing for what JSON cannot carry (bytes, dates, infinities,
// NaN), which drops the whole event as a serialisation failure.
std::optional<JSON> jsonOf(const platform::Value& value, std::size_t depth = 0) {
  using Kind = platform::Value::Kind;
  if (depth > platform::JSONSerialization::maxDepth) return std::nullopt;
  switch (value.kind()) {
    case Kind::null:
      return JSON(nullptr);
    case Kind::boolean:
      return JSON(*value.asBool());
    case Kind::integer:
      return JSON(*value.asInt());
    case Kind::unsignedInteger:
      return JSON(*value.asUInt());
    case Kind::real:
      if (!std::isfinite(*value.asDouble())) return std::nullopt;
      return JSON(*value.asDouble());
    case Kind::string:
      return JSON(*value.asString());
    case Kind::bytes:
    case Kind::date:
      return std::nullopt;
    case Kind::array: {
      JSON array = JSON::array();
      for (const auto& element : *value.asArray()) {
        auto converted = jsonOf(element, depth + 1);
        if (!converted) return std::nullopt;
        array.push_back(std::move(*converted));
      }
      return array;
    }
    case Kind::dictionary: {
      JSON object = JSON::object();
      for (const auto& [key, element] : *value.asDictionary()) {
        auto converted = jsonOf(element, depth + 1);
        if (!converted) return std::nullopt;
        object[key] = std::move(*converted);
      }
      return object;
    }
  }
  return std::nullopt;
}

std::string timestamp(platform::Date time) {
  return platform::DateFormats::iso8601(time, platform::DateFormats::FractionalSeconds::omitted);
}

// A header that would split the request (CR, LF or NUL in its name or value) is not sent.
bool isSafeHeaderText(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

AnalyticsClient::AnalyticsClient(Configuration configuration)
    : configuration_(std::move(configuration)),
      installMetrics_(appSlug),
      throttle_(configuration_.throttleOptions, configuration_.clock),
      queue_(platform::env().makeSerialQueue("flagrig.analytics")) {}

std::shared_ptr<AnalyticsClient> AnalyticsClient::shared() {
  struct Holder {
    std::shared_ptr<AnalyticsClient> client = std::make_shared<AnalyticsClient>(Configuration{
        std::string(Analytics::projectKey),
        ServiceAddresses::join(ServiceAddresses::active().analyticsService, "/capture/"),
        AccountServiceEndpoints::appEventsURL(),
        voskary::AnalyticsEmitThrottleOptions::production,
        voskary::AnalyticsEmitThrottle::monotonicClock(),
    });
  };
  static platform::SharedInstance<Holder> holder;
  return holder.get().client;
}

std::optional<std::string> AnalyticsClient::signedInAccountID(
    const SignInState::Snapshot& snapshot) {
  if (!snapshot.isSignedIn || !snapshot.voskaryAccountID) return std::nullopt;
  auto id = platform::UnicodeText::trimmed(*snapshot.voskaryAccountID,
                                           platform::UnicodeText::WhiteSpace::spacesAndNewlines);
  if (!id.starts_with("va_")) return std::nullopt;
  return id;
}

bool AnalyticsClient::isEnabled() const {
  if (configuration_.projectKey.starts_with("REPLACE_")) return false;
  return !platform::env().defaults->boolForKey(Analytics::analyticsDisabledKey);
}

void AnalyticsClient::track(std::string_view event, const platform::Value::Dictionary& properties) {
  if (!isEnabled()) return;
  if (!throttle_.allowEmit(event, &properties)) return;
  // The sign-in state and the time are the caller's; everything slower happens on the queue.
  Event captured{std::string(event), properties, SignInState::current()->snapshot(),
                 platform::env().clock->now()};
  queue_->post(
      [self = shared_from_this(), captured = std::move(captured)] { self->send(captured); });
}

void AnalyticsClient::identify(std::string_view accountID) {
  auto id = platform::UnicodeText::trimmed(accountID,
                                           platform::UnicodeText::WhiteSpace::spacesAndNewlines);
  if (!id.starts_with("va_") || !isEnabled()) return;
  queue_->post([self = shared_from_this(), id = std::move(id),
                time = platform::env().clock->now()] { self->sendIdentify(id, time); });
}

void AnalyticsClient::emitAppFirstOpenedIfNeeded() {
  // Two launches' worth of callers at once must still send one event.
  std::lock_guard guard(firstOpenLock_);
  seedInstallID();
  auto& defaults = *platform::env().defaults;
  if (defaults.boolForKey(Analytics::appFirstOpenedKey)) {
    installMetrics_.markFirstOpenFired();
    return;
  }
  if (!installMetrics_.shouldFireFirstOpen() || !installMetrics_.markFirstOpenFired()) return;
  defaults.set(Analytics::appFirstOpenedKey, platform::Value(true));
  track("app_first_opened", {});
}

void AnalyticsClient::seedInstallID() {
  std::call_once(seeded_, [] {
    voskary::KeychainStorage storage(appSlug);
    std::optional<platform::Bytes> stored;
    try {
      stored = storage.readData(voskary::VoskaryInstallMetrics::Keys::installID);
    } catch (const voskary::VoskaryError&) {
      // An item that cannot be read now may hold the real install id: never replace it.
      return;
    }
    if (stored && !stored->empty()) return;
    auto deviceId = Constants::deviceId();
    try {
      storage.setData(platform::Bytes(deviceId.begin(), deviceId.end()),
                      voskary::VoskaryInstallMetrics::Keys::installID);
    } catch (const voskary::VoskaryError&) {
      // The install metrics make an id of their own.
    }
  });
}

std::string AnalyticsClient::installID() {
  seedInstallID();
  return installMetrics_.installID();
}

void AnalyticsClient::send(const Event& event) {
  auto accountID = signedInAccountID(event.signIn);
  auto version = Constants::appVersion();
  auto deviceId = Constants::deviceId();
  auto install = installID();

  JSON properties = JSON::object();
  properties["$os"] = osName;
  properties["$os_version"] = platform::env().processInfo->operatingSystemVersionString();
  properties["$app_version"] = version;
  properties["$lib"] = libraryName;
  properties["$lib_version"] = version;
  properties["app_slug"] = appSlug;
  properties["platform"] = platformName;
  properties["version"] = version;
  properties["install_id"] = install;
  properties["auth_state"] = event.signIn.isSignedIn ? "signed_in" : "anonymous";
  for (const auto& [key, value] : event.properties) {
    auto converted = jsonOf(value);
    if (!converted) return;
    properties[key] = std::move(*converted);
  }
  if (accountID) properties["voskary_account_id"] = *accountID;

  const std::string& distinctID = accountID ? *accountID : deviceId;
  postCapture(event.name.starts_with('$') ? event.name : std::string(eventPrefix) + event.name,
              distinctID, properties, event.time);

  if (!Analytics::nativeFunnelEvents().contains(event.name)) return;
  JSON mirror = JSON::object();
  mirror["app_slug"] = appSlug;
  mirror["platform"] = platformName;
  mirror["event"] = event.name;
  mirror["distinct_id"] = distinctID;
  mirror["app_version"] = version;
  mirror["install_channel"] = installChannel;
  mirror["install_id"] = install;
  mirror["device_id"] = deviceId;
  mirror["properties"] = std::move(properties);
  post(configuration_.funnelURL, platform::JSONSerialization::serialize(mirror),
       SignInState::current()->authorizationHeaders());
}

void AnalyticsClient::sendIdentify(const std::string& accountID, platform::Date time) {
  auto version = Constants::appVersion();
  JSON properties = JSON::object();
  properties["$anon_distinct_id"] = Constants::deviceId();
  properties["$os"] = osName;
  properties["$app_version"] = version;
  properties["$lib"] = libraryName;
  properties["app_slug"] = appSlug;
  properties["platform"] = platformName;
  properties["version"] = version;
  properties["install_id"] = installID();
  properties["voskary_account_id"] = accountID;
  postCapture("$identify", accountID, std::move(properties), time);
}

void AnalyticsClient::postCapture(std::string event, const std::string& distinctID, JSON properties,
                                  platform::Date time) const {
  JSON capture = JSON::object();
  capture["api_key"] = configuration_.projectKey;
  capture["event"] = std::move(event);
  capture["distinct_id"] = distinctID;
  capture["properties"] = std::move(properties);
  capture["timestamp"] = timestamp(time);
  post(configuration_.captureURL, platform::JSONSerialization::serialize(capture), {});
}

void AnalyticsClient::post(const platform::URL& url, const std::string& body,
                           const std::map<std::string, std::string>& extraFields) const {
  platform::HTTPRequest request(url);
  request.httpMethod = "POST";
  request.setValue("application/json", "Content-Type");
  for (const auto& [name, value] : extraFields) {
    if (name.empty() || !isSafeHeaderText(name) || !isSafeHeaderText(value)) continue;
    request.setValue(value, name);
  }
  request.httpBody = platform::Bytes(body.begin(), body.end());
  request.timeoutInterval = requestTimeout;
  platform::env().httpSession->send(std::move(request));
}

}  // namespace flagrig
