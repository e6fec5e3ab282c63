#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Desktop/RunningApplication.h"
#include "Platform/Foundation/URL.h"

namespace platform {

struct WorkspaceOpenConfiguration {
  bool createsNewApplicationInstance = false;
  bool activates = true;
  bool operator==(const WorkspaceOpenConfiguration&) const = default;
};

// The desktop's workspace: opening addresses with their default handlers, showing files in the
// file manager, launching applications and finding running ones.
class Workspace {
 public:
  virtual ~Workspace() = default;

  // The installed desktop's workspace.
  static Workspace& shared();

  // False when no handler took the address.
  virtual bool openURL(const URL& url) = 0;
  // The same, for a desktop whose handler answers only later (a helper program's exit status):
  // `completion` runs on the main loop with the answer. The default answers `openURL` at once.
  using OpenURLCompletion = std::function<void(bool opened)>;
  virtual void openURLWithCompletion(const URL& url, OpenURLCompletion completion);
  // Opens file-manager windows that select these files.
  virtual void activateFileViewerSelecting(const std::vector<std::string>& paths) = 0;
  // Launches the application bundle at `path`. The completion runs later, on the main loop, with
  // the launched application or a description of the failure.
  using OpenCompletion =
      std::function<void(std::shared_ptr<RunningApplication>, std::optional<std::string> error)>;
  virtual void openApplication(const std::string& path, WorkspaceOpenConfiguration configuration,
                               OpenCompletion completion) = 0;
  // Null when no application runs with that process id.
  virtual std::shared_ptr<RunningApplication> runningApplication(std::int32_t pid) = 0;
};

}  // namespace platform
