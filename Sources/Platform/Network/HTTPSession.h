#pragma once

#include <functional>
#include <memory>
#include <variant>

#include "Platform/Foundation/Task.h"
#include "Platform/Network/HTTPRequest.h"
#include "Platform/Network/HTTPURLResponse.h"
#include "Platform/Network/URLError.h"
#include "Platform/Network/URLSessionConfiguration.h"

namespace platform {

// What a finished transfer gives: the body and the answer (almost always HTTP).
struct HTTPResult {
  Bytes data;
  std::shared_ptr<const URLResponse> response;
};

// Sends HTTP requests. `data` is a task that ends with the answer or throws `URLError`;
// cancelling the awaiting task stops the transfer and throws `URLError::cancelled`. The task
// resumes on its own executor, whatever thread the transfer finished on. `send` starts a
// transfer whose outcome nobody wants and returns at once.
//
// The environment holds the shared session; `makeSession` gives another one with its own
// configuration over the same transport.
class HTTPSession : public std::enable_shared_from_this<HTTPSession> {
 public:
  using Outcome = std::variant<HTTPResult, URLError>;
  using Completion = std::function<void(Outcome)>;

  // A transfer in flight.
  class Transfer {
   public:
    virtual ~Transfer() = default;
    // Stops it; its completion then runs with `URLError::cancelled` unless it already ran.
    virtual void cancel() = 0;
  };

  explicit HTTPSession(URLSessionConfiguration configuration) : configuration_(configuration) {}
  virtual ~HTTPSession() = default;

  Task<HTTPResult> data(HTTPRequest request);
  void send(HTTPRequest request);

  const URLSessionConfiguration& configuration() const { return configuration_; }
  virtual std::shared_ptr<HTTPSession> makeSession(URLSessionConfiguration configuration) = 0;

 protected:
  // The backend's transfer: runs `completion` exactly once, on any thread.
  // `request.timeoutInterval` is already filled in.
  virtual std::shared_ptr<Transfer> start(HTTPRequest request, Completion completion) = 0;

 private:
  HTTPRequest prepared(HTTPRequest request) const;

  URLSessionConfiguration configuration_;
};

}  // namespace platform
