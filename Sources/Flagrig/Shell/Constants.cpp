#include "Flagrig/Shell/Constants.h"

#include <mutex>

#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/UUID.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

std::string Constants::appVersion() {
  auto value = platform::env().bundle->objectForInfoDictionaryKey("CFBundleShortVersionString");
  if (value) {
    if (const auto* text = value->asString()) return *text;
  }
  return "unknown";
}

std::string Constants::deviceId() {
  // Analytics asks from any thread; without the lock two first callers could each store an id.
  static std::mutex creation;
  std::lock_guard guard(creation);
  auto& defaults = *platform::env().defaults;
  if (auto stored = defaults.stringForKey(deviceIdKey); stored && !stored->empty()) {
    return *stored;
  }
  std::string made = "dev_" + platform::UUID::random().lowercaseString();
  defaults.set(deviceIdKey, platform::Value(made));
  return made;
}

const platform::URL& Constants::Identity::privacyURL() {
  static const platform::URL url =
      ServiceAddresses::join(ServiceAddresses::compiledIn().website, "/privacy/flagrig");
  return url;
}

const platform::URL& Constants::Identity::termsURL() {
  static const platform::URL url =
      ServiceAddresses::join(ServiceAddresses::compiledIn().website, "/terms/flagrig");
  return url;
}

const platform::URL& Constants::SignupConsent::consentsURL() {
  static const platform::URL url = ServiceAddresses::join(
      ServiceAddresses::compiledIn().accountService, "/api/account/consents");
  return url;
}

const platform::URL& Constants::SignupConsent::marketingCaptureURL() {
  static const platform::URL url = ServiceAddresses::join(
      ServiceAddresses::compiledIn().marketingService, "/api/v1/contacts/capture");
  return url;
}

}  // namespace flagrig
