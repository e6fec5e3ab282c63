#include "Platform/Sim/SimWorkspace.h"

#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Sim/SimDesktop.h"

namespace platform::sim {

namespace {

// A process of the simulated desktop, this application's or a foreign one.
class SimRunningApplication final : public RunningApplication {
 public:
  SimRunningApplication(SimDesktop& desktop, std::int32_t pid) : desktop_(desktop), pid_(pid) {}
  std::int32_t processIdentifier() const override { return pid_; }
  std::string localizedName() const override {
    auto& server = desktop_.windowServer();
    if (pid_ == server.ownPID()) return server.ownName();
    auto app = server.application(pid_);
    return app ? app->name : std::string();
  }
  bool isTerminated() const override {
    auto& server = desktop_.windowServer();
    if (pid_ == server.ownPID()) return false;
    auto app = server.application(pid_);
    return !app || app->state == SimProcessState::gone;
  }
  bool activate(std::uint32_t) override {
    if (isTerminated()) return false;
    if (pid_ == desktop_.windowServer().ownPID()) {
      desktop_.application().activate();
    } else {
      desktop_.activateForeignApplication(pid_);
    }
    return true;
  }

 private:
  SimDesktop& desktop_;
  std::int32_t pid_;
};

}  // namespace

bool SimWorkspace::openURL(const URL& url) {
  bool opens = opens_ ? opens_(url) : url.scheme().has_value();
  (opens ? opened_ : refused_).push_back(url);
  return opens;
}

void SimWorkspace::activateFileViewerSelecting(const std::vector<std::string>& paths) {
  revealed_.push_back(paths);
}

void SimWorkspace::openApplication(const std::string& path,
                                   WorkspaceOpenConfiguration configuration,
                                   OpenCompletion completion) {
  launches_.push_back({path, configuration});
  std::shared_ptr<RunningApplication> launched;
  std::optional<std::string> error = launchFailure_;
  if (!error) {
    auto slash = path.find_last_of('/');
    auto pid = desktop_.windowServer().launchApplication(
        slash == std::string::npos ? path : path.substr(slash + 1));
    launched = std::make_shared<SimRunningApplication>(desktop_, pid);
  }
  if (!completion) return;
  env().mainLoop->post(
      [completion = std::move(completion), launched, error] { completion(launched, error); });
}

std::shared_ptr<RunningApplication> SimWorkspace::runningApplication(std::int32_t pid) {
  auto app = std::make_shared<SimRunningApplication>(desktop_, pid);
  if (app->isTerminated()) return nullptr;
  return app;
}

}  // namespace platform::sim
