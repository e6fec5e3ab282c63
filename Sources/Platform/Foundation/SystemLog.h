#pragma once

#include <string_view>

namespace platform {

// The system's log, where the product mirrors its diagnostic entries for the system's own
// tools (the journal on Linux). Each entry carries the logger's subsystem and category.
class SystemLog {
 public:
  // The system log's types, in rising severity; `standard` is the platform's default type.
  enum class Type { debug, info, standard, error, fault };

  virtual ~SystemLog() = default;
  // Whether entries of `type` are kept at all; callers skip formatting when not.
  virtual bool isEnabled(Type type) const = 0;
  virtual void log(Type type, std::string_view subsystem, std::string_view category,
                   std::string_view message) = 0;
};

}  // namespace platform
