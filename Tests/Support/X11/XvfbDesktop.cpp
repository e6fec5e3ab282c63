#include "Support/X11/XvfbDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

extern char** environ;

namespace platform::testing {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    auto end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Waits for `pid` to exit for at most `seconds`; its wait status, or nothing.
std::optional<int> reap(pid_t pid, double seconds) {
  auto start = Clock::now();
  while (true) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0 && errno != EINTR) return std::nullopt;
    double left = seconds - secondsSince(start);
    if (left <= 0) return std::nullopt;
    // Wait for the exit itself through a process descriptor.
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
      ::poll(nullptr, 0, 5);
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(std::min(left, 1.0) * 1000) + 1);
    ::close(fd);
  }
}

}  // namespace

pid_t XvfbDesktop::startProcess(const std::vector<std::string>& argv, bool guarded) {
  std::vector<std::string> args = argv;
  if (guarded) {
    // A shell waits on the guard pipe and ends the program when the pipe closes, which it
    // does when this process ends in whatever way: nothing outlives a killed test.
    args = {"sh", "-c", "\"$@\" </dev/null & child=$!; read _; kill $child 2>/dev/null; wait",
            "guard"};
    args.insert(args.end(), argv.begin(), argv.end());
  }
  std::vector<char*> raw;
  for (auto& a : args) raw.push_back(a.data());
  raw.push_back(nullptr);

  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "DISPLAY=", 8) != 0) environment.emplace_back(*e);
  }
  if (!display_.empty()) environment.push_back("DISPLAY=" + display_);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Quiet children; the one descriptor a child must keep is passed on as it is.
  if (guarded) {
    posix_spawn_file_actions_adddup2(&actions, guardRead_, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (!std::getenv("FLAGRIG_TEST_VERBOSE"))
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, raw[0], &actions, &attributes, raw.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return rc == 0 ? pid : -1;
}

std::unique_ptr<XvfbDesktop> XvfbDesktop::start(std::string& reason, Options options) {
  if (!onPath("Xvfb")) {
    reason = "Xvfb is not installed (tools/setup installs it)";
    return nullptr;
  }
  if (options.windowManager && (!onPath("openbox") || !onPath("dbus-run-session"))) {
    reason = "openbox or dbus-run-session is not installed (tools/setup installs them)";
    return nullptr;
  }
  std::unique_ptr<XvfbDesktop> desktop(new XvfbDesktop());
  int guard[2];
  if (::pipe2(guard, O_CLOEXEC) != 0) {
    reason = "no pipe for the process guard";
    return nullptr;
  }
  desktop->guardRead_ = guard[0];
  desktop->guardWrite_ = guard[1];

  // The server picks a free display and writes its number to this pipe once it accepts
  // connections: no guessed numbers, no sleeping.
  int fds[2];
  if (::pipe(fds) != 0) {
    reason = "no pipe for Xvfb";
    return nullptr;
  }
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  std::string size = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
  desktop->server_ = desktop->startProcess({"Xvfb", "-displayfd", std::to_string(fds[1]),
                                            "-noreset", "-nolisten", "tcp", "-screen", "0", size},
                                           true);
  ::close(fds[1]);
  if (desktop->server_ < 0) {
    ::close(fds[0]);
    reason = "Xvfb could not be started";
    return nullptr;
  }
  std::string number;
  auto begin = Clock::now();
  while (secondsSince(begin) < 30) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) continue;
    char buffer[32];
    auto n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<std::size_t>(n));
    if (number.find('\n') != std::string::npos) break;
  }
  ::close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty()) {
    reason = "Xvfb started but never named its display";
    return nullptr;  // the destructor ends the server
  }
  desktop->display_ = ":" + number;

  if (options.windowManager) {
    auto connection = linuxbackend::X11Connection::open(desktop->display_);
    if (!connection) {
      reason = "Xvfb on " + desktop->display_ + " refuses connections";
      return nullptr;
    }
    // X clients end with the server, so guarding the server is enough.
    pid_t wm = desktop->startProcess({"dbus-run-session", "--", "openbox", "--sm-disable"}, false);
    if (wm < 0) {
      reason = "openbox could not be started";
      return nullptr;
    }
    desktop->children_.push_back(wm);
    // Ready when it manages windows: a probe window shows up in its client list. A probe
    // mapped before the manager listened for map requests stays unmanaged, so it is mapped
    // again until the manager takes it.
    auto* c = connection->raw();
    xcb_window_t probe = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, connection->root(), 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    auto managed = [&] {
      auto cookie = xcb_get_property(c, 0, connection->root(), connection->atoms().netClientList,
                                     XCB_ATOM_WINDOW, 0, 1024);
      auto* reply = xcb_get_property_reply(c, cookie, nullptr);
      bool found = false;
      if (reply && reply->format == 32) {
        auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        int count = xcb_get_property_value_length(reply) / 4;
        found = std::find(windows, windows + count, probe) != windows + count;
      }
      std::free(reply);
      return found;
    };
    bool ready = false;
    for (int attempt = 0; attempt < 60 && !ready; ++attempt) {
      xcb_unmap_window(c, probe);
      xcb_map_window(c, probe);
      connection->flush();
      ready = waitUntil(*connection, managed, 0.5);
    }
    xcb_destroy_window(c, probe);
    connection->sync();
    if (!ready) {
      reason = "openbox did not start on " + desktop->display_;
      return nullptr;
    }
  }
  return desktop;
}

XvfbDesktop::~XvfbDesktop() {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    ::kill(-*it, SIGTERM);
    if (!reap(*it, 5)) {
      ::kill(-*it, SIGKILL);
      reap(*it, 5);
    }
  }
  if (server_ > 0) {
    ::kill(-server_, SIGTERM);
    if (!reap(server_, 5)) {
      ::kill(-server_, SIGKILL);
      reap(server_, 5);
    }
  }
  if (guardRead_ >= 0) ::close(guardRead_);
  if (guardWrite_ >= 0) ::close(guardWrite_);
}

pid_t XvfbDesktop::spawn(const std::vector<std::string>& argv) {
  pid_t pid = startProcess(argv, false);
  if (pid > 0) children_.push_back(pid);
  return pid;
}

int XvfbDesktop::run(const std::vector<std::string>& argv, double seconds) {
  pid_t pid = startProcess(argv, false);
  if (pid < 0) return -1;
  auto status = reap(pid, seconds);
  if (!status) {
    ::kill(-pid, SIGKILL);
    reap(pid, 5);
    return -1;
  }
  return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

void XvfbDesktop::end(pid_t pid) {
  auto it = std::find(children_.begin(), children_.end(), pid);
  if (it == children_.end()) return;
  children_.erase(it);
  ::kill(-pid, SIGTERM);
  if (!reap(pid, 5)) {
    ::kill(-pid, SIGKILL);
    reap(pid, 5);
  }
}

bool XvfbDesktop::waitUntil(linuxbackend::X11Connection& connection,
                            const std::function<bool()>& condition, double seconds) {
  auto start = Clock::now();
  while (true) {
    connection.dispatchPendingEvents();
    if (condition()) return true;
    if (secondsSince(start) > seconds || connection.isBroken()) return false;
    // Wake on the next event from the server; a condition that depends on another process
    // (a property it has not set yet) is checked again at least every 50 ms.
    pollfd p{connection.fileDescriptor(), POLLIN, 0};
    ::poll(&p, 1, 50);
  }
}

}  // namespace platform::testing
