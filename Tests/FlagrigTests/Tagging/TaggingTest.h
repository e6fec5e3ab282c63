#pragma once

#include <string>
#include <string_view>

#include "Flagrig/Tagging/WindowInfo.h"
#include "Platform/Desktop/DesktopCoordinates.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Support/SimTest.h"

namespace flagrig::testing {

// Counts the posts of one notification while it lives.
class PostCounter {
 public:
  explicit PostCounter(std::string_view name) {
    token_ = platform::env().notificationCenter->addObserver(
        std::string(name), nullptr, nullptr, [this](const platform::Notification&) { ++count_; });
  }
  ~PostCounter() { platform::env().notificationCenter->removeObserver(token_); }
  int count() const { return count_; }

 private:
  platform::NotificationCenter::Token token_;
  int count_ = 0;
};

// The simulated desktop with helpers for foreign applications and their windows. Bounds are in
// window-list coordinates (y downwards from the top of the desktop), as the window list has them.
class TaggingTest : public platform::testing::SimTest {
 protected:
  platform::sim::SimDesktop& desktop() { return *sim().desktop; }
  platform::sim::SimWindowServer& server() { return desktop().windowServer(); }
  platform::UserDefaults& defaults() { return *platform::env().defaults; }

  // Opens a window of a new application and describes it as a pick would.
  WindowInfo openWindow(platform::Rect bounds, std::string app = "Notes") {
    auto pid = server().launchApplication(app);
    auto number = server().openWindow(pid, bounds);
    return WindowInfo{number, pid, bounds, app};
  }
  // A window-list point on screen.
  platform::Point toScreen(platform::Point listPoint) {
    return platform::DesktopCoordinates::current()->toScreen(listPoint);
  }
  platform::Rect toScreen(platform::Rect listRect) {
    return platform::DesktopCoordinates::current()->toScreen(listRect);
  }
};

}  // namespace flagrig::testing
