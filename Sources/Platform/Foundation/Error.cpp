#include "Platform/Foundation/Error.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace platform {

namespace {

std::string qualifiedTypeName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace

const char* Error::what() const noexcept {
  try {
    what_ = description();
  } catch (...) {
    return "error";
  }
  return what_.c_str();
}

std::string Error::bridgedDomain() const {
  return qualifiedTypeName(typeid(*this));
}

std::string bridgedDomain(const std::exception& error) {
  if (auto platformError = dynamic_cast<const Error*>(&error))
    return platformError->bridgedDomain();
  return qualifiedTypeName(typeid(error));
}

std::int64_t bridgedCode(const std::exception& error) {
  if (auto platformError = dynamic_cast<const Error*>(&error)) return platformError->bridgedCode();
  return 1;
}

}  // namespace platform
