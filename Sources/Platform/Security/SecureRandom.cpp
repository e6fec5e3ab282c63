#include "Platform/Security/SecureRandom.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Platform/Foundation/FatalError.h"

namespace platform {

namespace detail {
void fillFromRandomSource(std::span<std::uint8_t> buffer, RandomSource source) {
  std::size_t filled = 0;
  while (filled < buffer.size()) {
    ssize_t got = source(buffer.data() + filled, buffer.size() - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      int error = got < 0 ? errno : EIO;
      fatalError(std::string("the secure random source failed: ") + std::strerror(error));
    }
    filled += static_cast<std::size_t>(got);
  }
}
}  // namespace detail

void SecureRandom::fill(std::span<std::uint8_t> buffer) {
  detail::fillFromRandomSource(buffer, &::getrandom);
}

Bytes SecureRandom::bytes(std::size_t count) {
  Bytes out(count);
  fill(out);
  return out;
}

}  // namespace platform
