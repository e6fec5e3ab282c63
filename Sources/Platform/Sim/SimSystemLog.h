#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Platform/Foundation/SystemLog.h"

namespace platform::sim {

// A system log that keeps what is written, in order. Every type is enabled until a test
// switches one off.
class SimSystemLog final : public SystemLog {
 public:
  struct Entry {
    std::string subsystem;
    std::string category;
    SystemLogType type;
    std::string message;
    bool operator==(const Entry&) const = default;
  };

  bool isEnabled(std::string_view subsystem, std::string_view category,
                 SystemLogType type) const override;
  void write(std::string_view subsystem, std::string_view category, SystemLogType type,
             std::string_view message) override;

  void setEnabled(SystemLogType type, bool enabled);
  std::vector<Entry> entries() const;

 private:
  mutable std::mutex mutex_;
  std::set<SystemLogType> disabled_;
  std::vector<Entry> entries_;
};

}  // namespace platform::sim
