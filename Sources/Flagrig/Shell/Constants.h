#pragma once

#include <string>

#include "Platform/Foundation/URL.h"

namespace flagrig {

// The app's version, its device id and the service addresses the app itself (not the account
// library) uses.
struct Constants {
  Constants() = delete;

  // The bundle's "CFBundleShortVersionString" when it is a string; "unknown" otherwise.
  static std::string appVersion();
  // "dev_" and a lower-case UUID, made once and kept in the user defaults under
  // "flagrig.deviceId". Safe from any thread: concurrent first callers get the same id.
  static std::string deviceId();

  struct Identity {
    static const platform::URL& privacyURL();
    static const platform::URL& termsURL();
  };

  struct SignupConsent {
    static const platform::URL& consentsURL();
    static const platform::URL& marketingCaptureURL();
  };

  // The user-defaults key of the device id.
  static constexpr std::string_view deviceIdKey = "flagrig.deviceId";
};

}  // namespace flagrig
