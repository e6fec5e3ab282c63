#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Foundation/Environment.h"
#include "Platform/Linux/Qt/QtDesktop.h"
#include "Platform/Sim/SimEnvironment.h"
#include "Support/X11/XvfbDesktop.h"

namespace platform::testing {

// The Qt desktop on a private X desktop (Xvfb and openbox). One X server serves every test of
// the process, since Qt opens its display once; each test gets a fresh environment whose main
// loop runs on the system clock and waits inside Qt. Skips when no X server can be started.
class QtDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static XvfbDesktop& xdesktop();
  linuxbackend::QtDesktop& desktop() { return *desktop_; }
  RunLoop& loop() { return *env().mainLoop; }

  // Runs the main loop until `condition` holds (checked every 10 ms); false after `seconds`.
  bool runUntil(const std::function<bool()>& condition, double seconds = 20);
  // Runs the main loop for a while (to let the X server and the window manager settle).
  void runFor(double seconds);
  // A screenshot of the whole X screen through xwd and ImageMagick, kept in the test's output
  // folder under `name`.png; null image when it could not be taken.
  QImage screenshot(const std::string& name);
  // The X server's mapped top-level windows, bottom to top.
  std::vector<std::uint32_t> stacking();
  // The top-level ancestor (a window manager's frame) of a window.
  std::uint32_t topLevelOf(std::uint32_t window);
  // Starts an xterm with this title at a root position; its client window id once mapped.
  std::uint32_t startXterm(const std::string& title, int x, int y, pid_t* pid = nullptr);
  // Runs xdotool on the desktop; true when it exited 0.
  bool xdotool(std::vector<std::string> arguments);

  std::shared_ptr<sim::SimEnvironment> sim_;
  std::shared_ptr<linuxbackend::QtDesktop> desktop_;
  std::vector<pid_t> started_;
};

// Whether a pixel is within `tolerance` of a colour on each channel.
bool near(const QColor& a, const QColor& b, int tolerance = 8);

}  // namespace platform::testing
