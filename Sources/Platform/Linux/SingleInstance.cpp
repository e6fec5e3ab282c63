#include "Platform/Linux/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "Platform/Desktop/AppleEventDescriptor.h"
#include "Platform/Desktop/AppleEventManager.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SignalStack.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Linux/XDGFileLocations.h"

namespace platform::linuxbackend {

namespace {

// Connections read at once; more are turned away rather than queued behind a slow one.
constexpr int maxReaders = 4;

bool privateFolder(const std::filesystem::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

std::optional<sockaddr_un> socketAddress(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const auto& text = path.native();
  if (text.size() >= sizeof(address.sun_path)) return std::nullopt;
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return address;
}

using SteadyClock = std::chrono::steady_clock;

int millisecondsLeft(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// An address as one line: within the size limit, UTF-8, no control characters.
bool acceptable(const std::string& address) {
  if (address.empty() || address.size() > SingleInstance::maxMessage) return false;
  if (!UnicodeText::isValidUTF8(address)) return false;
  for (unsigned char c : address) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// Reads one line from `fd` within the limits; nothing when the peer breaks them.
std::optional<std::string> readMessage(int fd) {
  auto deadline = SteadyClock::now() +
                  std::chrono::milliseconds(static_cast<int>(SingleInstance::readTimeout * 1000));
  std::string message;
  char buffer[1024];
  while (true) {
    int left = millisecondsLeft(deadline);
    if (left == 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    auto n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    message.append(buffer, static_cast<std::size_t>(n));
    if (auto newline = message.find('\n'); newline != std::string::npos) {
      message.resize(newline);
      break;
    }
    if (message.size() > SingleInstance::maxMessage) return std::nullopt;
  }
  if (!acceptable(message)) return std::nullopt;
  return message;
}

}  // namespace

// What reader threads share with the instance; they may outlive it.
struct SingleInstance::Shared {
  std::mutex mutex;
  std::function<void(std::string)> deliver;
  std::weak_ptr<RunLoop> loop;
  std::atomic<int> readers{0};
};

std::optional<std::filesystem::path> SingleInstance::defaultDirectory() {
  Places places;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
    places.runtime = runtime;
  if (auto state = XDGFileLocations::stateHome(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")))
    places.stateHome = *state;
  places.temporary = "/tmp/flagrig-" + std::to_string(::getuid());
  return chooseDirectory(places);
}

std::optional<std::filesystem::path> SingleInstance::chooseDirectory(const Places& places,
                                                                     const std::string& name) {
  // A lock or a socket path that is a directory or a link cannot be taken as it is: another
  // instance could not find us there, and two would run side by side.
  auto fits = [&](const std::filesystem::path& folder) {
    if (!privateFolder(folder)) return false;
    if (!socketAddress(folder / (name + ".socket"))) return false;
    struct stat st {};
    if (::lstat((folder / (name + ".lock")).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      std::fprintf(stderr,
                   "flagrig: %s is not a file; the single-instance lock is kept elsewhere\n",
                   (folder / (name + ".lock")).c_str());
      return false;
    }
    if (::lstat((folder / (name + ".socket")).c_str(), &st) == 0 && !S_ISSOCK(st.st_mode)) {
      std::fprintf(stderr,
                   "flagrig: %s is not a socket; the single-instance socket is kept elsewhere\n",
                   (folder / (name + ".socket")).c_str());
      return false;
    }
    return true;
  };
  if (!places.runtime.empty() && fits(places.runtime)) return places.runtime;
  if (!places.stateHome.empty()) {
    auto folder = places.stateHome / "Flagrig" / "instance";
    std::error_code ignored;
    std::filesystem::create_directories(folder.parent_path(), ignored);
    ::mkdir(folder.c_str(), 0700);
    if (fits(folder)) return folder;
  }
  if (!places.temporary.empty()) {
    // Someone else's folder, a link or a folder others can write to is not ours to use.
    ::mkdir(places.temporary.c_str(), 0700);
    if (fits(places.temporary)) return places.temporary;
  }
  return std::nullopt;
}

SingleInstance::SingleInstance(std::filesystem::path directory, std::string name)
    : directory_(std::move(directory)),
      name_(std::move(name)),
      shared_(std::make_shared<Shared>()) {}

SingleInstance::~SingleInstance() {
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->deliver = nullptr;
    loop = shared_->loop.lock();
  }
  if (readSource_ && loop) loop->removeReadSource(readSource_);
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    std::error_code ignored;
    std::filesystem::remove(directory_ / (name_ + ".socket"), ignored);
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool SingleInstance::acquire() {
  if (lockFd_ >= 0) return isPrimary();
  auto lockPath = directory_ / (name_ + ".lock");
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    usable_ = false;
    return false;
  }
  // A relaunched process waits for its predecessor; the variable is not passed further on.
  double wait = 0;
  if (const char* predecessor = std::getenv(relaunchVariable)) {
    if (*predecessor) wait = relaunchWait;
    ::unsetenv(relaunchVariable);
  }
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(static_cast<int>(wait * 1000));
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      ::close(fd);
      usable_ = false;
      return false;
    }
    if (millisecondsLeft(deadline) == 0) {
      ::close(fd);
      return false;
    }
    ::poll(nullptr, 0, 20);
  }
  lockFd_ = fd;

  // We hold the lock, so a socket file left there is a dead instance's.
  auto socketPath = directory_ / (name_ + ".socket");
  auto address = socketAddress(socketPath);
  if (!address) {
    usable_ = false;
    return false;
  }
  ::unlink(socketPath.c_str());
  int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s < 0) {
    usable_ = false;
    return false;
  }
  // Created 0600 from the start: the folder is private, and the umask makes sure of the file.
  mode_t old = ::umask(0177);
  int bound = ::bind(s, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address));
  ::umask(old);
  if (bound != 0 || ::listen(s, 8) != 0) {
    ::close(s);
    usable_ = false;
    return false;
  }
  listenFd_ = s;
  return true;
}

void SingleInstance::listen(std::function<void(std::string address)> deliver) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->deliver = std::move(deliver);
  }
  if (!hasEnvironment() || !env().mainLoop) return;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->loop = env().mainLoop;
  }
  if (listenFd_ >= 0 && !env().mainLoop->isManual() && readSource_ == 0)
    readSource_ = env().mainLoop->addReadSource(listenFd_, [this] { acceptPending(); });
}

void SingleInstance::acceptPending() {
  if (listenFd_ < 0) return;
  while (true) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return;  // EAGAIN: nothing more waiting
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    bool sameUser = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
                    length == sizeof peer && peer.uid == ::getuid();
    if (!sameUser || shared_->readers.load() >= maxReaders) {
      ::close(fd);
      continue;
    }
    // Read off the main thread: a slow peer must not stall the interface.
    ++shared_->readers;
    std::thread([fd, shared = shared_] {
      SignalStack::installForThisThread();
      int flags = ::fcntl(fd, F_GETFL);
      ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
      auto message = readMessage(fd);
      if (message) {
        static const char ok[] = "ok\n";
        ::send(fd, ok, sizeof ok - 1, MSG_NOSIGNAL);
      }
      ::close(fd);
      if (message) {
        std::shared_ptr<RunLoop> loop;
        {
          std::lock_guard lock(shared->mutex);
          loop = shared->loop.lock();
        }
        if (loop) {
          loop->post([shared, address = std::move(*message)] {
            std::function<void(std::string)> deliver;
            {
              std::lock_guard lock(shared->mutex);
              deliver = shared->deliver;
            }
            if (deliver) deliver(address);
          });
        }
      }
      --shared->readers;
    }).detach();
  }
}

bool SingleInstance::handOver(const std::string& address, double timeoutSeconds) const {
  // What the first instance would refuse is not sent at all.
  if (!acceptable(address)) return false;
  auto deadline =
      SteadyClock::now() + std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
  // The first instance may hold the lock a moment before it listens, or turn us away while it
  // is busy with other peers: try again until the deadline.
  while (true) {
    if (auto answer = tryHandOver(address, deadline)) return *answer;
    if (millisecondsLeft(deadline) == 0) return false;
    ::poll(nullptr, 0, 20);
  }
}

std::optional<bool> SingleInstance::tryHandOver(
    const std::string& address, std::chrono::steady_clock::time_point deadline) const {
  auto socketAddressValue = socketAddress(directory_ / (name_ + ".socket"));
  if (!socketAddressValue) return false;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&*socketAddressValue),
                sizeof(*socketAddressValue)) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  // Only our own user's instance gets the address.
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::getuid()) {
    ::close(fd);
    return false;
  }
  std::string message = address + "\n";
  std::size_t sent = 0;
  while (sent < message.size()) {
    auto n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return std::nullopt;
    }
    sent += static_cast<std::size_t>(n);
  }
  ::shutdown(fd, SHUT_WR);
  std::string answer;
  char buffer[16];
  while (answer.size() < 3) {
    pollfd p{fd, POLLIN, 0};
    int left = millisecondsLeft(deadline);
    if (left == 0 || ::poll(&p, 1, left) <= 0) break;
    auto n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (answer.rfind("ok\n", 0) == 0) return true;
  return std::nullopt;
}

void SingleInstance::deliverAsURLEvent(const std::string& address) {
  // Without a desktop there is no application to take it.
  if (!hasEnvironment() || !env().desktop) return;
  AppleEventDescriptor event(AppleEventCode::internetEventClass, AppleEventCode::getURL);
  event.setParamDescriptor(AppleEventCode::directObjectKeyword,
                           AppleEventDescriptor::string(address));
  AppleEventManager::shared().dispatch(event);
}

void SingleInstance::deliver(const std::string& message) {
  if (message != reopenRequest) return deliverAsURLEvent(message);
  if (!hasEnvironment() || !env().desktop) return;
  // While launching the launch route runs anyway; a reopen on top of it would open a second.
  auto& app = Application::shared();
  if (app.hasFinishedLaunching()) app.reopen();
}

}  // namespace platform::linuxbackend
