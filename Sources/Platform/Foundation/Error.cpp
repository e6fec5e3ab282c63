#include "Platform/Foundation/Error.h"

namespace platform {

const char* Error::what() const noexcept {
  try {
    what_ = description();
  } catch (...) {
    return "error";
  }
  return what_.c_str();
}

}  // namespace platform
