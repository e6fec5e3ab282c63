#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "PlatformTests/Linux/LoopbackHTTPServer.h"
#include "Support/FakeAccountService.h"

namespace platform {
class RunLoop;
namespace sim {
class SimHTTPServer;
}
}  // namespace platform

namespace voskary::testing {

// Serves the fake account service, which answers on a simulated server, over real HTTP on
// 127.0.0.1. Paths the service does not know go to `others` (which may be empty: the
// connection is then closed unanswered, as a missing server's would be).
class AccountServiceOverHTTP {
 public:
  using Handler = platform::testing::LoopbackHTTPServer::Handler;

  explicit AccountServiceOverHTTP(int port = 0, Handler others = {});

  FakeAccountService& service() { return service_; }
  // The root address, "http://127.0.0.1:<port>" without a slash.
  std::string base() const { return server_.url(""); }
  std::string url(const std::string& path) const { return server_.url(path); }
  std::vector<platform::testing::LoopbackHTTPServer::Request> requests() const {
    return server_.requests();
  }
  // The service's own answer to `request`, or nothing when it does not serve that path.
  std::optional<std::string> serve(const platform::testing::LoopbackHTTPServer::Request& request);

 private:
  std::string answer(const platform::testing::LoopbackHTTPServer::Request& request);

  std::mutex mutex_;
  std::shared_ptr<platform::RunLoop> loop_;
  std::shared_ptr<platform::sim::SimHTTPServer> sim_;
  Handler others_;
  platform::testing::LoopbackHTTPServer server_;
  FakeAccountService service_;
};

}  // namespace voskary::testing
