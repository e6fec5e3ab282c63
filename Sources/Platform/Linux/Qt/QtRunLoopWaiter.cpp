#include "Platform/Linux/Qt/QtRunLoopWaiter.h"

#include <glib.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace platform::linuxbackend {

namespace {

// The deadline is set on this thread before each iteration and read by GLib when it prepares
// one; nothing else touches it, so setting it needs no call into GLib (which would signal the
// context's wake-up descriptor every time).
struct DeadlineSource {
  GSource source;
  gint64 deadline;  // GLib's monotonic microseconds; -1: none
  bool* woken;
};

gboolean prepareDeadline(GSource* source, gint* timeout) {
  auto* d = reinterpret_cast<DeadlineSource*>(source);
  if (d->deadline < 0) {
    *timeout = -1;
    return FALSE;
  }
  gint64 left = d->deadline - g_source_get_time(source);
  if (left <= 0) return TRUE;
  // Rounded up, so that the wake never comes before the deadline and the loop spins; a far
  // deadline waits a day at a time.
  *timeout = static_cast<gint>(std::min<gint64>((left + 999) / 1000, 86'400'000));
  return FALSE;
}

gboolean checkDeadline(GSource* source) {
  auto* d = reinterpret_cast<DeadlineSource*>(source);
  return d->deadline >= 0 && d->deadline <= g_source_get_time(source);
}

gboolean dispatchDeadline(GSource* source, GSourceFunc, gpointer) {
  auto* d = reinterpret_cast<DeadlineSource*>(source);
  d->deadline = -1;
  *d->woken = true;
  return G_SOURCE_CONTINUE;
}

GSourceFuncs deadlineFuncs = {prepareDeadline, checkDeadline, dispatchDeadline,
                              nullptr,         nullptr,       nullptr};

// Qt's GLib dispatcher runs the default context on the application's thread (QT_NO_GLIB turns
// it off).
bool qtRunsGLib() {
  auto* dispatcher = QAbstractEventDispatcher::instance();
  return qApp && QThread::currentThread() == qApp->thread() && dispatcher &&
         dispatcher->inherits("QEventDispatcherGlib");
}

}  // namespace

QtRunLoopWaiter::QtRunLoopWaiter() : timer_(std::make_unique<QTimer>()) {
  timer_->setSingleShot(true);
  timer_->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] { woken_ = true; });
  if (qtRunsGLib()) {
    deadline_ = g_source_new(&deadlineFuncs, sizeof(DeadlineSource));
    reinterpret_cast<DeadlineSource*>(deadline_)->deadline = -1;
    reinterpret_cast<DeadlineSource*>(deadline_)->woken = &woken_;
    g_source_set_priority(deadline_, G_PRIORITY_DEFAULT);
    g_source_set_can_recurse(deadline_, TRUE);
    g_source_attach(deadline_, g_main_context_default());
  }
}

QtRunLoopWaiter::~QtRunLoopWaiter() {
  if (deadline_) {
    g_source_destroy(deadline_);
    g_source_unref(deadline_);
  }
}

void QtRunLoopWaiter::armDeadline(std::optional<Uptime> timeout) {
  if (!timeout) return;
  if (deadline_) {
    auto us = std::chrono::ceil<std::chrono::microseconds>(*timeout).count();
    reinterpret_cast<DeadlineSource*>(deadline_)->deadline =
        g_get_monotonic_time() + std::max<gint64>(us, 0);
    return;
  }
  // Qt's timers count in int milliseconds: a far deadline waits a day at a time rather than
  // wrapping round to "now" and spinning.
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(*timeout);
  ms = std::clamp(ms, std::chrono::milliseconds(0), std::chrono::milliseconds(86'400'000));
  timer_->start(ms);
}

void QtRunLoopWaiter::disarmDeadline() {
  if (deadline_) {
    reinterpret_cast<DeadlineSource*>(deadline_)->deadline = -1;
  } else {
    timer_->stop();
  }
}

void QtRunLoopWaiter::watchExactly(int wakeFd, std::span<const int> watched) {
  for (auto it = notifiers_.begin(); it != notifiers_.end();) {
    bool wanted = it->first == wakeFd ||
                  std::find(watched.begin(), watched.end(), it->first) != watched.end();
    it = wanted ? std::next(it) : notifiers_.erase(it);
  }
  watch(wakeFd);
  for (int fd : watched) watch(fd);
  watchedWakeFd_ = wakeFd;
  watched_.assign(watched.begin(), watched.end());
}

void QtRunLoopWaiter::watch(int fd) {
  if (notifiers_.count(fd)) return;
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
  // Sources come and go, though seldom between two waits.
  if (wakeFd != watchedWakeFd_ ||
      !std::equal(watched.begin(), watched.end(), watched_.begin(), watched_.end()))
    watchExactly(wakeFd, watched);
  // The loop has read what fired last time: those notifiers may fire again.
  for (int fd : fired_) {
    if (auto it = notifiers_.find(fd); it != notifiers_.end()) it->second->setEnabled(true);
  }

  woken_ = false;
  fired_.clear();
  armDeadline(timeout);
  // Qt's own events (input, painting, its timers) also end one dispatch; the run loop then runs
  // a pass and waits again, so nothing is lost by returning early.
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  disarmDeadline();
  // processEvents never deletes what was deleted later at this loop level; we are the loop.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (int fd : fired_) {
    if (fd != wakeFd) ready.push_back(fd);
  }
}

}  // namespace platform::linuxbackend
