#include "Flagrig/Shell/URLSchemeRoute.h"

#include <string>

namespace flagrig {

URLSchemeRoute::Route URLSchemeRoute::forHost(std::string_view host) {
  // Host names are ASCII here; a Unicode host can never equal one of ours.
  std::string lower(host);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower == "auth" || lower == "auth-callback" || lower == "signed-in") return signInReturn;
  return ignored;
}

}  // namespace flagrig
