#pragma once

#include <cstdint>
#include <string>

#include "Platform/Foundation/URL.h"

namespace platform {

class HTTPURLResponse;

// What a transfer answers. Almost always an `HTTPURLResponse`; code that needs the status asks
// `asHTTP` and treats any other answer as not HTTP.
class URLResponse {
 public:
  explicit URLResponse(URL url, std::string mimeType = {})
      : url_(std::move(url)), mimeType_(std::move(mimeType)) {}
  virtual ~URLResponse() = default;

  const URL& url() const { return url_; }
  const std::string& mimeType() const { return mimeType_; }
  virtual const HTTPURLResponse* asHTTP() const { return nullptr; }

 private:
  URL url_;
  std::string mimeType_;
};

}  // namespace platform
