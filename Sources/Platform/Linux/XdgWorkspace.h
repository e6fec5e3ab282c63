#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/XdgOpen.h"

namespace platform::linuxbackend {

// The workspace of a Linux desktop: addresses and folders open with `xdg-open` (its exit
// status is the answer), a new instance of this application is our own executable started
// under our argv[0] with the arguments this process was given, and running applications are
// processes.
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
  // the executable behind `/proc/self/exe` under our argv[0]) with this process's arguments when a
  // new instance is asked for.
  void openApplication(const std::string& path, WorkspaceOpenConfiguration configuration,
                       OpenCompletion completion) override;
  std::shared_ptr<RunningApplication> runningApplication(std::int32_t pid) override;

  // How a new instance of this application starts: the executable file `executable` (what
  // /proc/self/exe points at; the link itself when that file is gone) with `program` (our own
  // argv[0]) as its argv[0], then `arguments`.
  struct Launch {
    std::string executable;
    std::vector<std::string> argv;
  };
  static Launch newInstance(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& executable);

  // argv[1...] of this process, from /proc/self/cmdline.
  static std::vector<std::string> currentArguments();

 private:
  std::vector<std::string> arguments_;
  XdgOpen opener_;
};

}  // namespace platform::linuxbackend
