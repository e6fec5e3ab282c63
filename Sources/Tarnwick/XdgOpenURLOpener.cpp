#include "Tarnwick/XdgOpenURLOpener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwick {

bool XdgOpenURLOpener::openURL(const platform::URL& url) {
  if (url.isEmpty()) return false;
  std::string program = program_;
  std::string target = url.absoluteString();
  std::vector<char*> argv{program.data(), target.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return false;
  }
  // xdg-open may stay until the browser exits; reap it whenever that is, off the caller's thread.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace tarnwick
