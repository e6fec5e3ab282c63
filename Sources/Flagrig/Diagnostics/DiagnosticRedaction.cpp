#include "Flagrig/Diagnostics/DiagnosticRedaction.h"

#include <array>
#include <exception>
#include <utility>

#include "Flagrig/Diagnostics/LinearRedaction.h"

namespace flagrig {

using platform::Regex;

const Regex& DiagnosticRedaction::keyedSecret() {
  static const Regex r(
      R"((?i)\b(bearer|authorization|token|vas|code|cookie|secret|password|apikey|api_key|)"
      R"(refresh_token|access_token|set-cookie)\b\s*[:=]\s*\S+)");
  return r;
}

const Regex& DiagnosticRedaction::jwt() {
  static const Regex r(R"(\b[A-Za-z0-9_\-]{8,}\.[A-Za-z0-9_\-]{8,}\.[A-Za-z0-9_\-]{8,}\b)");
  return r;
}

const Regex& DiagnosticRedaction::email() {
  static const Regex r(R"(([A-Za-z0-9._%+\-]+)@([A-Za-z0-9.\-]+\.[A-Za-z]{2,}))");
  return r;
}

const Regex& DiagnosticRedaction::ipv4() {
  static const Regex r(R"(\b\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}(?::\d{1,5})?\b)");
  return r;
}

const Regex& DiagnosticRedaction::ipv6() {
  static const Regex r(
      R"(\b(?:[0-9a-fA-F]{1,4}:){2,}[0-9a-fA-F]{0,4}\b|::(?:[0-9a-fA-F]{1,4}:)*[0-9a-fA-F]{1,4})");
  return r;
}

const Regex& DiagnosticRedaction::opaqueBlob() {
  static const Regex r(R"(\b[A-Za-z0-9+/\-_]{24,}={0,2}\b)");
  return r;
}

const Regex& DiagnosticRedaction::homePath() {
  static const Regex r(R"((/(?:Users|home|root))(/[^\s/:\"']+)+)");
  return r;
}

const Regex& DiagnosticRedaction::vaId() {
  static const Regex r(R"(\bva_[A-Za-z0-9]{8,})");
  return r;
}

const Regex& DiagnosticRedaction::pvaId() {
  static const Regex r(R"(\bpva_[A-Za-z0-9]{8,})");
  return r;
}

std::string DiagnosticRedaction::redact(std::string_view text) {
  return redact(text, LinearRedaction::defaultWorkPerByte);
}

std::string DiagnosticRedaction::redact(std::string_view text, std::size_t workPerByte) {
  if (text.empty()) return std::string();
  try {
    if (auto redacted = LinearRedaction::redact(text, workPerByte)) return std::move(*redacted);
  } catch (const std::exception&) {
    // Out of memory, most likely: nothing of the text may leave unredacted.
  }
  return "<redacted>";
}

std::string DiagnosticRedaction::redactWithRegularExpressions(std::string_view text) {
  if (text.empty()) return std::string();
  using Rule = std::pair<const Regex& (*)(), std::string_view>;
  static constexpr std::array<Rule, 9> rules = {{
      {&keyedSecret, "<redacted>"},
      {&jwt, "<redacted-token>"},
      {&email, "x****@$2"},
      {&ipv4, "<redacted-ip>"},
      {&ipv6, "<redacted-ip>"},
      {&homePath, "$1/<redacted>"},
      {&vaId, "va_<redacted>"},
      {&pvaId, "pva_<redacted>"},
      {&opaqueBlob, "<redacted>"},
  }};
  std::string out(text);
  for (const auto& [rule, replacement] : rules) out = rule().replacingMatches(out, replacement);
  return out;
}

}  // namespace flagrig
