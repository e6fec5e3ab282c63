#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Linux/X11/X11Connection.h"

namespace platform::testing {

// A private X desktop for tests: `Xvfb -noreset` on a display number it picks itself, with
// openbox as window manager under a private D-Bus session. Every process it starts runs in a
// process group of its own and is ended with the desktop; should the test process die, the
// server ends anyway, and its clients with it. Readiness is waited for by condition
// (the server names its display, the manager announces itself on the root), never by sleeping.
class XvfbDesktop {
 public:
  struct Options {
    int width = 1600;
    int height = 900;
    bool windowManager = true;
  };

  // The running desktop, or null with the reason it cannot start here.
  static std::unique_ptr<XvfbDesktop> start(std::string& reason, Options options);
  static std::unique_ptr<XvfbDesktop> start(std::string& reason) {
    return start(reason, Options());
  }
  ~XvfbDesktop();
  XvfbDesktop(const XvfbDesktop&) = delete;
  XvfbDesktop& operator=(const XvfbDesktop&) = delete;

  // ":N".
  const std::string& display() const { return display_; }

  // Starts a program on this desktop; -1 when it cannot start. It is ended with the desktop,
  // or earlier by `end`.
  pid_t spawn(const std::vector<std::string>& argv);
  // Runs a program on this desktop to its end; its exit status, -1 when it did not exit
  // normally within `seconds`.
  int run(const std::vector<std::string>& argv, double seconds = 30);
  // Ends a program started by `spawn` (its whole process group) and reaps it.
  void end(pid_t pid);

  // Reads `connection`'s events until `condition` holds; false after `seconds`.
  static bool waitUntil(linuxbackend::X11Connection& connection,
                        const std::function<bool()>& condition, double seconds = 20);

 private:
  XvfbDesktop() = default;
  pid_t startProcess(const std::vector<std::string>& argv, bool guarded);

  std::string display_;
  pid_t server_ = -1;
  std::vector<pid_t> children_;
  int guardRead_ = -1;
  int guardWrite_ = -1;
};

}  // namespace platform::testing
