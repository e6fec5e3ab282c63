#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "Flagrig/Onboarding/LoginFirstFlowModel.h"
#include "Flagrig/Onboarding/LoginFirstFlowView.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform {
class Screen;
namespace forms {
class FormHost;
}
}  // namespace platform

namespace flagrig {

class AppDelegate;

// The window of the first-run flow: created when the flow is asked for, sized to the screen
// for each step, titled by the step and brought to the front; closed by the flow's completion,
// which records onboarding as done and hands the route on to the application delegate. A
// window the user closes simply ends the flow: its model, view and observers go with it.
// Main thread only.
class LoginFirstFlowWindowController final
    : public LoginFirstFlowWindow,
      public std::enable_shared_from_this<LoginFirstFlowWindowController> {
 public:
  static constexpr std::string_view onboardingCompleteKey =
      "dev.voskary.flagrig.onboardingComplete.v2";
  static constexpr platform::Size fallbackContentSize{520, 640};
  static constexpr double screenShare = 0.92;
  static constexpr std::uint64_t styleMask =
      platform::StyleMask::titled | platform::StyleMask::closable | platform::StyleMask::resizable;

  explicit LoginFirstFlowWindowController(std::weak_ptr<AppDelegate> delegate);
  ~LoginFirstFlowWindowController() override;

  // Makes `AppScreens` build this window for every application delegate.
  static void install();

  void present(LoginFirstStep step) override;
  std::shared_ptr<platform::Window> window() override { return window_; }

  // Geometry -------------------------------------------------------------------------------
  static std::string_view title(LoginFirstStep step);
  static platform::Size preferredContentSize(const platform::Screen* screen);
  // The main screen, else the first, else the one under the pointer; may be none.
  static std::shared_ptr<platform::Screen> presentationScreen();
  static std::shared_ptr<platform::Screen> screenUnderCursor();
  // The frame that centres a window of that content size in the screen's visible frame,
  // kept inside it where it fits.
  static platform::Rect centeredFrame(platform::Size contentSize, const platform::Screen& screen,
                                      const platform::Window& window);
  static void resizeFlowWindow(platform::Window& window, LoginFirstStep step);

  // While the window is open.
  const std::shared_ptr<LoginFirstFlowModel>& model() const { return model_; }
  const std::shared_ptr<LoginFirstFlowView>& view() const { return view_; }
  const std::shared_ptr<platform::forms::FormHost>& host() const { return host_; }

 private:
  void complete();
  void didClose();
  void removeCloseObserver();

  std::weak_ptr<AppDelegate> delegate_;
  std::shared_ptr<platform::Window> window_;
  std::optional<platform::NotificationCenter::Token> closeObserver_;
  std::shared_ptr<LoginFirstFlowModel> model_;
  std::shared_ptr<LoginFirstFlowView> view_;
  std::shared_ptr<platform::forms::FormHost> host_;
  std::shared_ptr<void> presentation_;
};

}  // namespace flagrig
