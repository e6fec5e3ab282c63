#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Executor.h"
#include "Platform/Foundation/RunLoopWaiter.h"

namespace platform {

// The mode a run loop is running in. Timers say in which modes they may fire; posted work
// runs in every mode, as the main dispatch queue does.
enum class RunLoopMode : std::uint8_t { defaultMode = 1, modal = 2, eventTracking = 4 };

class RunLoopModes {
 public:
  constexpr RunLoopModes(RunLoopMode mode) : bits_(static_cast<std::uint8_t>(mode)) {}
  static constexpr RunLoopModes common() { return RunLoopModes(7); }
  constexpr bool contains(RunLoopMode mode) const {
    return bits_ & static_cast<std::uint8_t>(mode);
  }

 private:
  constexpr explicit RunLoopModes(std::uint8_t bits) : bits_(bits) {}
  std::uint8_t bits_;
};

// A delayed work item; `cancel` before it runs and it never runs. Safe from any thread.
class WorkItem {
 public:
  virtual ~WorkItem() = default;
  void cancel() { cancelled_ = true; }
  bool isCancelled() const { return cancelled_; }

 private:
  std::atomic<bool> cancelled_{false};
};

// Whether a timer fires once or again at every interval.
enum class TimerKind { oneShot, repeating };

// A one-shot or repeating timer on a run loop. A repeating timer fires at whole multiples of
// its interval from when it was scheduled; fires it missed while the loop was busy (or in a
// mode the timer does not run in) are skipped, not made up.
class Timer final : public WorkItem {
 public:
  void invalidate() { cancel(); }
  bool isValid() const { return !isCancelled(); }
  double interval() const { return toSeconds(interval_); }

 private:
  friend class RunLoop;
  Timer(Uptime anchor, Uptime interval, TimerKind kind, RunLoopModes modes,
        std::function<void(Timer&)> fire)
      : anchor_(anchor),
        interval_(interval),
        repeats_(kind == TimerKind::repeating),
        modes_(modes),
        fire_(std::move(fire)) {}

  Uptime anchor_;
  Uptime interval_;
  bool repeats_;
  RunLoopModes modes_;
  std::function<void(Timer&)> fire_;
};

// The main thread's run loop: a FIFO of posted work, delayed work and timers ordered by
// deadline (ties in scheduling order), nested runs for modal sessions, and file-descriptor
// sources for the desktop backend.
//
// A loop driven by a `ManualClock` never sleeps: tests move time with `advance` and drain work
// with `runUntilIdle`, and `run` jumps the clock from deadline to deadline. A loop on the system
// clock sleeps in its waiter (poll(2) unless a desktop backend installs its own) until the next
// deadline, a post from another thread or a ready source.
class RunLoop final : public Executor {
 public:
  explicit RunLoop(std::shared_ptr<Clock> clock);
  explicit RunLoop(std::shared_ptr<ManualClock> clock);
  ~RunLoop() override;
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Thread-safe.
  void post(Work work) override;
  std::shared_ptr<WorkItem> postAfter(double seconds, Work work);
  std::shared_ptr<Timer> scheduleTimer(double interval, TimerKind kind,
                                       std::function<void(Timer&)> fire,
                                       RunLoopModes modes = RunLoopMode::defaultMode);

  // Runs until `stop`. Must be called on the loop's thread.
  void run();
  void stop();

  // Runs a nested session in `mode` until `endNested` is called from within it; returns the code
  // passed to `endNested`. Sessions nest; `endNested` ends the innermost one.
  long runNested(RunLoopMode mode);
  void endNested(long code);
  int nestingDepth() const { return static_cast<int>(nested_.size()); }
  RunLoopMode currentMode() const {
    return modes_.empty() ? RunLoopMode::defaultMode : modes_.back();
  }

  // Manual clock only: drains everything that is due now, including what that work posts.
  void runUntilIdle();
  // Manual clock only: moves time forward by `seconds`, running what falls due in deadline order.
  void advance(double seconds);
  // Manual clock only: the same, up to an absolute uptime.
  void advanceTo(Uptime target);
  // The earliest deadline that may fire in the current mode.
  std::optional<Uptime> nextDeadline() const;

  // Drops every pending work item and timer unrun. Pending work can hold what holds the loop
  // (a waiting task's context), so whoever tears an environment down calls this first.
  void discardPendingWork();

  // Calls `ready` on the loop's thread whenever `fd` is readable (system clock only).
  using SourceId = std::uint64_t;
  SourceId addReadSource(int fd, std::function<void()> ready);
  void removeReadSource(SourceId id);

  // Replaces how the loop sleeps (system clock only); null restores the poll(2) waiter. Set it on
  // the loop's thread while the loop is not waiting.
  void setWaiter(std::unique_ptr<RunLoopWaiter> waiter);

  Clock& clock() const { return *clock_; }
  bool isManual() const { return manual_ != nullptr; }

 private:
  struct Entry {
    Uptime deadline;
    std::uint64_t sequence;
    std::shared_ptr<Timer> timer;
    bool operator<(const Entry& o) const {
      return deadline != o.deadline ? deadline < o.deadline : sequence < o.sequence;
    }
  };

  void schedule(std::shared_ptr<Timer> timer, Uptime deadline);
  bool runPass();
  std::optional<Entry> takeDueEntry(Uptime now);
  void fire(const Entry& entry);
  // Depth 0 is the outer run, which `stop` ends; a nested session's depth is its place in the
  // stack of sessions, from 1, and its end code ends it.
  bool shouldLeave(std::size_t depth) const;
  void loop(std::size_t depth);
  void waitForWork(std::optional<Uptime> deadline);
  // Empties the wake descriptor after a poster wrote it.
  void drainWake();
  void requireManual(const char* what) const;

  std::shared_ptr<Clock> clock_;
  std::shared_ptr<ManualClock> manual_;

  mutable std::mutex mutex_;
  std::deque<Work> ready_;
  std::set<Entry> scheduled_;
  std::uint64_t nextSequence_ = 0;
  bool sleeping_ = false;

  // Touched on the loop's thread only.
  std::vector<RunLoopMode> modes_;
  std::vector<std::optional<long>> nested_;
  bool stopRequested_ = false;
  int wakeFd_ = -1;
  std::map<SourceId, std::pair<int, std::function<void()>>> sources_;
  std::vector<int> watchedFds_;
  SourceId nextSource_ = 1;
  std::unique_ptr<RunLoopWaiter> waiter_;
};

}  // namespace platform
