#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Value.h"

namespace platform {

class Executor;

struct Notification {
  std::string name;
  // Identity of the sender, compared by address; may be null.
  const void* object = nullptr;
  Value::Dictionary userInfo;
};

// Observers registered by name (and optionally sender); delivered synchronously on the posting
// thread, or posted to an executor such as the main loop. An observer removed while a post is
// being delivered is not called afterwards, not even by that post.
// Create it with std::make_shared: queued deliveries hold it weakly.
class NotificationCenter : public std::enable_shared_from_this<NotificationCenter> {
 public:
  class Token {
   public:
    Token() = default;
    bool isValid() const { return id_ != 0; }

   private:
    friend class NotificationCenter;
    explicit Token(std::uint64_t id) : id_(id) {}
    std::uint64_t id_ = 0;
  };

  using Handler = std::function<void(const Notification&)>;

  // `object` null observes every sender; `queue` null delivers on the posting thread.
  Token addObserver(std::string name, const void* object, std::shared_ptr<Executor> queue,
                    Handler handler);
  void removeObserver(Token token);

  void post(const Notification& notification);
  void post(std::string name, const void* object = nullptr, Value::Dictionary userInfo = {});

 private:
  struct Observer {
    std::uint64_t id;
    std::string name;
    const void* object;
    std::shared_ptr<Executor> queue;
    std::shared_ptr<Handler> handler;
  };
  bool isRegistered(std::uint64_t id) const;

  mutable std::mutex mutex_;
  std::vector<Observer> observers_;
  std::uint64_t nextId_ = 1;
};

}  // namespace platform
