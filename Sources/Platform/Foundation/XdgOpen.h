#pragma once

#include <functional>
#include <string>

namespace platform {

// Hands an address or a file to the desktop's `xdg-open`. Its exit status is the answer: it
// exits non-zero when no handler took the address, so starting it is not enough. The program
// is waited for on a thread of its own (it may stay until the handler is ready) and the answer
// runs on the main loop. A program that cannot be started answers false at once, inline.
class XdgOpen {
 public:
  using Completion = std::function<void(bool opened)>;

  explicit XdgOpen(std::string program = "xdg-open") : program_(std::move(program)) {}

  // Starts the program with `target` as its one argument; false when it could not be started
  // (the completion has then already run with false).
  bool open(const std::string& target, Completion completion) const;

  const std::string& program() const { return program_; }

 private:
  std::string program_;
};

}  // namespace platform
