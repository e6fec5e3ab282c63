#include "Platform/Linux/Qt/QtRunLoopWaiter.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace platform::linuxbackend {

QtRunLoopWaiter::QtRunLoopWaiter() : timer_(std::make_unique<QTimer>()) {
  timer_->setSingleShot(true);
  timer_->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] { woken_ = true; });
}

QtRunLoopWaiter::~QtRunLoopWaiter() = default;

void QtRunLoopWaiter::watch(int fd) {
  if (notifiers_.count(fd)) {
    notifiers_[fd]->setEnabled(true);
    return;
  }
  auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [this, fd] {
    woken_ = true;
    // Until the loop has read it; a level-triggered notifier would fire again meanwhile.
    notifiers_[fd]->setEnabled(false);
    fired_.push_back(fd);
  });
  notifiers_.emplace(fd, std::move(notifier));
}

void QtRunLoopWaiter::wait(int wakeFd, std::span<const int> watched, std::optional<Uptime> timeout,
                           std::vector<int>& ready) {
  if (beforeWait_) beforeWait_();
  // Sources come and go; keep a notifier for each descriptor watched now.
  for (auto it = notifiers_.begin(); it != notifiers_.end();) {
    bool wanted = it->first == wakeFd ||
                  std::find(watched.begin(), watched.end(), it->first) != watched.end();
    it = wanted ? std::next(it) : notifiers_.erase(it);
  }
  watch(wakeFd);
  for (int fd : watched) watch(fd);

  woken_ = false;
  fired_.clear();
  if (timeout) {
    // Rounded up, so that the timer never fires before the deadline and the loop spins.
    // Qt's timers count in int milliseconds: a far deadline waits a day at a time rather than
    // wrapping round to "now" and spinning.
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(*timeout);
    ms = std::clamp(ms, std::chrono::milliseconds(0), std::chrono::milliseconds(86'400'000));
    timer_->start(ms);
  }
  // Qt's own events (input, painting, its timers) also end one dispatch; the run loop then runs
  // a pass and waits again, so nothing is lost by returning early.
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  timer_->stop();
  // processEvents never deletes what was deleted later at this loop level; we are the loop.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (int fd : fired_) {
    if (fd != wakeFd) ready.push_back(fd);
  }
}

}  // namespace platform::linuxbackend
