#pragma once

#include <functional>
#include <memory>
#include <variant>

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

// What carries the transfers of every session: libcurl on Linux, the scripted server when
// simulated.
class HTTPTransport {
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

  virtual ~HTTPTransport() = default;
  // Runs `completion` exactly once, on any thread. `request.timeoutInterval` is filled in.
  virtual std::shared_ptr<Transfer> start(HTTPRequest request,
                                          const URLSessionConfiguration& configuration,
                                          Completion completion) = 0;
};

}  // namespace platform
