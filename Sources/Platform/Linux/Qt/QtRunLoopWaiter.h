#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "Platform/Foundation/RunLoopWaiter.h"

class QSocketNotifier;
class QTimer;
struct _GSource;

namespace platform::linuxbackend {

// Lets the run loop sleep inside Qt's event dispatcher, so that our loop stays the one main loop
// and Qt's windows, input and timers are served while it waits. The wake descriptor and the read
// sources are watched by socket notifiers, the next deadline by one source of GLib's main context
// that Qt's dispatcher runs (a precise single-shot timer under any other dispatcher): a tick then
// costs no timer registered and no timer event sent; objects Qt deletes later are deleted after
// each wait. Needs a Qt application object on this thread.
class QtRunLoopWaiter final : public RunLoopWaiter {
 public:
  QtRunLoopWaiter();
  ~QtRunLoopWaiter() override;

  void wait(int wakeFd, std::span<const int> watched, std::optional<Uptime> timeout,
            std::vector<int>& ready) override;

  // Runs before each wait, when the loop has nothing left to do: the moment to bring what Qt
  // shows in line with the model.
  void setBeforeWait(std::function<void()> hook) { beforeWait_ = std::move(hook); }

 private:
  // Keeps a notifier for each descriptor of the set, and only those.
  void watchExactly(int wakeFd, std::span<const int> watched);
  void watch(int fd);

  std::map<int, std::unique_ptr<QSocketNotifier>> notifiers_;
  // The set the notifiers stand for: it seldom changes, so a wait seldom touches them.
  int watchedWakeFd_ = -1;
  std::vector<int> watched_;
  void armDeadline(std::optional<Uptime> timeout);
  void disarmDeadline();

  std::unique_ptr<QTimer> timer_;
  _GSource* deadline_ = nullptr;  // null unless Qt runs GLib's default main context
  std::vector<int> fired_;
  bool woken_ = false;
  std::function<void()> beforeWait_;
};

}  // namespace platform::linuxbackend
