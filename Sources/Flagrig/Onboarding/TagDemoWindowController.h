#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "Flagrig/Onboarding/TagDemoModel.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform::forms {
class FormHost;
}

namespace flagrig {

// The small dark window that teaches the first tag. "Tag a Window" hides it while a window
// pick runs; the new tag brings it back at its success stage, a cancelled pick at its intro.
// `onFinished` runs once per showing, however the window closes; only "Skip for now" and
// "Done" record that the demo was finished. One window, built once and reused. Main thread.
class TagDemoWindowController final : public TagDemoScreen,
                                      public platform::WindowDelegate,
                                      public std::enable_shared_from_this<TagDemoWindowController> {
 public:
  static constexpr std::string_view completeKey = "dev.voskary.flagrig.tagDemoComplete.v1";

  static TagDemoWindowController& shared();
  static std::shared_ptr<TagDemoWindowController> sharedPointer();
  // Becomes the shell's tag demo.
  static void install();
  TagDemoWindowController();
  ~TagDemoWindowController() override;

  // TagDemoScreen.
  void present(std::function<void()> onTagAWindow, std::function<void()> onFinished) override;
  void setReviewMode(bool on) override { reviewMode_ = on; }
  void show(TagDemoStage stage) override;
  // Built at the first showing (or this first call) and kept.
  std::shared_ptr<platform::Window> window() override;

  // The buttons.
  void tagAWindow();
  void skipTapped();
  void doneTapped();

  // WindowDelegate.
  void windowWillClose(platform::Window&) override;

  const TagDemoModel& model() const { return model_; }
  const std::shared_ptr<platform::forms::FormHost>& host() const { return host_; }
  bool isHiddenForPicker() const { return hiddenForPicker_; }
  bool isReviewMode() const { return reviewMode_; }
  bool hasObservers() const { return tagCreatedObserver_ || pickCancelledObserver_; }
  bool hasCallbacks() const { return onTagAWindow_ || onFinished_; }

 private:
  // The window and its form, made once, when first needed.
  void ensureWindow();
  void finish(std::string_view event);
  void installObservers();
  void removeObservers();
  void handleTagCreated();
  void handlePickCancelled();

  TagDemoModel model_;
  std::function<void()> onTagAWindow_;
  std::function<void()> onFinished_;
  std::optional<platform::NotificationCenter::Token> tagCreatedObserver_;
  std::optional<platform::NotificationCenter::Token> pickCancelledObserver_;
  bool hiddenForPicker_ = false;
  bool didNotifyFinish_ = false;
  bool reviewMode_ = false;

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::forms::FormHost> host_;
  std::shared_ptr<void> presentation_;
  TagDemoModel::ObserverId stageObserver_ = 0;
};

}  // namespace flagrig
