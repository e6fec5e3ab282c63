#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/XdgOpen.h"

namespace platform::linuxbackend {

// The workspace of a Linux desktop: addresses and folders open with `xdg-open` (its exit
// status is the answer), a new instance of this application is `/proc/self/exe` started with
// the arguments this process was given, and running applications are processes.
class XdgWorkspace final : public Workspace {
 public:
  // `arguments` are this process's own (argv[1...]); `opener` runs xdg-open.
  explicit XdgWorkspace(std::vector<std::string> arguments = currentArguments(),
                        XdgOpen opener = XdgOpen());

  // True once xdg-open started; what it then answers is logged. Callers that need the answer
  // use `openURLWithCompletion`.
  bool openURL(const URL& url) override;
  void openURLWithCompletion(const URL& url, OpenURLCompletion completion) override;
  // Opens the folder of each file (once per folder).
  void activateFileViewerSelecting(const std::vector<std::string>& paths) override;
  // Starts the executable at `path` (this application's own bundle path starts
  // `/proc/self/exe`) with this process's arguments when a new instance is asked for.
  void openApplication(const std::string& path, WorkspaceOpenConfiguration configuration,
                       OpenCompletion completion) override;
  std::shared_ptr<RunningApplication> runningApplication(std::int32_t pid) override;

  // argv[1...] of this process, from /proc/self/cmdline.
  static std::vector<std::string> currentArguments();

 private:
  std::vector<std::string> arguments_;
  XdgOpen opener_;
};

}  // namespace platform::linuxbackend
