#pragma once

#include <string>
#include <string_view>

#include "Platform/Foundation/Regex.h"

namespace flagrig {

// Removes secrets and personal data from every message and error description before the
// diagnostic log stores, writes or mirrors it, and so before any of it can leave the machine.
// Nine fixed rules, each replacing every match in the whole text, applied in the order of
// `redact`; later rules see what earlier ones inserted.
struct DiagnosticRedaction {
  // Keyword, ":" or "=", and the run of non-blanks after it, keyword included.
  static const platform::Regex& keyedSecret();
  static const platform::Regex& jwt();
  static const platform::Regex& email();
  static const platform::Regex& ipv4();
  // Also catches clock times such as 09:15:02.
  static const platform::Regex& ipv6();
  static const platform::Regex& opaqueBlob();
  static const platform::Regex& homePath();
  static const platform::Regex& vaId();
  static const platform::Regex& pvaId();

  // What every rule leaves of `text`. Should a rule exceed the regular expressions' work
  // limit, the whole text is withheld as "<redacted>" rather than passed on unredacted.
  static std::string redact(std::string_view text);
};

}  // namespace flagrig
