#include "Platform/Foundation/XdgOpen.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SignalStack.h"

extern char** environ;

namespace platform {

bool XdgOpen::open(const std::string& target, Completion completion) const {
  auto answer = [&completion](bool opened) {
    if (completion) completion(opened);
    return opened;
  };
  // An argument that starts with a dash would be read as an option, not as the address.
  if (target.empty() || target.front() == '-') return answer(false);

  std::string program = program_;
  std::string argument = target;
  std::vector<char*> argv{program.data(), argument.data(), nullptr};
  // The opener and the browser it starts get nothing of ours beyond the standard three: no
  // connection to the account service, no socket of libcurl's.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return answer(false);

  std::weak_ptr<RunLoop> loop;
  if (hasEnvironment()) loop = env().mainLoop;
  // xdg-open can take as long as the handler takes to start; its exit status is the answer.
  std::thread([pid, loop, completion = std::move(completion)]() mutable {
    SignalStack::installForThisThread();
    int status = 0;
    pid_t waited;
    do {
      waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    bool opened = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!completion) return;
    if (auto strong = loop.lock()) {
      strong->post([completion = std::move(completion), opened] { completion(opened); });
    }
  }).detach();
  return true;
}

}  // namespace platform
