#include "Flagrig/Shell/LaunchAddress.h"

namespace flagrig {

namespace {

constexpr std::size_t maxEchoedPart = 64;

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Letters, digits and the few punctuation marks a scheme or a host name holds; everything else
// (escape and bell bytes, UTF-8 that a terminal might read as controls) is left out.
std::string printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (out.size() == maxEchoedPart) break;
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '.' || c == '-' || c == '+' || c == '_' || c == '[' || c == ']' || c == ':';
    if (keep) out += c;
  }
  return out;
}

}  // namespace

std::optional<std::string> LaunchAddress::find(int argc, char** argv) {
  constexpr std::string_view scheme = "flagrig:";
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (argument.size() < scheme.size()) continue;
    bool matches = true;
    for (std::size_t j = 0; j < scheme.size(); ++j) {
      if (lower(argument[j]) != scheme[j]) matches = false;
    }
    if (matches) return std::string(argument);
  }
  return std::nullopt;
}

std::string LaunchAddress::describe(std::string_view address) {
  std::string_view rest = address;
  std::string scheme;
  if (auto colon = rest.find(':'); colon != std::string_view::npos) {
    scheme = printable(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);
  }
  std::string host;
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    // The authority ends at the path, the query or the fragment; user information before an
    // '@' is as private as the query.
    auto end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    if (auto at = authority.rfind('@'); at != std::string_view::npos)
      authority.remove_prefix(at + 1);
    host = printable(authority);
  }
  std::string text = scheme.empty() ? std::string("an address") : scheme + "://" + host;
  return text + " (" + std::to_string(address.size()) + " bytes)";
}

}  // namespace flagrig
