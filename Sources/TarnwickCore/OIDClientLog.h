#pragma once

#include <functional>
#include <string_view>

namespace tarnwick {

// Where the client reports what goes wrong without anyone to tell, such as a redirect that
// arrives after its flow ended. Standard error unless a sink is set; tests set their own.
struct OIDClientLog {
  using Sink = std::function<void(std::string_view message)>;

  static void warning(std::string_view message);
  // Replaces the sink until the process-wide instances are reset; nothing restores the default.
  static void setSink(Sink sink);
};

}  // namespace tarnwick
