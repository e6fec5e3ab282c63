#pragma once

namespace platform {

// Launching the application when the user logs in: the main application's login item. The
// status is read from the system every time, so a change made elsewhere (or one that failed)
// shows at once.
class LoginItem {
 public:
  enum class Status { notRegistered, enabled };

  virtual ~LoginItem() = default;

  virtual Status status() const = 0;
  // Both throw an `Error` when the system refuses the change.
  virtual void registerItem() = 0;
  virtual void unregisterItem() = 0;
};

}  // namespace platform
