#include "Platform/Foundation/RunLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "Platform/Foundation/Error.h"

namespace platform {

namespace {
// A loop whose work keeps posting work would never become idle; past this many passes in one
// `runUntilIdle` we call it a bug rather than spin for ever.
constexpr int kMaxIdlePasses = 1'000'000;
}  // namespace

RunLoop::RunLoop(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) throw ProgrammingError("RunLoop: eventfd failed");
  waiter_ = std::make_unique<PollRunLoopWaiter>();
}

RunLoop::RunLoop(std::shared_ptr<ManualClock> clock) : clock_(clock), manual_(std::move(clock)) {}

RunLoop::~RunLoop() {
  discardPendingWork();
  if (wakeFd_ >= 0) close(wakeFd_);
}

void RunLoop::discardPendingWork() {
  // Dropping work can post more (a dropped continuation resumes its waiter with an error), so
  // clear outside the lock until nothing is left.
  for (;;) {
    std::deque<Work> ready;
    std::set<Entry> scheduled;
    {
      std::lock_guard lock(mutex_);
      ready.swap(ready_);
      scheduled.swap(scheduled_);
    }
    if (ready.empty() && scheduled.empty()) break;
  }
}

void RunLoop::post(Work work) {
  std::lock_guard lock(mutex_);
  ready_.push_back(std::move(work));
  if (sleeping_) {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
    sleeping_ = false;
  }
}

std::shared_ptr<WorkItem> RunLoop::postAfter(double seconds, Work work) {
  auto timer = std::shared_ptr<Timer>(new Timer(Uptime{0}, Uptime{0}, TimerKind::oneShot,
                                                RunLoopModes::common(),
                                                [work = std::move(work)](Timer&) { work(); }));
  schedule(timer, clock_->uptime() + platform::seconds(seconds < 0 ? 0 : seconds));
  return timer;
}

std::shared_ptr<Timer> RunLoop::scheduleTimer(double interval, TimerKind kind,
                                              std::function<void(Timer&)> fire,
                                              RunLoopModes modes) {
  // A non-positive interval means the smallest one, as on the original platform.
  Uptime step = platform::seconds(interval > 0 ? interval : 0.0001);
  if (step.count() <= 0) step = Uptime{1};
  Uptime now = clock_->uptime();
  auto timer = std::shared_ptr<Timer>(new Timer(now, step, kind, modes, std::move(fire)));
  schedule(timer, now + step);
  return timer;
}

void RunLoop::schedule(std::shared_ptr<Timer> timer, Uptime deadline) {
  std::lock_guard lock(mutex_);
  scheduled_.insert(Entry{deadline, nextSequence_++, std::move(timer)});
  if (sleeping_) {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
    sleeping_ = false;
  }
}

std::optional<RunLoop::Entry> RunLoop::takeDueEntry(Uptime now) {
  std::lock_guard lock(mutex_);
  RunLoopMode mode = currentMode();
  for (auto it = scheduled_.begin(); it != scheduled_.end() && it->deadline <= now;) {
    if (it->timer->isCancelled()) {
      it = scheduled_.erase(it);
      continue;
    }
    if (it->timer->modes_.contains(mode)) {
      Entry entry = *it;
      scheduled_.erase(it);
      return entry;
    }
    ++it;
  }
  return std::nullopt;
}

void RunLoop::fire(const Entry& entry) {
  Timer& timer = *entry.timer;
  if (timer.repeats_) {
    // The next whole multiple of the interval after now, measured from the anchor.
    Uptime now = clock_->uptime();
    auto periods = (now - timer.anchor_) / timer.interval_ + 1;
    schedule(entry.timer, timer.anchor_ + periods * timer.interval_);
  } else {
    timer.cancel();
  }
  CurrentScope scope(this);
  timer.fire_(timer);
}

bool RunLoop::runPass() {
  bool ran = false;
  Uptime now = clock_->uptime();
  while (auto entry = takeDueEntry(now)) {
    fire(*entry);
    ran = true;
  }
  std::size_t count;
  {
    std::lock_guard lock(mutex_);
    count = ready_.size();
  }
  // Taken one at a time, so that a nested run started by one item sees the items behind it in
  // their order.
  for (std::size_t i = 0; i < count; ++i) {
    Work work;
    {
      std::lock_guard lock(mutex_);
      if (ready_.empty()) break;
      work = std::move(ready_.front());
      ready_.pop_front();
    }
    CurrentScope scope(this);
    work();
    ran = true;
  }
  return ran;
}

std::optional<Uptime> RunLoop::nextDeadline() const {
  std::lock_guard lock(mutex_);
  RunLoopMode mode = currentMode();
  for (const auto& entry : scheduled_) {
    if (!entry.timer->isCancelled() && entry.timer->modes_.contains(mode)) return entry.deadline;
  }
  return std::nullopt;
}

void RunLoop::requireManual(const char* what) const {
  if (!manual_) throw ProgrammingError(std::string("RunLoop::") + what + " needs a manual clock");
}

void RunLoop::runUntilIdle() {
  requireManual("runUntilIdle");
  for (int pass = 0; runPass(); ++pass) {
    if (pass > kMaxIdlePasses)
      throw ProgrammingError("RunLoop::runUntilIdle: work keeps posting work");
  }
}

void RunLoop::advance(double secondsToAdvance) {
  requireManual("advance");
  advanceTo(clock_->uptime() + platform::seconds(secondsToAdvance));
}

void RunLoop::advanceTo(Uptime target) {
  requireManual("advanceTo");
  for (;;) {
    runUntilIdle();
    auto next = nextDeadline();
    if (!next || *next > target) break;
    Uptime now = clock_->uptime();
    if (*next > now) manual_->moveForward(*next - now);
  }
  Uptime now = clock_->uptime();
  if (target > now) manual_->moveForward(target - now);
  runUntilIdle();
}

bool RunLoop::shouldLeave(std::size_t depth) const {
  if (depth == 0) return stopRequested_;
  return nested_.size() >= depth && nested_[depth - 1].has_value();
}

void RunLoop::loop(std::size_t depth) {
  while (!shouldLeave(depth)) {
    if (runPass()) continue;
    if (shouldLeave(depth)) break;
    auto deadline = nextDeadline();
    if (manual_) {
      if (!deadline) {
        throw ProgrammingError("RunLoop::run: nothing is scheduled, the loop would wait for ever");
      }
      Uptime now = clock_->uptime();
      if (*deadline > now) manual_->moveForward(*deadline - now);
      continue;
    }
    waitForWork(deadline);
  }
}

void RunLoop::run() {
  stopRequested_ = false;
  loop(0);
  stopRequested_ = false;
}

void RunLoop::stop() {
  // Called on the loop's thread, or posted there.
  if (Executor::current() == this || manual_) {
    stopRequested_ = true;
  } else {
    post([this] { stopRequested_ = true; });
  }
}

long RunLoop::runNested(RunLoopMode mode) {
  modes_.push_back(mode);
  nested_.emplace_back();
  std::size_t depth = nested_.size();
  struct Pop {
    RunLoop* loop;
    ~Pop() {
      loop->nested_.pop_back();
      loop->modes_.pop_back();
    }
  } pop{this};
  loop(depth);
  return *nested_[depth - 1];
}

void RunLoop::endNested(long code) {
  if (nested_.empty()) throw ProgrammingError("RunLoop::endNested: no nested session is running");
  nested_.back() = code;
}

RunLoop::SourceId RunLoop::addReadSource(int fd, std::function<void()> ready) {
  SourceId id = nextSource_++;
  sources_.emplace(id, std::make_pair(fd, std::move(ready)));
  return id;
}

void RunLoop::removeReadSource(SourceId id) {
  sources_.erase(id);
}

void RunLoop::setWaiter(std::unique_ptr<RunLoopWaiter> waiter) {
  if (manual_) throw ProgrammingError("RunLoop::setWaiter: a manual clock never waits");
  waiter_ = waiter ? std::move(waiter) : std::make_unique<PollRunLoopWaiter>();
}

void RunLoop::drainWake() {
  std::uint64_t value;
  [[maybe_unused]] auto r = read(wakeFd_, &value, sizeof value);
}

void RunLoop::waitForWork(std::optional<Uptime> deadline) {
  {
    std::lock_guard lock(mutex_);
    if (!ready_.empty()) return;
    sleeping_ = true;
  }
  std::optional<Uptime> timeout;
  if (deadline) {
    auto wait = *deadline - clock_->uptime();
    if (wait.count() <= 0) {
      bool written;
      {
        std::lock_guard lock(mutex_);
        written = !sleeping_;
        sleeping_ = false;
      }
      if (written) drainWake();
      return;
    }
    timeout = wait;
  }
  // Kept from wait to wait, so that a tick allocates nothing; a nested wait (a modal session
  // run from a source's callback) takes a fresh one.
  std::vector<int> fds = std::move(watchedFds_);
  fds.clear();
  for (const auto& [id, source] : sources_) fds.push_back(source.first);
  std::vector<int> ready;
  {
    // What the waiter dispatches meanwhile (a desktop's input) runs as this loop's work.
    CurrentScope scope(this);
    waiter_->wait(wakeFd_, fds, timeout, ready);
  }
  watchedFds_ = std::move(fds);
  bool written;
  {
    std::lock_guard lock(mutex_);
    // Only a poster that found us sleeping wrote the descriptor; otherwise it is empty and the
    // read would fail at every tick.
    written = !sleeping_;
    sleeping_ = false;
  }
  if (written) drainWake();
  if (ready.empty()) return;
  // By id, so that a source removed by an earlier callback is not called.
  std::vector<SourceId> due;
  for (const auto& [id, source] : sources_) {
    for (int fd : ready) {
      if (source.first == fd) {
        due.push_back(id);
        break;
      }
    }
  }
  for (SourceId id : due) {
    auto it = sources_.find(id);
    if (it == sources_.end()) continue;
    auto callback = it->second.second;
    CurrentScope scope(this);
    callback();
  }
}

}  // namespace platform
