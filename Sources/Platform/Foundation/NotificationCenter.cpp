#include "Platform/Foundation/NotificationCenter.h"

#include <algorithm>

#include "Platform/Foundation/Executor.h"

namespace platform {

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const void* object,
                                                          std::shared_ptr<Executor> queue,
                                                          Handler handler) {
  std::lock_guard lock(mutex_);
  std::uint64_t id = nextId_++;
  observers_.push_back(Observer{id, std::move(name), object, std::move(queue),
                                std::make_shared<Handler>(std::move(handler))});
  return Token(id);
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard lock(mutex_);
  std::erase_if(observers_, [&](const Observer& o) { return o.id == token.id_; });
}

bool NotificationCenter::isRegistered(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  return std::any_of(observers_.begin(), observers_.end(),
                     [&](const Observer& o) { return o.id == id; });
}

void NotificationCenter::post(std::string name, const void* object, Value::Dictionary userInfo) {
  post(Notification{std::move(name), object, std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<Observer> matching;
  {
    std::lock_guard lock(mutex_);
    for (const auto& o : observers_) {
      if (o.name == notification.name && (!o.object || o.object == notification.object))
        matching.push_back(o);
    }
  }
  for (const auto& o : matching) {
    if (!o.queue) {
      if (isRegistered(o.id)) (*o.handler)(notification);
      continue;
    }
    o.queue->post([weak = weak_from_this(), id = o.id, handler = o.handler, notification] {
      auto center = weak.lock();
      if (center && center->isRegistered(id)) (*handler)(notification);
    });
  }
}

}  // namespace platform
