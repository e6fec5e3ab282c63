#include "Flagrig/Diagnostics/TypeNames.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace flagrig {

std::string TypeNames::demangle(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> readable(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && readable ? std::string(readable.get()) : std::string(mangled);
}

std::string TypeNames::qualified(const std::type_info& type) {
  return demangle(type.name());
}

std::string TypeNames::plain(const std::type_info& type) {
  const std::string name = qualified(type);
  // The last "::" outside template arguments and parentheses ends the enclosing scopes.
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '<' || c == '(') {
      ++depth;
    } else if ((c == '>' || c == ')') && depth > 0) {
      --depth;
    } else if (depth == 0 && c == ':' && i + 1 < name.size() && name[i + 1] == ':') {
      start = i + 2;
      ++i;
    }
  }
  return name.substr(start);
}

}  // namespace flagrig
