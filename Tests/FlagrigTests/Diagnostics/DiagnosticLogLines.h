#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"

namespace flagrig::testing {

// The diagnostic log's entries as "level category: message".
inline std::vector<std::string> diagnosticLogLines() {
  std::vector<std::string> lines;
  for (const auto& entry : DiagnosticLogBuffer::shared().logBufferJSON()) {
    auto text = [&](std::string_view key) {
      const auto* v = entry.find(key);
      return v && v->asString() ? *v->asString() : std::string();
    };
    lines.push_back(text("level") + " " + text("category") + ": " + text("msg"));
  }
  return lines;
}

}  // namespace flagrig::testing
