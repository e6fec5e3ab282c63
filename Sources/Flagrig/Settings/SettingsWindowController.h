#pragma once

#include <memory>

#include "Flagrig/Shell/AppScreens.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform::forms {
class FormHost;
}

namespace flagrig {

class FlagrigSettingsView;

// Owns the one settings window of the process and the form in it. The window is built once;
// closing it only hides it, so the form and its state are there again at the next opening.
// Main thread only.
class SettingsWindowController final
    : public SettingsWindowScreen,
      public platform::WindowDelegate,
      public std::enable_shared_from_this<SettingsWindowController> {
 public:
  static constexpr const char* title = "Flagrig Settings";
  static constexpr double width = 460;
  static constexpr double height = 640;

  static std::shared_ptr<SettingsWindowController> shared();
  // Makes the shared controller the app's settings screen.
  static void install();

  // Centres the window (every time), shows it key and in front through the Dock policy, lets
  // the form refresh what it shows on appearing, and tracks "settings_viewed".
  void showWindow() override;
  std::shared_ptr<platform::Window> window() override { return window_; }

  const std::shared_ptr<FlagrigSettingsView>& view() const { return view_; }
  const std::shared_ptr<platform::forms::FormHost>& host() const;

  SettingsWindowController();
  ~SettingsWindowController() override;

 private:
  void build();

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<FlagrigSettingsView> view_;
  // The desktop's drawing of the form, for as long as the window lives.
  std::shared_ptr<void> presentation_;
  platform::NotificationCenter::Token closeObserver_;
};

}  // namespace flagrig
