#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "VoskaryAccount/Client/VoskaryLogger.h"

namespace voskary {

// Builds the field maps of the library's failure lines so that nothing secret leaves through
// the log: an address is cut before its query and fragment, and a failure is described by its
// class, error domain and numeric code only, never by a server body, an error description or
// a token.
struct VoskaryRedaction {
  // The class of a failure, written as the "class" field.
  enum class Classification {
    transport,
    server,
    auth,
    decode,
    cancelled,
    timeout,
    clientKilled,
    requiresUpgrade,
  };

  // The address before its first "?" or "#"; everything else stays as written.
  static std::string endpoint(std::string_view address);

  // For an answer that could not be decoded: "endpoint", "class" and, when given, "field".
  static VoskaryLogFields decodeFailure(std::string_view endpoint,
                                        const std::optional<std::string>& field = std::nullopt);

  // For a request that failed before an HTTP answer: "endpoint", "class", the bridged
  // "error_domain" and "error_code", and for a URL-loading error also "url_error".
  static VoskaryLogFields transportFailure(std::string_view endpoint, const std::exception& error);
};

constexpr std::string_view rawValue(VoskaryRedaction::Classification classification) {
  using Classification = VoskaryRedaction::Classification;
  switch (classification) {
    case Classification::transport:
      return "transport";
    case Classification::server:
      return "server";
    case Classification::auth:
      return "auth";
    case Classification::decode:
      return "decode";
    case Classification::cancelled:
      return "cancelled";
    case Classification::timeout:
      return "timeout";
    case Classification::clientKilled:
      return "clientKilled";
    case Classification::requiresUpgrade:
      return "requiresUpgrade";
  }
  return "";
}

}  // namespace voskary
