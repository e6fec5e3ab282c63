#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform/Linux/X11/X11Connection.h"
#include "Platform/Linux/X11/X11WindowServer.h"
#include "Support/SimTest.h"
#include "Support/X11/XvfbDesktop.h"

namespace platform::testing {

// One private X desktop for a suite of backend tests; each test gets its own connection and
// window server on it. Skips when no X server can be started here.
class X11DesktopTest : public SimTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  XvfbDesktop& desktop() { return *desktop_; }
  linuxbackend::X11Connection& connection() { return *connection_; }
  linuxbackend::X11WindowServer& server() { return *server_; }

  // Starts an xterm titled `title` at the given position and size (in characters) and waits
  // until the window server lists it; its entry's window number.
  std::uint32_t startXterm(const std::string& title, int x, int y, pid_t* pid = nullptr);
  // The entry for a window in the current list, if any.
  std::optional<linuxbackend::X11WindowEntry> entry(std::uint32_t number);
  bool waitUntil(const std::function<bool()>& condition, double seconds = 20) {
    return XvfbDesktop::waitUntil(*connection_, condition, seconds);
  }
  // Runs xdotool on the desktop; true when it exited 0.
  bool xdotool(std::vector<std::string> arguments);

  static std::unique_ptr<XvfbDesktop> desktop_;
  static std::string reason_;
  std::shared_ptr<linuxbackend::X11Connection> connection_;
  std::unique_ptr<linuxbackend::X11WindowServer> server_;
  std::vector<pid_t> started_;
};

}  // namespace platform::testing
