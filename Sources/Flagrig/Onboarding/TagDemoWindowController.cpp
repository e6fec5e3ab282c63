#include "Flagrig/Onboarding/TagDemoWindowController.h"

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Onboarding/TagDemoView.h"
#include "Flagrig/Shell/WindowActivation.h"
#include "Flagrig/Tagging/TagNotifications.h"
#include "Flagrig/Tagging/WindowPicker.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using namespace platform;

TagDemoWindowController& TagDemoWindowController::shared() {
  return *sharedPointer();
}

std::shared_ptr<TagDemoWindowController> TagDemoWindowController::sharedPointer() {
  static SharedInstance<TagDemoWindowController> instance;
  return instance.pointer();
}

void TagDemoWindowController::install() {
  AppScreens::shared().tagDemo = sharedPointer();
}

TagDemoWindowController::TagDemoWindowController() = default;

TagDemoWindowController::~TagDemoWindowController() {
  if (hasEnvironment()) removeObservers();
  model_.removeObserver(stageObserver_);
  if (window_) window_->setDelegate(nullptr);
}

std::shared_ptr<Window> TagDemoWindowController::window() {
  ensureWindow();
  return window_;
}

void TagDemoWindowController::ensureWindow() {
  if (window_) return;
  window_ = std::make_shared<Window>(Rect(0, 0, TagDemoView::width, TagDemoView::height),
                                     StyleMask::titled | StyleMask::closable);
  window_->setTitle("Flagrig");
  window_->setAppearance(Appearance::darkAqua);
  window_->setBackgroundColor(TagDemoView::coal());
  window_->setReleasedWhenClosed(false);
  window_->setDelegate(shared_from_this());
  window_->setContentSize({TagDemoView::width, TagDemoView::height});

  std::weak_ptr<TagDemoWindowController> weak = weak_from_this();
  auto act = [weak](void (TagDemoWindowController::*action)()) {
    return [weak, action] {
      if (auto self = weak.lock()) (self.get()->*action)();
    };
  };
  host_ =
      forms::FormHost::make([weak, onTag = act(&TagDemoWindowController::tagAWindow),
                             onSkip = act(&TagDemoWindowController::skipTapped),
                             onDone = act(&TagDemoWindowController::doneTapped)](forms::FormHost&) {
        auto self = weak.lock();
        if (!self) return forms::VStack({});
        return TagDemoView{self->model_, onTag, onSkip, onDone}.body();
      });
  std::weak_ptr<forms::FormHost> weakHost = host_;
  stageObserver_ = model_.observe([weakHost](TagDemoStage) {
    if (auto host = weakHost.lock()) host->invalidate();
  });
  presentation_ = env().desktop->presentForm(*window_, host_);
}

void TagDemoWindowController::present(std::function<void()> onTagAWindow,
                                      std::function<void()> onFinished) {
  onTagAWindow_ = std::move(onTagAWindow);
  onFinished_ = std::move(onFinished);
  reviewMode_ = false;
  show(TagDemoStage::intro);
  Analytics::track("tag_demo_shown");
}

void TagDemoWindowController::show(TagDemoStage stage) {
  ensureWindow();
  model_.setStage(stage);
  didNotifyFinish_ = false;
  hiddenForPicker_ = false;
  if (!reviewMode_) installObservers();
  window_->center();
  WindowActivation::bringToFront(window_);
}

void TagDemoWindowController::tagAWindow() {
  if (reviewMode_ || !onTagAWindow_) return;
  // A copy: the callback may present the demo again and replace itself.
  auto startPick = onTagAWindow_;
  startPick();
  // Hidden only once a pick is really open; otherwise nothing would ever bring it back.
  if (!WindowPicker::shared().isPicking()) return;
  hiddenForPicker_ = true;
  if (window_) window_->orderOut();
}

void TagDemoWindowController::skipTapped() {
  finish("tag_demo_skipped");
}

void TagDemoWindowController::doneTapped() {
  finish("tag_demo_completed");
}

void TagDemoWindowController::finish(std::string_view event) {
  if (!reviewMode_) {
    env().defaults->set(completeKey, Value(true));
    Analytics::track(event);
  }
  if (window_) window_->close();
}

void TagDemoWindowController::windowWillClose(Window&) {
  removeObservers();
  hiddenForPicker_ = false;
  if (didNotifyFinish_) return;
  didNotifyFinish_ = true;
  auto finished = std::move(onFinished_);
  onFinished_ = nullptr;
  onTagAWindow_ = nullptr;
  if (finished) finished();
}

void TagDemoWindowController::installObservers() {
  removeObservers();
  auto& center = *env().notificationCenter;
  std::weak_ptr<TagDemoWindowController> weak = weak_from_this();
  // Each is handled a turn after its delivery, once the posting call (the tag manager placing
  // the new panel, the picker tearing down) has returned.
  auto later = [weak](void (TagDemoWindowController::*handler)()) {
    return [weak, handler](const Notification&) {
      env().mainLoop->post([weak, handler] {
        if (auto self = weak.lock()) (self.get()->*handler)();
      });
    };
  };
  tagCreatedObserver_ = center.addObserver(std::string(flagrigTagCreated), nullptr, env().mainLoop,
                                           later(&TagDemoWindowController::handleTagCreated));
  pickCancelledObserver_ =
      center.addObserver(std::string(flagrigWindowPickCancelled), nullptr, env().mainLoop,
                         later(&TagDemoWindowController::handlePickCancelled));
}

void TagDemoWindowController::removeObservers() {
  auto& center = *env().notificationCenter;
  if (tagCreatedObserver_) center.removeObserver(*tagCreatedObserver_);
  if (pickCancelledObserver_) center.removeObserver(*pickCancelledObserver_);
  tagCreatedObserver_.reset();
  pickCancelledObserver_.reset();
}

void TagDemoWindowController::handleTagCreated() {
  if (!window_ || (!window_->isVisible() && !hiddenForPicker_)) return;
  if (model_.stage() != TagDemoStage::intro) return;
  model_.setStage(TagDemoStage::success);
  hiddenForPicker_ = false;
  WindowActivation::bringToFront(window_);
}

void TagDemoWindowController::handlePickCancelled() {
  if (!hiddenForPicker_) return;
  hiddenForPicker_ = false;
  WindowActivation::bringToFront(window_);
}

}  // namespace flagrig
