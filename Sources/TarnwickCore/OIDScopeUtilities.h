#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Joins scopes into the "scope" text of a request and splits it again.
struct OIDScopeUtilities {
  // The scopes joined by single spaces. Throws ProgrammingError for an empty scope or one with
  // a character outside the scope-token set (%x21, %x23-5B, %x5D-7E).
  static std::string scopesWithArray(const std::vector<std::string>& scopes);
  // The text split at every single space.
  static std::vector<std::string> scopesArrayWithString(std::string_view scopes);
  // Whether `c` may not appear in a scope.
  static bool isDisallowedScopeCharacter(unsigned char c);
};

}  // namespace tarnwick
