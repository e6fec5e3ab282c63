#pragma once

#include <string_view>

namespace platform {

// Ends the process at once after writing `message` to stderr. For the few failures after which
// going on would be unsafe, such as a secure random source that cannot deliver.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace platform
