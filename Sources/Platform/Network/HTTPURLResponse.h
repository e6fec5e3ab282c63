#pragma once

#include <optional>
#include <string>

#include "Platform/Network/HTTPHeaderFields.h"
#include "Platform/Network/URLResponse.h"

namespace platform {

// The answer of an HTTP server: the final URL (after redirects), the status code, the
// protocol version and the header fields (repeated names joined by ", ").
class HTTPURLResponse final : public URLResponse {
 public:
  HTTPURLResponse(URL url, int statusCode, std::string httpVersion, HTTPHeaderFields headerFields)
      : URLResponse(std::move(url), mimeTypeOf(headerFields)),
        statusCode_(statusCode),
        httpVersion_(std::move(httpVersion)),
        headerFields_(std::move(headerFields)) {}

  const HTTPURLResponse* asHTTP() const override { return this; }
  int statusCode() const { return statusCode_; }
  const std::string& httpVersion() const { return httpVersion_; }
  const HTTPHeaderFields& allHeaderFields() const { return headerFields_; }
  std::optional<std::string> value(std::string_view field) const {
    return headerFields_.value(field);
  }

 private:
  // The media type of "Content-Type" without its parameters, in lower case.
  static std::string mimeTypeOf(const HTTPHeaderFields& fields);

  int statusCode_;
  std::string httpVersion_;
  HTTPHeaderFields headerFields_;
};

}  // namespace platform
