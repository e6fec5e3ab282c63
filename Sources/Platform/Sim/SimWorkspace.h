#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Desktop/Workspace.h"

namespace platform::sim {

class SimDesktop;

// The simulated workspace: records every address it is asked to open, every file it is asked to
// reveal and every application it is asked to launch. A test decides which addresses have a
// handler and whether a launch succeeds.
class SimWorkspace final : public Workspace {
 public:
  struct Launch {
    std::string path;
    WorkspaceOpenConfiguration configuration;
  };

  explicit SimWorkspace(SimDesktop& desktop) : desktop_(desktop) {}

  bool openURL(const URL& url) override;
  void activateFileViewerSelecting(const std::vector<std::string>& paths) override;
  void openApplication(const std::string& path, WorkspaceOpenConfiguration configuration,
                       OpenCompletion completion) override;
  std::shared_ptr<RunningApplication> runningApplication(std::int32_t pid) override;

  // Which addresses open; by default every address with a scheme does.
  void setURLHandler(std::function<bool(const URL&)> opens) { opens_ = std::move(opens); }
  // The next launches fail with this description (or succeed again with nothing).
  void setLaunchFailure(std::optional<std::string> error) { launchFailure_ = std::move(error); }

  // Addresses that opened, in order; refused ones are in `refusedURLs`.
  const std::vector<URL>& openedURLs() const { return opened_; }
  const std::vector<URL>& refusedURLs() const { return refused_; }
  const std::vector<std::vector<std::string>>& revealedFiles() const { return revealed_; }
  const std::vector<Launch>& launches() const { return launches_; }

 private:
  SimDesktop& desktop_;
  std::function<bool(const URL&)> opens_;
  std::optional<std::string> launchFailure_;
  std::vector<URL> opened_;
  std::vector<URL> refused_;
  std::vector<std::vector<std::string>> revealed_;
  std::vector<Launch> launches_;
};

}  // namespace platform::sim
