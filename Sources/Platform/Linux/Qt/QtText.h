#pragma once

#include <QString>
#include <string>

namespace platform::linuxbackend {

// Our strings are UTF-8; Qt's are UTF-16.
inline QString qs(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace platform::linuxbackend
