#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace platform {

// A failure the caller can act on. Every component derives its own error type from this one;
// `description()` is the user-facing message.
class Error : public std::exception {
 public:
  ~Error() override = default;
  virtual std::string description() const = 0;
  const char* what() const noexcept override;

  // How the platform's error bridging shows this error to code that knows only that it is an
  // error: a domain naming the kind of failure and a number for the case. By default the
  // type's qualified name and 1; types whose cases carry numbers override both.
  virtual std::string bridgedDomain() const;
  virtual std::int64_t bridgedCode() const { return 1; }

 private:
  mutable std::string what_;
};

// A broken precondition: a bug, never a condition to recover from. Deliberately not an `Error`,
// so that no `catch (const platform::Error&)` swallows it.
class ProgrammingError : public std::logic_error {
 public:
  explicit ProgrammingError(const std::string& message) : std::logic_error(message) {}
};

// Thrown into a task that was cancelled while it waited.
class CancellationError : public Error {
 public:
  std::string description() const override { return "The operation was cancelled."; }
  bool operator==(const CancellationError&) const { return true; }
};

// The bridged domain and code of any exception: those of a platform `Error`, otherwise the
// exception type's qualified name and 1.
std::string bridgedDomain(const std::exception& error);
std::int64_t bridgedCode(const std::exception& error);

// Throws a ProgrammingError with `message` unless `condition` holds.
inline void precondition(bool condition, const char* message) {
  if (!condition) throw ProgrammingError(message);
}

}  // namespace platform
