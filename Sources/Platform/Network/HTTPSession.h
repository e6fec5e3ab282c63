#pragma once

#include <memory>

#include "Platform/Foundation/Task.h"
#include "Platform/Network/HTTPTransport.h"

namespace platform {

// Sends HTTP requests. `data` is a task that ends with the answer or throws `URLError`;
// cancelling the awaiting task stops the transfer and throws `URLError::cancelled`. The task
// resumes on its own executor, whatever thread the transfer finished on. `send` starts a
// transfer whose outcome nobody wants and returns at once.
//
// The environment holds the shared session; `makeSession` gives another one with its own
// configuration over the same transport.
class HTTPSession : public std::enable_shared_from_this<HTTPSession> {
 public:
  HTTPSession(std::shared_ptr<HTTPTransport> transport, URLSessionConfiguration configuration)
      : transport_(std::move(transport)), configuration_(configuration) {}

  Task<HTTPResult> data(HTTPRequest request);
  void send(HTTPRequest request);

  const URLSessionConfiguration& configuration() const { return configuration_; }
  std::shared_ptr<HTTPSession> makeSession(URLSessionConfiguration configuration) const {
    return std::make_shared<HTTPSession>(transport_, configuration);
  }

 private:
  HTTPRequest prepared(HTTPRequest request) const;

  std::shared_ptr<HTTPTransport> transport_;
  URLSessionConfiguration configuration_;
};

}  // namespace platform
