#include "VoskaryAccount/Client/VoskaryDeprecationParser.h"

#include <map>
#include <optional>
#include <string>

#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/UnicodeText.h"

namespace voskary {

namespace {

using platform::Date;
using platform::DateFormats;

// Without tabs and Unicode space separators at both ends; line breaks stay.
std::string trimmed(std::string_view text) {
  return platform::UnicodeText::trimmed(text, platform::UnicodeText::WhiteSpace::spaces);
}

// The non-empty pieces between separators, at most `maxPieces` of them: the last one takes
// the rest of the text, separators included, once the others are found.
std::vector<std::string_view> split(std::string_view text, char separator,
                                    std::size_t maxPieces = std::string_view::npos) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size() && pieces.size() + 1 < maxPieces; ++i) {
    if (text[i] != separator) continue;
    if (i > start) pieces.push_back(text.substr(start, i - start));
    start = i + 1;
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

// Kinds and keys are ASCII words; no other character lower-cases into one of them.
std::string asciiLowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<Date> expiryDate(std::string_view text) {
  if (auto date = DateFormats::parseISO8601(text, DateFormats::FractionalSeconds::omitted))
    return date;
  return DateFormats::parseCalendarDate(text);
}

std::optional<std::string> valueFor(const std::map<std::string, std::string>& parameters,
                                    const std::string& key) {
  auto found = parameters.find(key);
  if (found == parameters.end()) return std::nullopt;
  return found->second;
}

std::optional<VoskaryDeprecationNotice> parseNotice(std::string_view text) {
  std::vector<std::string> pieces;
  for (auto piece : split(text, ';')) pieces.push_back(trimmed(piece));
  if (pieces.empty()) return std::nullopt;

  std::map<std::string, std::string> parameters;  // a later key wins
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    auto keyAndValue = split(pieces[i], '=', 2);
    if (keyAndValue.size() != 2) continue;
    parameters[asciiLowercased(trimmed(keyAndValue[0]))] = trimmed(keyAndValue[1]);
  }
  auto reason = valueFor(parameters, "reason");

  std::string kind = asciiLowercased(pieces[0]);
  if (kind == "endpoint") {
    std::optional<platform::URL> replacement;
    if (auto value = valueFor(parameters, "replacement"))
      replacement = platform::URL::parse(*value);
    std::optional<Date> expires;
    if (auto value = valueFor(parameters, "expires")) expires = expiryDate(*value);
    return VoskaryDeprecationNotice::endpoint(std::move(replacement), expires, std::move(reason));
  }
  if (kind == "client") {
    auto minVersion = valueFor(parameters, "min-version");
    if (!minVersion) return std::nullopt;
    return VoskaryDeprecationNotice::client(std::move(*minVersion), valueFor(parameters, "current"),
                                            std::move(reason));
  }
  return std::nullopt;
}

}  // namespace

std::vector<VoskaryDeprecationNotice> VoskaryDeprecationParser::parse(
    std::string_view headerValue) {
  std::vector<VoskaryDeprecationNotice> notices;
  for (auto piece : split(headerValue, ',')) {
    if (auto notice = parseNotice(trimmed(piece))) notices.push_back(std::move(*notice));
  }
  return notices;
}

std::vector<VoskaryDeprecationNotice> voskaryDeprecationNotices(
    const platform::HTTPURLResponse& response) {
  auto header = response.value(VoskaryDeprecationParser::headerName);
  if (!header) return {};
  return VoskaryDeprecationParser::parse(*header);
}

}  // namespace voskary
