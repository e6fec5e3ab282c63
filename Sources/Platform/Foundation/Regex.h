#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Error.h"

namespace platform {

// Why a regular expression could not be compiled or run.
class RegexError : public Error {
 public:
  enum class Kind {
    invalidPattern,         // the pattern does not compile
    invalidTemplate,        // a replacement template names a group the pattern lacks
    timeLimitExceeded,      // matching took more steps than the expression allows
    resourceLimitExceeded,  // backtracking needed more memory than the engine allows
  };

  RegexError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}

  Kind kind() const { return kind_; }
  // What ICU reported, with the offending offset of a pattern.
  const std::string& detail() const { return detail_; }
  std::string description() const override;

  bool operator==(const RegexError& other) const {
    return kind_ == other.kind_ && detail_ == other.detail_;
  }

 private:
  Kind kind_;
  std::string detail_;
};

// One match: the whole matched text and each capture group, in UTF-8.
struct RegexMatch {
  // Where the match starts and how long it is, in bytes of the searched text.
  std::size_t offset = 0;
  std::size_t length = 0;
  // groups[0] is the whole match; a group that took no part in the match is absent.
  std::vector<std::optional<std::string>> groups;

  const std::string& text() const { return *groups[0]; }
  bool operator==(const RegexMatch&) const = default;
};

// A regular expression in ICU's syntax (the syntax the product's patterns are written in:
// `\b`, `\d`, `\s` with their Unicode meanings, inline flags such as `(?i)`), compiled once.
// A Regex is immutable and may be shared by any number of threads; every call matches with a
// matcher of its own. Texts are UTF-8; invalid sequences read as U+FFFD.
//
// Matching is bounded: a backtracking blow-up on a hostile text throws RegexError (time or
// resource limit) instead of hanging the caller.
class Regex {
 public:
  enum class Option : std::uint32_t {
    caseInsensitive,
    allowCommentsAndWhitespace,
    ignoreMetacharacters,  // the pattern is a literal text
    dotMatchesLineSeparators,
    anchorsMatchLines,  // ^ and $ at every line
    useUnixLineSeparators,
    useUnicodeWordBoundaries,
  };

  // Throws RegexError (invalid pattern).
  explicit Regex(std::string_view pattern, std::initializer_list<Option> options = {});

  const std::string& pattern() const;

  // Whether the pattern matches anywhere in `text`.
  bool containsMatch(std::string_view text) const;
  // The leftmost match, with its capture groups.
  std::optional<RegexMatch> firstMatch(std::string_view text) const;
  // Every non-overlapping match, left to right, replaced by `replacementTemplate`, in which
  // "$1" stands for a group, "${name}" for a named group and "\" takes the next character
  // literally. Throws RegexError (invalid template) for a group the pattern lacks.
  std::string replacingMatches(std::string_view text, std::string_view replacementTemplate) const;

  // The work one call may do, over all its searches, in ICU's time units of about 10,000
  // backtracking steps (a few tenths of a second here). Linear work on megabytes stays far
  // below it; a pattern that backtracks without end reaches it.
  static constexpr std::int32_t workLimit = 3000;

 private:
  struct Compiled;
  std::shared_ptr<const Compiled> compiled_;
};

}  // namespace platform
