#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::linuxbackend {

// One running Flagrig per user, so that a `flagrig://` address opened while it runs reaches
// the running instance. The first process takes a file lock and listens on a Unix socket next
// to it; a later process connects, hands over its address and ends. The folder is
// $XDG_RUNTIME_DIR, else a private 0700 folder in the user's state folder, else one under /tmp;
// a folder that is not private, or whose lock or socket path is a directory or a link, is
// passed over for the next. Only peers of the same
// user are heard; a message is one line of at most `maxMessage` bytes that must arrive within
// `readTimeout` seconds.
class SingleInstance {
 public:
  static constexpr std::size_t maxMessage = 8192;
  static constexpr double readTimeout = 2.0;
  // Set by an instance that starts its successor (a relaunch): the new process waits for the
  // lock instead of handing over to the one that is about to end.
  static constexpr const char* relaunchVariable = "FLAGRIG_RELAUNCHED_FROM";
  static constexpr double relaunchWait = 10.0;

  // The folder for the lock and the socket; nothing when no safe one exists.
  static std::optional<std::filesystem::path> defaultDirectory();
  // The places `defaultDirectory` tries, in its order; empty ones are skipped.
  struct Places {
    std::filesystem::path runtime;    // $XDG_RUNTIME_DIR, used as it is
    std::filesystem::path stateHome;  // $XDG_STATE_HOME; a "Flagrig/instance" folder is made
    std::filesystem::path temporary;  // a folder of this user's under /tmp, made when missing
  };
  static std::optional<std::filesystem::path> chooseDirectory(const Places& places,
                                                              const std::string& name = "flagrig");

  explicit SingleInstance(std::filesystem::path directory, std::string name = "flagrig");
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the lock: true when this process is the first (and then listens), false when
  // another instance holds it. Throws nothing; false as well when the folder is unusable
  // and `isUsable` then says so. A relaunched process (see `relaunchVariable`) waits up to
  // `relaunchWait` seconds for its predecessor to let go.
  bool acquire();
  bool isPrimary() const { return listenFd_ >= 0; }
  bool isUsable() const { return usable_; }

  // The first instance: addresses handed over are passed to `deliver` on the main loop. With
  // a main loop on the system clock the socket is watched there; otherwise the owner calls
  // `acceptPending` when `listeningDescriptor` is readable.
  void listen(std::function<void(std::string address)> deliver);
  void acceptPending();
  int listeningDescriptor() const { return listenFd_; }

  // A later instance: hands `address` to the first one; true once it acknowledged.
  bool handOver(const std::string& address, double timeoutSeconds = 5) const;

  // What a later plain launch (no address) hands over: the user opened the application again.
  static constexpr const char* reopenRequest = "reopen";

  // Delivers an address as the URL-scheme event ("GURL" with the address as direct object).
  static void deliverAsURLEvent(const std::string& address);
  // Delivers what a later instance handed over: a reopen request as the application's reopen
  // (once it has finished launching), anything else as the URL-scheme event.
  static void deliver(const std::string& message);

 private:
  struct Shared;
  // One attempt: true when acknowledged, false when it must not be tried again, nothing when
  // it may be (not listening yet, turned away).
  std::optional<bool> tryHandOver(const std::string& address,
                                  std::chrono::steady_clock::time_point deadline) const;

  std::filesystem::path directory_;
  std::string name_;
  int lockFd_ = -1;
  int listenFd_ = -1;
  bool usable_ = true;
  std::uint64_t readSource_ = 0;
  std::shared_ptr<Shared> shared_;
};

}  // namespace platform::linuxbackend
