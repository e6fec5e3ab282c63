#include "Platform/Foundation/Regex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

namespace platform {

namespace {

std::uint32_t icuFlags(std::initializer_list<Regex::Option> options) {
  std::uint32_t flags = 0;
  for (auto option : options) {
    switch (option) {
      case Regex::Option::caseInsensitive:
        flags |= UREGEX_CASE_INSENSITIVE;
        break;
      case Regex::Option::allowCommentsAndWhitespace:
        flags |= UREGEX_COMMENTS;
        break;
      case Regex::Option::ignoreMetacharacters:
        flags |= UREGEX_LITERAL;
        break;
      case Regex::Option::dotMatchesLineSeparators:
        flags |= UREGEX_DOTALL;
        break;
      case Regex::Option::anchorsMatchLines:
        flags |= UREGEX_MULTILINE;
        break;
      case Regex::Option::useUnixLineSeparators:
        flags |= UREGEX_UNIX_LINES;
        break;
      case Regex::Option::useUnicodeWordBoundaries:
        flags |= UREGEX_UWORD;
        break;
    }
  }
  return flags;
}

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// UTF-8 bytes of the UTF-16 units [start, end) of a well-formed text.
std::size_t utf8Length(const icu::UnicodeString& text, std::int32_t start, std::int32_t end) {
  std::size_t bytes = 0;
  for (std::int32_t i = start; i < end; i = text.moveIndex32(i, 1)) {
    UChar32 c = text.char32At(i);
    bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  return bytes;
}

// Counts ICU's time units over every search of one call and stops the call at the limit.
struct WorkBudget {
  std::int32_t used = 0;
  static UBool spend(const void* context, std::int32_t) {
    auto* budget = static_cast<WorkBudget*>(const_cast<void*>(context));
    return ++budget->used < Regex::workLimit;
  }
};

[[noreturn]] void throwForStatus(UErrorCode status) {
  switch (status) {
    case U_REGEX_STOPPED_BY_CALLER:
    case U_REGEX_TIME_OUT:
      throw RegexError(RegexError::Kind::timeLimitExceeded, u_errorName(status));
    case U_INDEX_OUTOFBOUNDS_ERROR:
    case U_REGEX_INVALID_CAPTURE_GROUP_NAME:
      throw RegexError(RegexError::Kind::invalidTemplate, u_errorName(status));
    default:
      // The backtracking stack overflowed, or memory ran out.
      throw RegexError(RegexError::Kind::resourceLimitExceeded, u_errorName(status));
  }
}

void check(UErrorCode status) {
  if (U_FAILURE(status)) throwForStatus(status);
}

}  // namespace

std::string RegexError::description() const {
  switch (kind_) {
    case Kind::invalidPattern:
      return "The regular expression is not valid: " + detail_;
    case Kind::invalidTemplate:
      return "The replacement template is not valid: " + detail_;
    case Kind::timeLimitExceeded:
    case Kind::resourceLimitExceeded:
      break;
  }
  return "The text is too costly to match with this regular expression.";
}

struct Regex::Compiled {
  std::string pattern;
  std::unique_ptr<icu::RegexPattern> icu;
};

// A matcher for one call: its own state, the input kept alive, and the work budget.
class RegexCall {
 public:
  RegexCall(const icu::RegexPattern& pattern, std::string_view text)
      : input_(icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())))) {
    UErrorCode status = U_ZERO_ERROR;
    matcher_.reset(pattern.matcher(input_, status));
    check(status);
    matcher_->setMatchCallback(&WorkBudget::spend, &budget_, status);
    check(status);
  }

  bool find() {
    UErrorCode status = U_ZERO_ERROR;
    bool found = matcher_->find(status);
    check(status);
    return found;
  }

  icu::RegexMatcher& matcher() { return *matcher_; }
  const icu::UnicodeString& input() const { return input_; }

 private:
  icu::UnicodeString input_;
  WorkBudget budget_;
  std::unique_ptr<icu::RegexMatcher> matcher_;
};

Regex::Regex(std::string_view pattern, std::initializer_list<Option> options) {
  auto compiled = std::make_shared<Compiled>();
  compiled->pattern = std::string(pattern);
  UErrorCode status = U_ZERO_ERROR;
  UParseError where{};
  compiled->icu.reset(icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(compiled->pattern),
                                                 icuFlags(options), where, status));
  if (U_FAILURE(status)) {
    throw RegexError(RegexError::Kind::invalidPattern,
                     std::string(u_errorName(status)) + " at offset " +
                         std::to_string(where.offset) + " of " + compiled->pattern);
  }
  compiled_ = std::move(compiled);
}

const std::string& Regex::pattern() const {
  return compiled_->pattern;
}

bool Regex::containsMatch(std::string_view text) const {
  RegexCall call(*compiled_->icu, text);
  return call.find();
}

std::optional<RegexMatch> Regex::firstMatch(std::string_view text) const {
  RegexCall call(*compiled_->icu, text);
  if (!call.find()) return std::nullopt;
  auto& matcher = call.matcher();
  UErrorCode status = U_ZERO_ERROR;
  RegexMatch match;
  std::int32_t start = matcher.start(status);
  std::int32_t end = matcher.end(status);
  check(status);
  match.offset = utf8Length(call.input(), 0, start);
  match.length = utf8Length(call.input(), start, end);
  for (std::int32_t group = 0; group <= matcher.groupCount(); ++group) {
    if (matcher.start(group, status) < 0) {
      match.groups.emplace_back();
    } else {
      match.groups.emplace_back(utf8(matcher.group(group, status)));
    }
    check(status);
  }
  return match;
}

std::string Regex::replacingMatches(std::string_view text,
                                    std::string_view replacementTemplate) const {
  RegexCall call(*compiled_->icu, text);
  auto replacement = icu::UnicodeString::fromUTF8(icu::StringPiece(
      replacementTemplate.data(), static_cast<std::int32_t>(replacementTemplate.size())));
  icu::UnicodeString result;
  UErrorCode status = U_ZERO_ERROR;
  while (call.find()) {
    call.matcher().appendReplacement(result, replacement, status);
    check(status);
  }
  call.matcher().appendTail(result);
  return utf8(result);
}

}  // namespace platform
