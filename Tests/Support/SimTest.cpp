#include "SimTest.h"

#include <clocale>

#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Sim/SimHTTPServer.h"

namespace platform::testing {

namespace {

// The application takes the user's locale at start (a Qt application does), so the tests run
// in the locale of their environment too: a run under a comma-decimal locale then shows any
// number read or written through the C library's locale-dependent functions.
const bool localeFromEnvironment = std::setlocale(LC_ALL, "") != nullptr;

}  // namespace

void SimTest::SetUp() {
  resetSharedInstances();
  sim_ = sim::makeSimEnvironment();
  installEnvironment(sim_->environment);
}

void SimTest::TearDown() {
  cancelAllSpawnedTasks();
  try {
    loop().runUntilIdle();
    resetSharedInstances();
    loop().runUntilIdle();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "tear-down: " << e.what();
  }
  loop().discardPendingWork();
  installEnvironment(nullptr);
  sim_.reset();
}

std::vector<HTTPRequest> SimTest::requestsToURL(std::string_view url) {
  std::vector<HTTPRequest> found;
  for (const auto& recorded : sim().http->requests()) {
    if (recorded.request.url.absoluteString() == url) found.push_back(recorded.request);
  }
  return found;
}

std::vector<HTTPRequest> SimTest::requestsToPath(std::string_view path) {
  std::vector<HTTPRequest> found;
  for (const auto& recorded : sim().http->requests()) {
    if (recorded.request.url.path() == path) found.push_back(recorded.request);
  }
  return found;
}

std::string SimTest::bodyText(const HTTPRequest& request) {
  return request.httpBody ? std::string(request.httpBody->begin(), request.httpBody->end())
                          : std::string();
}

void SimTest::driveUntil(const bool& done) {
  loop().runUntilIdle();
  while (!done) {
    auto next = loop().nextDeadline();
    if (!next) {
      ADD_FAILURE() << "the awaited task can never finish: nothing is scheduled";
      throw std::runtime_error("awaited task never finished");
    }
    loop().advanceTo(*next);
  }
}

}  // namespace platform::testing
