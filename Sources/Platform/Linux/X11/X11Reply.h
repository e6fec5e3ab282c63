#pragma once

#include <cstdlib>
#include <memory>

namespace platform::linuxbackend {

// An xcb reply, which xcb allocates with malloc and the caller frees.
struct X11ReplyDeleter {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using X11Reply = std::unique_ptr<T, X11ReplyDeleter>;

}  // namespace platform::linuxbackend
