#include "TarnwickCore/OIDScopeUtilities.h"

#include "Platform/Foundation/Error.h"

namespace tarnwick {

bool OIDScopeUtilities::isDisallowedScopeCharacter(unsigned char c) {
  bool allowed = c == 0x21 || (c >= 0x23 && c <= 0x5B) || (c >= 0x5D && c <= 0x7E);
  return !allowed;
}

std::string OIDScopeUtilities::scopesWithArray(const std::vector<std::string>& scopes) {
  std::string joined;
  bool first = true;
  for (const auto& scope : scopes) {
    platform::precondition(!scope.empty(), "Found illegal empty scope string.");
    for (unsigned char c : scope) {
      platform::precondition(!isDisallowedScopeCharacter(c),
                             "Found illegal character in scope string.");
    }
    if (!first) joined += ' ';
    joined += scope;
    first = false;
  }
  return joined;
}

std::vector<std::string> OIDScopeUtilities::scopesArrayWithString(std::string_view scopes) {
  std::vector<std::string> parts;
  while (true) {
    auto space = scopes.find(' ');
    parts.emplace_back(scopes.substr(0, space));
    if (space == std::string_view::npos) break;
    scopes.remove_prefix(space + 1);
  }
  return parts;
}

}  // namespace tarnwick
