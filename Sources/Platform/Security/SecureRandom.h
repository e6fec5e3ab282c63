#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <span>

#include "Platform/Foundation/Value.h"

namespace platform {

// Bytes from the kernel's cryptographically secure random source (getrandom). When the source
// fails the process ends: there is no fallback to a weaker generator, because a predictable
// key, verifier or state would fail silently and much later.
struct SecureRandom {
  static void fill(std::span<std::uint8_t> buffer);
  static Bytes bytes(std::size_t count);
};

namespace detail {
// The getrandom signature; tests hand in a failing source to see the process end.
using RandomSource = ssize_t (*)(void* buffer, std::size_t length, unsigned int flags);
void fillFromRandomSource(std::span<std::uint8_t> buffer, RandomSource source);
}  // namespace detail

}  // namespace platform
