#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "VoskaryAccount/Client/VoskaryLogger.h"

namespace voskary::testing {

// Collects the library's log lines so tests can look for an event and its fields.
class LogRecorder {
 public:
  struct Line {
    VoskaryLogLevel level;
    std::string event;
    VoskaryLogFields fields;
  };

  VoskaryLogger logger() {
    return [lines = lines_](VoskaryLogLevel level, const std::string& event,
                            const VoskaryLogFields& fields) {
      std::lock_guard lock(lines->mutex);
      lines->all.push_back({level, event, fields});
    };
  }

  std::vector<Line> lines() const {
    std::lock_guard lock(lines_->mutex);
    return lines_->all;
  }
  std::vector<Line> named(const std::string& event) const {
    std::vector<Line> out;
    for (auto& line : lines())
      if (line.event == event) out.push_back(line);
    return out;
  }
  // The one line of `event`; absent when there is none or more than one.
  std::optional<Line> only(const std::string& event) const {
    auto found = named(event);
    if (found.size() != 1) return std::nullopt;
    return found[0];
  }
  void clear() {
    std::lock_guard lock(lines_->mutex);
    lines_->all.clear();
  }

 private:
  struct Lines {
    mutable std::mutex mutex;
    std::vector<Line> all;
  };
  std::shared_ptr<Lines> lines_ = std::make_shared<Lines>();
};

}  // namespace voskary::testing
