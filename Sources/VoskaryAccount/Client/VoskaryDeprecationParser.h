#pragma once

#include <string_view>
#include <vector>

#include "Platform/Network/HTTPURLResponse.h"
#include "VoskaryAccount/Client/VoskaryDeprecationNotice.h"

namespace voskary {

// Reads the service's "Voskary-Deprecation" header:
//
//   endpoint; replacement=/api/v2/x; expires=2026-06-30, client; min-version=2.1.0; reason=security
//
// Notices are separated by "," (no quoting or escapes), parameters by ";"; kinds and keys
// compare without regard to case, values stay as written. Pure text handling: nothing fails,
// pieces that cannot be read are left out, the rest keep the header's order.
struct VoskaryDeprecationParser {
  // The name of the header, which compares without regard to case.
  static constexpr std::string_view headerName = "Voskary-Deprecation";

  static std::vector<VoskaryDeprecationNotice> parse(std::string_view headerValue);
};

// The notices of a response's "Voskary-Deprecation" header; none without the header.
std::vector<VoskaryDeprecationNotice> voskaryDeprecationNotices(
    const platform::HTTPURLResponse& response);

}  // namespace voskary
