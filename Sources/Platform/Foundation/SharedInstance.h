#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace platform {

// Registers a reset that `resetSharedInstances` runs. Used by `SharedInstance`.
void registerSharedInstanceReset(std::function<void()> reset);
// Drops every process-wide instance, so that the next `shared()` builds a fresh one. Only the
// test fixture calls this, between tests.
void resetSharedInstances();

// A process-wide single instance, created on first use and kept until exit (or a test reset).
//
//   TagManager& TagManager::shared() {
//     static platform::SharedInstance<TagManager> instance;
//     return instance.get();
//   }
template <class T>
class SharedInstance {
 public:
  T& get() { return *pointer(); }

  std::shared_ptr<T> pointer() {
    std::lock_guard lock(mutex_);
    return instanceLocked();
  }

  // For crash handlers, which must never wait: the instance (created when missing), or null
  // when another thread holds the lock at this moment.
  std::shared_ptr<T> tryPointer() {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return nullptr;
    return instanceLocked();
  }

 private:
  std::shared_ptr<T> instanceLocked() {
    if (!instance_) {
      instance_ = std::make_shared<T>();
      if (!registered_) {
        registered_ = true;
        registerSharedInstanceReset([this] {
          std::shared_ptr<T> old;
          {
            std::lock_guard l(mutex_);
            old.swap(instance_);
          }
        });
      }
    }
    return instance_;
  }

  std::mutex mutex_;
  std::shared_ptr<T> instance_;
  bool registered_ = false;
};

}  // namespace platform
