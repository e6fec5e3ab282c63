#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/URL.h"

namespace platform {

// A transfer that ended without an answer, in the platform's URL-loading error domain with its
// codes, so that logs and telemetry report the same domain and numbers everywhere.
class URLError final : public Error {
 public:
  enum Code : int {
    unknown = -1,
    cancelled = -999,
    badURL = -1000,
    timedOut = -1001,
    unsupportedURL = -1002,
    cannotFindHost = -1003,
    cannotConnectToHost = -1004,
    networkConnectionLost = -1005,
    httpTooManyRedirects = -1007,
    notConnectedToInternet = -1009,
    badServerResponse = -1011,
    cannotDecodeContentData = -1016,
    dataLengthExceedsMaximum = -1103,
    secureConnectionFailed = -1200,
    serverCertificateUntrusted = -1202,
    clientCertificateRejected = -1205,
  };

  static constexpr const char* errorDomain = "NSURLErrorDomain";

  explicit URLError(Code code, std::optional<URL> failingURL = std::nullopt)
      : code_(code), failingURL_(std::move(failingURL)) {}

  Code code() const { return code_; }
  const char* domain() const { return errorDomain; }
  std::string bridgedDomain() const override { return errorDomain; }
  std::int64_t bridgedCode() const override { return code_; }
  const std::optional<URL>& failingURL() const { return failingURL_; }
  std::string description() const override;

  // Errors are equal when their codes are: the failing URL is context, not identity.
  bool operator==(const URLError& other) const { return code_ == other.code_; }

 private:
  Code code_;
  std::optional<URL> failingURL_;
};

}  // namespace platform
