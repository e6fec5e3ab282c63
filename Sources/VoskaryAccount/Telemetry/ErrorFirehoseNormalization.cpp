// The error-telemetry client's pure functions: message templates, frame digests, daily tokens.

#include <algorithm>
#include <array>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Regex.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Security/SHA256.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace voskary {

namespace {

using platform::Regex;
using platform::UnicodeText;

bool isASCIIHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isASCIIDigit(char c) {
  return c >= '0' && c <= '9';
}

bool hasRun(std::string_view text, std::size_t length, bool (*inRun)(char)) {
  std::size_t run = 0;
  for (char c : text) {
    run = inRun(c) ? run + 1 : 0;
    if (run >= length) return true;
  }
  return false;
}

bool hasNonASCII(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// One replacement of the normalisation with a cheap test that must hold wherever the pattern
// can match, so that the regular expression runs only on texts it may change.
struct Rule {
  Regex regex;
  std::string_view placeholder;
  bool (*mayMatch)(std::string_view text);
};

const std::array<Rule, 7>& rules() {
  static const std::array<Rule, 7> all = {{
      {Regex(R"([a-zA-Z0-9._%+\-]+@[a-zA-Z0-9.\-]+\.[a-zA-Z]{2,})"), "<email>",
       [](std::string_view t) { return t.find('@') != t.npos; }},
      {Regex(R"(\d{4}-\d{2}-\d{2}[T ]\d{2}:\d{2}:\d{2}(?:\.\d+)?(?:Z|[+-]\d{2}:?\d{2})?)"), "<ts>",
       [](std::string_view t) { return t.find('-') != t.npos && t.find(':') != t.npos; }},
      {Regex(R"([0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12})"),
       "<uuid>",
       [](std::string_view t) { return t.find('-') != t.npos && hasRun(t, 12, isASCIIHexDigit); }},
      {Regex(R"(va_[0-9a-zA-Z-]+)"), "<va_id>",
       [](std::string_view t) { return t.find("va_") != t.npos; }},
      {Regex(R"((?:[A-Za-z]:[\\\/]|\\\\|\/)[^\s,;\"'<>]+)"), "<path>",
       [](std::string_view t) { return t.find_first_of("/\\") != t.npos; }},
      {Regex(R"(\b[0-9a-fA-F]{8,}\b)"), "<hex>",
       [](std::string_view t) { return hasRun(t, 8, isASCIIHexDigit); }},
      // \d takes every decimal digit of Unicode, not only the ASCII ones.
      {Regex(R"(\b\d{4,}\b)"), "<n>",
       [](std::string_view t) { return hasRun(t, 4, isASCIIDigit) || hasNonASCII(t); }},
  }};
  return all;
}

const Regex& frameReturnType() {
  static const Regex regex(R"(\s*->.+)");
  return regex;
}
const Regex& frameArguments() {
  static const Regex regex(R"(\(.*\))");
  return regex;
}

bool hasAtLeastEightCharacters(std::string_view text) {
  if (text.size() < 8) return false;
  if (!hasNonASCII(text)) return true;
  return UnicodeText::characterCount(text) >= 8;
}

std::string joined(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i) out += separator;
    out += pieces[i];
  }
  return out;
}

}  // namespace

std::string ErrorFirehoseClient::normalizeMessage(
    std::string_view message, std::optional<std::string_view> exceptionType) const {
  // The rules can take quadratic time on a hostile text; the template keeps 256 bytes anyway,
  // so only the start of a huge message is read.
  std::string text = message.size() > maxNormalizedBytes
                         ? UnicodeText::truncatedUTF8(message, maxNormalizedBytes)
                         : std::string(message);
  try {
    for (const auto& rule : rules()) {
      if (rule.mayMatch(text)) text = rule.regex.replacingMatches(text, rule.placeholder);
    }
  } catch (const platform::RegexError&) {
    // A text the rules cannot get through in bounded time is withheld whole rather than sent
    // with its personal data.
    text = "<withheld>";
  }

  std::string result = joined(
      UnicodeText::split(UnicodeText::lowercased(text), UnicodeText::WhiteSpace::spacesAndNewlines),
      " ");
  if (hasAtLeastEightCharacters(result)) return result;

  if (!exceptionType || exceptionType->empty()) {
    return result.empty() ? UnicodeText::lowercased(message) : result;
  }
  result += ' ';
  result += *exceptionType;
  return UnicodeText::trimmed(result, UnicodeText::WhiteSpace::spaces);
}

std::string ErrorFirehoseClient::computeFrameDigest(const std::vector<std::string>& frames) const {
  std::vector<std::string> cleaned;
  for (std::size_t i = 0; i < frames.size() && i < maxTopFrames; ++i) {
    std::string frame = frameReturnType().replacingMatches(frames[i], "");
    frame = frameArguments().replacingMatches(frame, "");
    cleaned.push_back(
        UnicodeText::lowercased(UnicodeText::trimmed(frame, UnicodeText::WhiteSpace::spaces)));
  }
  return platform::SHA256::hexDigest(joined(cleaned, "|")).substr(0, 12);
}

std::string ErrorFirehoseClient::computeDailyToken(std::string_view installId) {
  return computeDailyToken(installId, platform::env().clock->now());
}

std::string ErrorFirehoseClient::computeDailyToken(std::string_view installId, platform::Date now) {
  std::string input(installId);
  input += '|';
  input += utcDateString(now);
  input += '|';
  input += dailyTokenSuffix;
  return platform::SHA256::hexDigest(input).substr(0, 16);
}

std::string ErrorFirehoseClient::utcDateString() {
  return utcDateString(platform::env().clock->now());
}

std::string ErrorFirehoseClient::utcDateString(platform::Date date) {
  return platform::DateFormats::calendarDate(date);
}

}  // namespace voskary
