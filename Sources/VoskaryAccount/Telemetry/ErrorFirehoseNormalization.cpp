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
#include "VoskaryAccount/Telemetry/ErrorMessageRules.h"

namespace voskary {

namespace {

using platform::Regex;
using platform::UnicodeText;

bool hasNonASCII(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
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
  // The template keeps 256 bytes anyway: a huge message is read only as far as the bound.
  std::string text = message.size() > maxNormalizedBytes
                         ? UnicodeText::truncatedUTF8(message, maxNormalizedBytes)
                         : std::string(message);
  try {
    for (std::size_t rule = 0; rule < ErrorMessageRules::count; ++rule)
      text = ErrorMessageRules::replace(rule, text);
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
