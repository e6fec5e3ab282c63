#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "Platform/Network/HTTPHeaderFields.h"

namespace platform {

enum class URLRequestCachePolicy { useProtocolCachePolicy, reloadIgnoringLocalCacheData };

// One HTTP request: an absolute URL, a method, ordered header fields, an optional body, a
// timeout and a cache policy. A plain value; the session copies it when it starts.
struct HTTPRequest {
  HTTPRequest() = default;
  explicit HTTPRequest(URL u) : url(std::move(u)) {}

  URL url;
  std::string httpMethod = "GET";
  HTTPHeaderFields headerFields;
  std::optional<Bytes> httpBody;
  // Seconds without progress after which the transfer fails with "timed out"; absent takes
  // the session's request timeout.
  std::optional<double> timeoutInterval;
  URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::useProtocolCachePolicy;

  void setValue(std::string_view value, std::string_view field) { headerFields.set(field, value); }
  void addValue(std::string_view value, std::string_view field) { headerFields.add(field, value); }
  std::optional<std::string> value(std::string_view field) const {
    return headerFields.value(field);
  }
};

}  // namespace platform
