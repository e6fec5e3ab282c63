#include "Platform/Network/PathMonitor.h"

#include "Platform/Foundation/Error.h"

namespace platform {

void PathMonitor::setUpdateHandler(UpdateHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::make_shared<UpdateHandler>(std::move(handler));
}

void PathMonitor::start(std::shared_ptr<Executor> queue) {
  precondition(queue != nullptr, "a path monitor needs a queue to start on");
  {
    std::lock_guard lock(mutex_);
    if (started_ || cancelled_->load()) return;
    started_ = true;
    queue_ = std::move(queue);
  }
  didStart();
}

void PathMonitor::cancel() {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_->exchange(true) || !started_) return;
  }
  didCancel();
}

void PathMonitor::deliver(const NetworkPath& path) {
  std::lock_guard lock(mutex_);
  if (!started_ || cancelled_->load() || last_ == path) return;
  last_ = path;
  if (!handler_) return;
  queue_->post([handler = handler_, cancelled = cancelled_, path] {
    if (!cancelled->load()) (*handler)(path);
  });
}

}  // namespace platform
