#include "VoskaryAccount/Client/VoskaryAccountID.h"

#include "Platform/Foundation/Regex.h"

namespace voskary {

bool VoskaryAccountID::isWellFormed() const {
  static const platform::Regex pattern(
      "^va_[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
  return pattern.containsMatch(raw);
}

}  // namespace voskary
