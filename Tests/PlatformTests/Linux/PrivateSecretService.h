#pragma once

#include <string>

namespace platform::testing {

// A Secret Service of the tests' own: gnome-keyring on a private D-Bus session bus, with an
// unlocked login keyring in a temporary home, so that no test touches the user's keyring.
// Started once per process on first use and left running until the process ends: the
// session-bus connection that libsecret shares ends the process when the bus goes away, so
// the bus must outlive every call. The process's exit closes the pipe the helper waits on,
// and the helper then removes the bus, the daemon and the temporary home.
class PrivateSecretService {
 public:
  // The running service, or null with the reason why it cannot start here.
  static PrivateSecretService* shared(std::string& reason);

  // Locks the login keyring, as the screen lock or the user would.
  void lock();
  // Unlocks it again by handing the daemon its password, as the login does.
  void unlock();

 private:
  explicit PrivateSecretService(std::string directory) : directory_(std::move(directory)) {}
  static PrivateSecretService* start(std::string& reason);

  std::string directory_;
};

}  // namespace platform::testing
