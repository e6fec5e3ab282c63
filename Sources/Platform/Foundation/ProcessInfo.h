#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/OperatingSystemVersion.h"

namespace platform {

// What the running process knows about itself and its system. The Linux backend reads it once
// at start; the simulated machine lets a test set every field.
class ProcessInfo {
 public:
  struct Fields {
    OperatingSystemVersion operatingSystemVersion;
    // Human-readable, for reports: "Version 6.1.0 (Debian GNU/Linux 12 (bookworm),
    // kernel 6.1.0-18-amd64)".
    std::string operatingSystemVersionString;
    int processIdentifier = 0;
    std::string executablePath;
    // The command line, the program's own name first.
    std::vector<std::string> arguments;
    // The region of the user's locale ("US", "DE", "419"); none when the locale names none.
    std::optional<std::string> localeRegion;
  };

  explicit ProcessInfo(Fields fields) : fields_(std::move(fields)) {}

  OperatingSystemVersion operatingSystemVersion() const;
  std::string operatingSystemVersionString() const;
  int processIdentifier() const;
  std::string executablePath() const;
  std::vector<std::string> arguments() const;
  std::optional<std::string> localeRegion() const;

  Fields fields() const;
  void setFields(Fields fields);

 private:
  mutable std::mutex mutex_;
  Fields fields_;
};

}  // namespace platform
