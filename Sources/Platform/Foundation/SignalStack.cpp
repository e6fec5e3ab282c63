#include "Platform/Foundation/SignalStack.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

namespace {

// Owns the stack of one thread: disables and unmaps it when the thread ends.
struct OwnedStack {
  void* memory = nullptr;
  std::size_t length = 0;
  ~OwnedStack() {
    if (!memory) return;
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    stack_t current{};
    // Only when it is still ours: someone may have put another one in its place.
    if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == static_cast<char*>(memory) + guardSize()) {
      if (::sigaltstack(&disable, nullptr) != 0) return;  // in use: leave it mapped
    }
    ::munmap(memory, length);
  }
  static std::size_t guardSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }
};

thread_local OwnedStack owned;

}  // namespace

bool SignalStack::isInstalledForThisThread() {
  stack_t current{};
  return ::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
         current.ss_size >= size;
}

void SignalStack::installForThisThread() {
  if (isInstalledForThisThread()) return;
  // A guard page below the stack, so that a handler overflowing it faults instead of writing
  // over whatever is mapped there.
  const std::size_t guard = OwnedStack::guardSize();
  void* memory = ::mmap(nullptr, size + guard, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (memory == MAP_FAILED) return;
  ::mprotect(memory, guard, PROT_NONE);
  stack_t stack{};
  stack.ss_sp = static_cast<char*>(memory) + guard;
  stack.ss_size = size;
  if (::sigaltstack(&stack, nullptr) != 0) {
    ::munmap(memory, size + guard);
    return;
  }
  owned.memory = memory;
  owned.length = size + guard;
}

}  // namespace platform
