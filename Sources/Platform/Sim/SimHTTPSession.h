#pragma once

#include <memory>

#include "Platform/Network/HTTPSession.h"
#include "Platform/Sim/SimHTTPServer.h"

namespace platform::sim {

// A session of the simulated machine: its configuration over the shared simulated server.
class SimHTTPSession final : public HTTPSession {
 public:
  SimHTTPSession(std::shared_ptr<SimHTTPServer> server, URLSessionConfiguration configuration)
      : HTTPSession(configuration), server_(std::move(server)) {}

  std::shared_ptr<HTTPSession> makeSession(URLSessionConfiguration configuration) override {
    return std::make_shared<SimHTTPSession>(server_, configuration);
  }

 protected:
  std::shared_ptr<Transfer> start(HTTPRequest request, Completion completion) override {
    return server_->start(std::move(request), configuration(), std::move(completion));
  }

 private:
  std::shared_ptr<SimHTTPServer> server_;
};

}  // namespace platform::sim
