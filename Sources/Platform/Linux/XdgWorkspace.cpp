#include "Platform/Linux/XdgWorkspace.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SignalStack.h"
#include "Platform/Linux/LinuxProcessInfo.h"
#include "Platform/Linux/SingleInstance.h"

extern char** environ;

namespace platform::linuxbackend {

namespace {

std::string readSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  char buffer[4096];
  while (in && text.size() < (1u << 20)) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  return text;
}

bool processExists(std::int32_t pid) {
  if (pid <= 0) return false;
  if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
  // A zombie has ended although it can still be signalled, and so has one that its parent is
  // reaping at this moment ("X", dead): only its last moments are left.
  std::string stat = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
  // Reaped between the probe and the read: ask again rather than take it for alive.
  if (stat.empty()) return !(::kill(pid, 0) != 0 && errno == ESRCH);
  auto close = stat.rfind(')');
  if (close != std::string::npos && close + 2 < stat.size()) {
    char state = stat[close + 2];
    if (state == 'Z' || state == 'X' || state == 'x') return false;
  }
  return true;
}

// Another process of this desktop, known by its pid.
class ProcessApplication final : public RunningApplication {
 public:
  explicit ProcessApplication(std::int32_t pid) : pid_(pid) {}
  std::int32_t processIdentifier() const override { return pid_; }
  std::string localizedName() const override {
    std::string name = readSmallFile("/proc/" + std::to_string(pid_) + "/comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
    return name;
  }
  bool isTerminated() const override { return !processExists(pid_); }
  bool activate(std::uint32_t) override {
    if (isTerminated()) return false;
    if (!hasEnvironment() || !env().desktop) return false;
    // Activating an application raises its focused window (the one it would get focus back
    // in, or the one just asked for), else its frontmost.
    auto& ax = Accessibility::shared();
    auto app = ax.createApplication(pid_);
    AXValue window;
    if (ax.copyAttributeValue(app, AXAttribute::focusedWindow, window) != AXError::success)
      return false;
    auto element = window.asElement();
    return element && ax.performAction(element, AXAction::raise) == AXError::success;
  }

 private:
  std::int32_t pid_;
};

// Starts `argv` in a session of its own, so it outlives us, with these variables added to our
// environment; reaped on a thread.
std::optional<pid_t> spawnDetached(const std::string& executable,
                                   std::vector<std::string> arguments,
                                   std::vector<std::string> variables = {}) {
  std::vector<char*> argv;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  for (auto& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  // The new instance inherits none of our descriptors (sockets, the lock).
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return std::nullopt;
  std::thread([pid] {
    SignalStack::installForThisThread();
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return pid;
}

}  // namespace

XdgWorkspace::XdgWorkspace(std::vector<std::string> arguments, XdgOpen opener)
    : arguments_(std::move(arguments)), opener_(std::move(opener)) {}

XdgWorkspace::Launch XdgWorkspace::newInstance(const std::string& program,
                                               const std::vector<std::string>& arguments,
                                               const std::string& executable) {
  Launch launch;
  // The process is named after the file it executes: start the file itself, not the
  // /proc/self/exe link, unless it was replaced or removed since we started.
  std::error_code error;
  bool usable = !executable.empty() && executable.front() == '/' &&
                std::filesystem::is_regular_file(executable, error);
  launch.executable = usable ? executable : std::string("/proc/self/exe");
  launch.argv.push_back(program.empty() ? launch.executable : program);
  launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
  return launch;
}

std::vector<std::string> XdgWorkspace::currentArguments() {
  auto arguments = commandLine();
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

bool XdgWorkspace::openURL(const URL& url) {
  // Named by scheme and host only: an authorization address carries its state and nonce in
  // the query, and stderr of a desktop program is kept in the journal.
  std::string named;
  for (char c : url.scheme().value_or("") + "://" + url.host().value_or("")) {
    if (static_cast<unsigned char>(c) > 0x20 && c != 0x7f) named += c;
  }
  return opener_.open(url.absoluteString(), [named](bool opened) {
    if (!opened)
      std::fprintf(stderr, "flagrig: no handler opened an address at %s\n", named.c_str());
  });
}

void XdgWorkspace::openURLWithCompletion(const URL& url, OpenURLCompletion completion) {
  if (url.isEmpty()) {
    if (completion) completion(false);
    return;
  }
  opener_.open(url.absoluteString(), std::move(completion));
}

void XdgWorkspace::activateFileViewerSelecting(const std::vector<std::string>& paths) {
  // xdg-open has no way to select a file: show the folders that hold them, each once.
  std::set<std::string> folders;
  for (const auto& path : paths) {
    if (path.empty()) continue;
    auto folder = std::filesystem::absolute(std::filesystem::path(path)).parent_path().string();
    if (folders.insert(folder).second) {
      opener_.open(folder, [folder](bool opened) {
        if (!opened)
          std::fprintf(stderr, "flagrig: could not show the folder %s\n", folder.c_str());
      });
    }
  }
}

void XdgWorkspace::openApplication(const std::string& path,
                                   WorkspaceOpenConfiguration configuration,
                                   OpenCompletion completion) {
  bool ourselves = false;
  if (hasEnvironment() && env().bundle) {
    std::error_code error;
    ourselves = path == env().bundle->bundlePath().string() ||
                std::filesystem::equivalent(path, "/proc/self/exe", error);
  }
  std::shared_ptr<RunningApplication> launched;
  std::optional<std::string> failure;
  if (ourselves && !configuration.createsNewApplicationInstance) {
    launched = std::make_shared<ProcessApplication>(static_cast<std::int32_t>(::getpid()));
  } else {
    Launch launch{path, {path}};
    if (ourselves) {
      std::error_code error;
      auto line = commandLine();
      launch = newInstance(line.empty() ? std::string() : line.front(), arguments_,
                           std::filesystem::read_symlink("/proc/self/exe", error).string());
    }
    // Our successor must wait for this process to let go of the single-instance lock.
    std::vector<std::string> variables;
    if (ourselves)
      variables.push_back(std::string(SingleInstance::relaunchVariable) + "=" +
                          std::to_string(::getpid()));
    if (auto pid = spawnDetached(launch.executable, launch.argv, variables)) {
      launched = std::make_shared<ProcessApplication>(*pid);
    } else {
      failure = "The application at " + path + " could not be started.";
    }
  }
  if (!completion) return;
  env().mainLoop->post(
      [completion = std::move(completion), launched, failure] { completion(launched, failure); });
}

std::shared_ptr<RunningApplication> XdgWorkspace::runningApplication(std::int32_t pid) {
  if (!processExists(pid)) return nullptr;
  return std::make_shared<ProcessApplication>(pid);
}

}  // namespace platform::linuxbackend
