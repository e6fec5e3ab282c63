#include "Platform/Foundation/CodingKey.h"

namespace platform {

std::string codingPathText(const CodingPath& path) {
  std::string out;
  for (const auto& key : path) {
    if (!out.empty()) out += '.';
    out += key.stringValue;
  }
  return out;
}

}  // namespace platform
