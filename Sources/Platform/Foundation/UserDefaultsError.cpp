#include "Platform/Foundation/UserDefaultsError.h"

namespace platform {

std::string UserDefaultsError::description() const {
  switch (kind_) {
    case Kind::invalidText:
      return "The preference \"" + key_ + "\" was not saved: its text is not valid UTF-8.";
    case Kind::nonFiniteNumber:
      return "The preference \"" + key_ + "\" was not saved: it holds a number that is not finite.";
    case Kind::nestedTooDeeply:
      return "The preference \"" + key_ + "\" was not saved: it nests too deeply.";
  }
  return "The preference \"" + key_ + "\" was not saved.";
}

}  // namespace platform
