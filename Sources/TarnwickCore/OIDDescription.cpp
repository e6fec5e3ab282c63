#include "TarnwickCore/OIDDescription.h"

#include <cstdio>

namespace tarnwick {

std::string OIDDescription::address(const void* object) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", object);
  return text;
}

}  // namespace tarnwick
