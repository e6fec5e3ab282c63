#pragma once

#include <cstddef>
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

  // What every rule leaves of `text`, in time linear in its length: the rules' results, found
  // by scanners that need no backtracking (LinearRedaction). Should a scan ever exceed its
  // work limit of `workPerByte` units per byte, the whole text is withheld as "<redacted>"
  // rather than passed on unredacted; the default limit is far above what any text needs.
  static std::string redact(std::string_view text);
  static std::string redact(std::string_view text, std::size_t workPerByte);

  // The same by the rules' regular expressions, replaced one after the other: the reference
  // the scanners are checked against. Super-linear on hostile texts; throws RegexError when a
  // rule reaches the expressions' work limit.
  static std::string redactWithRegularExpressions(std::string_view text);
};

}  // namespace flagrig
