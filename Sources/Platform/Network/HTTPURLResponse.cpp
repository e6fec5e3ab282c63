#include "Platform/Network/HTTPURLResponse.h"

#include <algorithm>

namespace platform {

std::string HTTPURLResponse::mimeTypeOf(const HTTPHeaderFields& fields) {
  auto type = fields.value("Content-Type").value_or("");
  type = type.substr(0, type.find(';'));
  auto notSpace = [](char c) { return c != ' ' && c != '\t'; };
  type.erase(type.begin(), std::find_if(type.begin(), type.end(), notSpace));
  type.erase(std::find_if(type.rbegin(), type.rend(), notSpace).base(), type.end());
  std::transform(type.begin(), type.end(), type.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return type;
}

}  // namespace platform
