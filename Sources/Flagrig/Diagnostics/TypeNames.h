#pragma once

#include <string>
#include <typeinfo>

namespace flagrig {

// Readable names of C++ types, for log entries and crash reports.
struct TypeNames {
  // The demangled name, with its namespaces: "std::runtime_error".
  static std::string qualified(const std::type_info& type);
  // The name without the namespaces or classes around it: "runtime_error".
  static std::string plain(const std::type_info& type);
  // A mangled symbol or type name demangled; as given when it is not a mangled name.
  static std::string demangle(const char* mangled);
};

}  // namespace flagrig
