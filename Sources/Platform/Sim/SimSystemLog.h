#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Platform/Foundation/SystemLog.h"

namespace platform::sim {

// A system log that records what reaches it, for tests to read back. Types can be disabled.
class SimSystemLog final : public SystemLog {
 public:
  struct Entry {
    Type type;
    std::string subsystem;
    std::string category;
    std::string message;
    bool operator==(const Entry&) const = default;
  };

  bool isEnabled(Type type) const override;
  void log(Type type, std::string_view subsystem, std::string_view category,
           std::string_view message) override;

  std::vector<Entry> entries() const;
  void setEnabled(Type type, bool enabled);

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::set<Type> disabled_;
};

}  // namespace platform::sim
