#pragma once

#include <memory>

#include "Platform/Linux/CurlTransport.h"
#include "Platform/Network/HTTPSession.h"

namespace platform::linuxbackend {

// A session on the process's libcurl transport. libcurl keeps no cookies and no cache here,
// so every session behaves as an ephemeral one.
class CurlHTTPSession final : public HTTPSession {
 public:
  CurlHTTPSession(std::shared_ptr<CurlTransport> transport, URLSessionConfiguration configuration)
      : HTTPSession(configuration), transport_(std::move(transport)) {}

  std::shared_ptr<HTTPSession> makeSession(URLSessionConfiguration configuration) override {
    return std::make_shared<CurlHTTPSession>(transport_, configuration);
  }

 protected:
  std::shared_ptr<Transfer> start(HTTPRequest request, Completion completion) override {
    return transport_->start(std::move(request), configuration(), std::move(completion));
  }

 private:
  std::shared_ptr<CurlTransport> transport_;
};

}  // namespace platform::linuxbackend
