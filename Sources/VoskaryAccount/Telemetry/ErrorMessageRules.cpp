#include "VoskaryAccount/Telemetry/ErrorMessageRules.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "Platform/Foundation/Regex.h"

namespace voskary {

namespace {

using platform::Regex;
// A match: where it starts and where it ends, in bytes.
using Span = std::pair<std::size_t, std::size_t>;
using Finder = std::optional<Span> (*)(std::string_view text, std::size_t from);

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isAlphanumeric(char c) {
  return isDigit(c) || isLetter(c);
}
// ICU's \w on ASCII.
bool isWordCharacter(char c) {
  return isAlphanumeric(c) || c == '_';
}
bool isASCII(std::string_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// [a-zA-Z0-9._%+\-]+@[a-zA-Z0-9.\-]+\.[a-zA-Z]{2,}
// The local part is the run before an "@" (which it cannot contain), so the leftmost match
// belongs to the first "@" that has a local part and a domain; the greedy domain backs off to
// its last dot followed by two letters.
std::optional<Span> findEmail(std::string_view text, std::size_t from) {
  auto isLocal = [](char c) {
    return isAlphanumeric(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-';
  };
  auto isDomain = [](char c) { return isAlphanumeric(c) || c == '.' || c == '-'; };
  const std::size_t n = text.size();
  for (std::size_t at = text.find('@', from); at != text.npos; at = text.find('@', at + 1)) {
    std::size_t start = at;
    while (start > from && isLocal(text[start - 1])) --start;
    if (start == at) continue;
    std::size_t end = at + 1;
    while (end < n && isDomain(text[end])) ++end;
    for (std::size_t dot = end; dot-- > at + 2;) {
      if (text[dot] != '.') continue;
      std::size_t letters = dot + 1;
      while (letters < n && isLetter(text[letters])) ++letters;
      if (letters - dot - 1 >= 2) return Span{start, letters};
    }
  }
  return std::nullopt;
}

// \d{4}-\d{2}-\d{2}[T ]\d{2}:\d{2}:\d{2}(?:\.\d+)?(?:Z|[+-]\d{2}:?\d{2})? on ASCII text.
std::optional<Span> findTimestamp(std::string_view text, std::size_t from) {
  const std::size_t n = text.size();
  auto digits = [&](std::size_t at, std::size_t count) {
    if (at + count > n) return false;
    for (std::size_t i = 0; i < count; ++i)
      if (!isDigit(text[at + i])) return false;
    return true;
  };
  auto is = [&](std::size_t at, char c) { return at < n && text[at] == c; };
  for (std::size_t p = from; p + 19 <= n; ++p) {
    if (!(digits(p, 4) && is(p + 4, '-') && digits(p + 5, 2) && is(p + 7, '-') &&
          digits(p + 8, 2) && (is(p + 10, 'T') || is(p + 10, ' ')) && digits(p + 11, 2) &&
          is(p + 13, ':') && digits(p + 14, 2) && is(p + 16, ':') && digits(p + 17, 2)))
      continue;
    std::size_t end = p + 19;
    if (is(end, '.') && digits(end + 1, 1)) {
      end += 1;
      while (digits(end, 1)) ++end;
    }
    if (is(end, 'Z')) {
      end += 1;
    } else if ((is(end, '+') || is(end, '-')) && digits(end + 1, 2)) {
      const std::size_t rest = end + 3;
      if (is(rest, ':') && digits(rest + 1, 2)) {
        end = rest + 3;
      } else if (digits(rest, 2)) {
        end = rest + 2;
      }
    }
    return Span{p, end};
  }
  return std::nullopt;
}

// [0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}
std::optional<Span> findUUID(std::string_view text, std::size_t from) {
  static constexpr std::array<std::size_t, 5> groups = {8, 4, 4, 4, 12};
  for (std::size_t p = from; p + 36 <= text.size(); ++p) {
    std::size_t at = p;
    bool matches = true;
    for (std::size_t g = 0; g < groups.size() && matches; ++g) {
      if (g > 0) matches = text[at++] == '-';
      for (std::size_t i = 0; i < groups[g] && matches; ++i) matches = isHexDigit(text[at++]);
    }
    if (matches) return Span{p, p + 36};
  }
  return std::nullopt;
}

// va_[0-9a-zA-Z-]+
std::optional<Span> findAccountId(std::string_view text, std::size_t from) {
  for (std::size_t p = text.find("va_", from); p != text.npos; p = text.find("va_", p + 1)) {
    std::size_t end = p + 3;
    while (end < text.size() && (isAlphanumeric(text[end]) || text[end] == '-')) ++end;
    if (end > p + 3) return Span{p, end};
  }
  return std::nullopt;
}

// (?:[A-Za-z]:[\\\/]|\\\\|\/)[^\s,;\"'<>]+ on ASCII text, where ICU's \s (Unicode's White_Space)
// is the five control characters from tab to carriage return and the blank.
std::optional<Span> findPath(std::string_view text, std::size_t from) {
  const std::size_t n = text.size();
  auto bodyEnd = [&](std::size_t at) {
    while (at < n) {
      const char c = text[at];
      if (c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ' || c == ',' ||
          c == ';' || c == '"' || c == '\'' || c == '<' || c == '>')
        break;
      ++at;
    }
    return at;
  };
  for (std::size_t p = from; p < n; ++p) {
    const char c = text[p];
    if (isLetter(c) && p + 2 < n && text[p + 1] == ':' &&
        (text[p + 2] == '\\' || text[p + 2] == '/')) {
      if (auto end = bodyEnd(p + 3); end > p + 3) return Span{p, end};
    }
    if (c == '\\' && p + 1 < n && text[p + 1] == '\\') {
      if (auto end = bodyEnd(p + 2); end > p + 2) return Span{p, end};
    }
    if (c == '/') {
      if (auto end = bodyEnd(p + 1); end > p + 1) return Span{p, end};
    }
  }
  return std::nullopt;
}

// \b[class]{min,}\b on ASCII text: the class's characters are all word characters, so a match
// is a whole word made only of them.
template <bool (*inClass)(char), std::size_t minimum>
std::optional<Span> findWholeWord(std::string_view text, std::size_t from) {
  const std::size_t n = text.size();
  std::size_t p = from;
  while (p < n) {
    if (!isWordCharacter(text[p]) || (p > 0 && isWordCharacter(text[p - 1]))) {
      ++p;
      continue;
    }
    std::size_t end = p;
    bool all = true;
    for (; end < n && isWordCharacter(text[end]); ++end) all = all && inClass(text[end]);
    if (all && end - p >= minimum) return Span{p, end};
    p = end;
  }
  return std::nullopt;
}

bool hasRun(std::string_view text, std::size_t length, bool (*inRun)(char)) {
  std::size_t run = 0;
  for (char c : text) {
    run = inRun(c) ? run + 1 : 0;
    if (run >= length) return true;
  }
  return false;
}

struct Rule {
  Regex regex;
  std::string_view placeholder;
  Finder find;
  // Where the scan finds exactly the expression's matches: in any text, or in ASCII text only.
  enum class ScanExact { anyText, asciiOnly } scanExact;
  // Holds wherever the expression can match, so that the expression runs only where it may.
  bool (*mayMatch)(std::string_view text);
};

const std::array<Rule, ErrorMessageRules::count>& rules() {
  static const std::array<Rule, ErrorMessageRules::count> all = {{
      {Regex(R"([a-zA-Z0-9._%+\-]+@[a-zA-Z0-9.\-]+\.[a-zA-Z]{2,})"), "<email>", findEmail,
       Rule::ScanExact::anyText, [](std::string_view t) { return t.find('@') != t.npos; }},
      {Regex(R"(\d{4}-\d{2}-\d{2}[T ]\d{2}:\d{2}:\d{2}(?:\.\d+)?(?:Z|[+-]\d{2}:?\d{2})?)"), "<ts>",
       findTimestamp, Rule::ScanExact::asciiOnly,
       [](std::string_view t) { return t.find('-') != t.npos && t.find(':') != t.npos; }},
      {Regex(R"([0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12})"),
       "<uuid>", findUUID, Rule::ScanExact::anyText,
       [](std::string_view t) { return t.find('-') != t.npos && hasRun(t, 12, isHexDigit); }},
      {Regex(R"(va_[0-9a-zA-Z-]+)"), "<va_id>", findAccountId, Rule::ScanExact::anyText,
       [](std::string_view t) { return t.find("va_") != t.npos; }},
      {Regex(R"((?:[A-Za-z]:[\\\/]|\\\\|\/)[^\s,;\"'<>]+)"), "<path>", findPath,
       Rule::ScanExact::asciiOnly,
       [](std::string_view t) { return t.find_first_of("/\\") != t.npos; }},
      {Regex(R"(\b[0-9a-fA-F]{8,}\b)"), "<hex>", findWholeWord<isHexDigit, 8>,
       Rule::ScanExact::asciiOnly, [](std::string_view t) { return hasRun(t, 8, isHexDigit); }},
      // \d takes every decimal digit of Unicode, not only the ASCII ones.
      {Regex(R"(\b\d{4,}\b)"), "<n>", findWholeWord<isDigit, 4>, Rule::ScanExact::asciiOnly,
       [](std::string_view t) { return hasRun(t, 4, isDigit) || !isASCII(t); }},
  }};
  return all;
}

std::string replaceScanned(std::string_view text, Finder find, std::string_view placeholder) {
  std::string out;
  std::size_t copied = 0;
  for (auto match = find(text, 0); match; match = find(text, match->second)) {
    out.append(text.substr(copied, match->first - copied));
    out += placeholder;
    copied = match->second;
  }
  if (copied == 0) return std::string(text);
  out.append(text.substr(copied));
  return out;
}

}  // namespace

std::string ErrorMessageRules::replace(std::size_t rule, std::string_view text) {
  const auto& r = rules().at(rule);
  if (r.scanExact == Rule::ScanExact::anyText || isASCII(text))
    return replaceScanned(text, r.find, r.placeholder);
  if (!r.mayMatch(text)) return std::string(text);
  return r.regex.replacingMatches(text, r.placeholder);
}

std::string ErrorMessageRules::replaceWithRegex(std::size_t rule, std::string_view text) {
  const auto& r = rules().at(rule);
  return r.regex.replacingMatches(text, r.placeholder);
}

std::string_view ErrorMessageRules::placeholder(std::size_t rule) {
  return rules().at(rule).placeholder;
}

}  // namespace voskary
