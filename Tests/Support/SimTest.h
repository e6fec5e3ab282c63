#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Network/HTTPRequest.h"
#include "Platform/Sim/SimEnvironment.h"
#include "Support/TaskOutcome.h"

namespace platform::testing {

// Installs a fresh simulated environment with a manual clock for each test, and tears it down
// afterwards: running tasks are cancelled and drained, and process-wide instances are reset, so
// that no test depends on another's order.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  sim::SimEnvironment& sim() { return *sim_; }
  RunLoop& loop() { return *sim_->mainLoop; }
  ManualClock& clock() { return *sim_->clock; }
  void runUntilIdle() { loop().runUntilIdle(); }
  void advance(double seconds) { loop().advance(seconds); }

  // Runs `task` to completion, moving the manual clock from deadline to deadline as needed,
  // and returns its result or rethrows its exception. Fails the test when the task can never
  // finish (nothing left that could resume it).
  template <class T>
  T await(Task<T> task);

  // The requests the simulated HTTP server took so far, in order: those for the whole `url`,
  // or those whose path is `path`.
  std::vector<HTTPRequest> requestsToURL(std::string_view url);
  std::vector<HTTPRequest> requestsToPath(std::string_view path);
  // A request's body as text; empty when it has none.
  static std::string bodyText(const HTTPRequest& request);

 private:
  void driveUntil(const bool& done);

  std::shared_ptr<sim::SimEnvironment> sim_;
};

template <class T>
T SimTest::await(Task<T> task) {
  auto out = startTask(std::move(task));
  driveUntil(out->done);
  if (out->error) std::rethrow_exception(out->error);
  if constexpr (!std::is_void_v<T>) return std::move(*out->value);
}

}  // namespace platform::testing
