#include "Flagrig/Diagnostics/LinearRedaction.h"

#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "Platform/Foundation/UnicodeText.h"

namespace flagrig {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Stops a scan that ran over its work budget, or that ICU could not serve (its character data
// missing): the text is then not redacted here at all.
struct CannotRedact {};

// ---- Character classes ---------------------------------------------------------------------

enum Class : std::uint16_t {
  word = 1 << 0,       // ICU's \w, which also decides \b
  space = 1 << 1,      // \s
  hex = 1 << 2,        // [0-9a-fA-F]
  token = 1 << 3,      // [A-Za-z0-9_\-]
  local = 1 << 4,      // [A-Za-z0-9._%+\-]
  domain = 1 << 5,     // [A-Za-z0-9.\-]
  blob = 1 << 6,       // [A-Za-z0-9+/\-_]
  letter = 1 << 7,     // [A-Za-z]
  alnum = 1 << 8,      // [A-Za-z0-9]
  digit = 1 << 9,      // [0-9]
  keyStart = 1 << 10,  // the first letters of the keyed-secret keywords, in either case
  keyLast = 1 << 11    // and their last letters
};

constexpr std::array<std::uint16_t, 128> makeASCIIClasses() {
  std::array<std::uint16_t, 128> table{};
  for (int c = 0; c < 128; ++c) {
    bool isLetter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    bool isDigit = c >= '0' && c <= '9';
    std::uint16_t bits = 0;
    if (isLetter || isDigit) bits |= word | token | local | domain | blob | alnum;
    if (isLetter) bits |= letter;
    if (isDigit) bits |= digit | hex;
    if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) bits |= hex;
    if (c == '_') bits |= word | token | local | blob;
    if (c == '-') bits |= token | local | domain | blob;
    if (c == '.') bits |= local | domain;
    if (c == '%') bits |= local;
    if (c == '+') bits |= local | blob;
    if (c == '/') bits |= blob;
    if ((c >= 0x09 && c <= 0x0D) || c == ' ') bits |= space;
    int lower = c | 0x20;
    if (isLetter && (lower == 'a' || lower == 'b' || lower == 'c' || lower == 'p' || lower == 'r' ||
                     lower == 's' || lower == 't' || lower == 'v'))
      bits |= keyStart;
    if (isLetter && (lower == 'd' || lower == 'e' || lower == 'n' || lower == 'r' || lower == 's' ||
                     lower == 't' || lower == 'y'))
      bits |= keyLast;
    table[static_cast<std::size_t>(c)] = bits;
  }
  return table;
}

constexpr std::array<std::uint16_t, 128> asciiClasses = makeASCIIClasses();

// Whether the byte is ASCII and in one of `classes`.
inline bool is(unsigned char byte, std::uint16_t classes) {
  return byte < 0x80 && (asciiClasses[byte] & classes) != 0;
}

// ICU's sets for what lies beyond ASCII: its word characters, and the characters \b looks
// through (grapheme extenders and format characters never start or end a word).
struct UnicodeClasses {
  icu::UnicodeSet word;
  icu::UnicodeSet transparent;

  UnicodeClasses() {
    UErrorCode status = U_ZERO_ERROR;
    word.applyPattern(icu::UnicodeString(u"[\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\u200c\\u200d]"),
                      status);
    transparent.applyPattern(icu::UnicodeString(u"[\\p{Grapheme_Extend}\\p{Cf}]"), status);
    if (U_FAILURE(status)) throw CannotRedact{};
    word.freeze();
    transparent.freeze();
  }
};

const UnicodeClasses& unicodeClasses() {
  static const UnicodeClasses classes;
  return classes;
}

inline bool isWord(char32_t c) {
  return c < 0x80 ? (asciiClasses[c] & word) != 0
                  : unicodeClasses().word.contains(static_cast<UChar32>(c));
}

inline bool isTransparent(char32_t c) {
  return c >= 0x80 && unicodeClasses().transparent.contains(static_cast<UChar32>(c));
}

inline bool isSpace(char32_t c) {
  return c < 0x80 ? (asciiClasses[c] & space) != 0 : u_isUWhiteSpace(static_cast<UChar32>(c));
}

inline bool isDigit(char32_t c) {
  return c < 0x80 ? (asciiClasses[c] & digit) != 0
                  : u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER;
}

// ---- Valid UTF-8 ---------------------------------------------------------------------------

struct Scalar {
  char32_t value;
  std::size_t length;
};

// The scalar at byte `i` of valid UTF-8.
inline Scalar decodeAt(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) {
    return static_cast<char32_t>(static_cast<unsigned char>(text[i + k]));
  };
  char32_t b0 = byte(0);
  if (b0 < 0x80) return {b0, 1};
  if (b0 < 0xE0) return {((b0 & 0x1F) << 6) | (byte(1) & 0x3F), 2};
  if (b0 < 0xF0) return {((b0 & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F), 3};
  return {
      ((b0 & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F),
      4};
}

// The start of the scalar that ends at byte `i` (> 0) of valid UTF-8.
inline std::size_t startBefore(std::string_view text, std::size_t i) {
  do {
    --i;
  } while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80);
  return i;
}

bool isValidUTF8(std::string_view text) {
  std::size_t i = 0;
  // Log text is mostly ASCII: eight bytes at a time until the first that is not.
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, text.data() + i, 8);
    if (chunk & 0x8080808080808080ull) break;
  }
  return platform::UnicodeText::isValidUTF8(text.substr(i));
}

// The full case folding of one scalar, as ICU's case-insensitive string matching compares it.
int fullFolding(char32_t c, char16_t (&folded)[8]) {
  UChar source[2];
  int32_t length = 0;
  U16_APPEND_UNSAFE(source, length, static_cast<UChar32>(c));
  UErrorCode status = U_ZERO_ERROR;
  int32_t foldedLength = u_strFoldCase(folded, 8, source, length, U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status)) throw CannotRedact{};
  return foldedLength;
}

// ---- One rule's pass over its input --------------------------------------------------------

// The input of one rule, the output it builds, its work budget, and ICU's word boundary on
// the input (boundaries are always those of the rule's input, never of what it has replaced).
class Pass {
 public:
  Pass(std::string_view input, std::size_t budget) : in(input), n(input.size()), budget_(budget) {}

  const std::string_view in;
  const std::size_t n;

  void spend(std::size_t units) {
    if (units > budget_) throw CannotRedact{};
    budget_ -= units;
  }

  unsigned char byte(std::size_t i) const { return static_cast<unsigned char>(in[i]); }

  // The next `c` at or after `from`.
  std::size_t find(char c, std::size_t from) {
    if (from >= n) return npos;
    const void* found = std::memchr(in.data() + from, c, n - from);
    std::size_t at =
        found ? static_cast<std::size_t>(static_cast<const char*>(found) - in.data()) : n;
    spend(at - from + 1);
    return found ? at : npos;
  }

  std::size_t findEither(char a, char b, std::size_t from) {
    for (std::size_t i = from; i < n; ++i) {
      if (in[i] == a || in[i] == b) {
        spend(i - from + 1);
        return i;
      }
    }
    spend(n > from ? n - from : 0);
    return npos;
  }

  std::size_t findText(std::string_view needle, std::size_t from) {
    if (from >= n) return npos;
    std::size_t at = in.find(needle, from);
    spend((at == npos ? n : at) - from + 1);
    return at;
  }

  // The end of the run of `classes` (ASCII) starting at `from`.
  std::size_t runEnd(std::size_t from, std::uint16_t classes) {
    std::size_t i = from;
    while (i < n && is(byte(i), classes)) ++i;
    spend(i - from);
    return i;
  }

  // The start of the run of `classes` (ASCII) ending at `end`, not before `floor`.
  std::size_t runStart(std::size_t end, std::uint16_t classes, std::size_t floor) {
    std::size_t i = end;
    while (i > floor && is(byte(i - 1), classes)) --i;
    spend(end - i);
    return i;
  }

  // How many decimal digits (\d) start at `from`, counting at most `limit`, and where they end.
  std::pair<std::size_t, std::size_t> digitsAt(std::size_t from, std::size_t limit) {
    std::size_t count = 0, i = from;
    while (count < limit && i < n) {
      Scalar s = decodeAt(in, i);
      if (!isDigit(s.value)) break;
      ++count;
      i += s.length;
    }
    spend(count);
    return {count, i};
  }

  // Whether the first character before `pos` that \b does not look through is a word character.
  bool wordBefore(std::size_t pos) {
    std::size_t i = pos;
    bool isWordBefore = false;
    for (;;) {
      if (i == 0) break;
      if (memoLow_ <= i && i <= memoHigh_) {
        isWordBefore = memoWord_;
        i = memoLow_;
        break;
      }
      unsigned char b = byte(i - 1);
      if (b < 0x80) {
        isWordBefore = (asciiClasses[b] & word) != 0;
        break;
      }
      std::size_t start = startBefore(in, i);
      char32_t c = decodeAt(in, start).value;
      if (!isTransparent(c)) {
        isWordBefore = isWord(c);
        break;
      }
      i = start;
      spend(1);
    }
    // A run of transparent characters is walked once: later questions inside it are answered
    // from here.
    if (i < pos) {
      memoLow_ = i;
      memoHigh_ = pos;
      memoWord_ = isWordBefore;
    }
    return isWordBefore;
  }

  // ICU's \b at `pos`: never before a transparent character; otherwise where the word-ness of
  // the character at `pos` (none at the end) and of the one before (looking through transparent
  // characters) differ.
  bool boundary(std::size_t pos) {
    bool wordHere = false;
    if (pos < n) {
      Scalar s = decodeAt(in, pos);
      if (isTransparent(s.value)) return false;
      wordHere = isWord(s.value);
    }
    return wordHere != wordBefore(pos);
  }

  // The bytes [start, end) of the input give way to `first` and `second`.
  void replace(std::size_t start, std::size_t end, std::string_view first,
               std::string_view second = {}) {
    if (!changed_) out_.reserve(n + n / 8 + 16);
    out_.append(in.substr(copied_, start - copied_));
    out_.append(first);
    out_.append(second);
    copied_ = end;
    changed_ = true;
    spend(first.size() + second.size());
  }

  // The first UTF-16 unit of the full case folding of `c` (not ASCII), remembered for the
  // characters seen last, since keyword candidates are looked at up to 13 times each.
  char16_t firstFoldedUnit(char32_t c) {
    auto& slot = folds_[c % folds_.size()];
    if (slot.first != c) {
      char16_t folded[8];
      fullFolding(c, folded);
      slot = {c, folded[0]};
    }
    return slot.second;
  }

  bool changed() const { return changed_; }

  std::string finish() {
    out_.append(in.substr(copied_));
    return std::move(out_);
  }

 private:
  std::size_t budget_;
  std::string out_;
  std::size_t copied_ = 0;
  bool changed_ = false;
  std::size_t memoLow_ = npos;
  std::size_t memoHigh_ = 0;
  bool memoWord_ = false;
  std::array<std::pair<char32_t, char16_t>, 64> folds_{};
};

// ---- The rules -----------------------------------------------------------------------------

// Rule 1, keyedSecret:
// (?i)\b(bearer|...|set-cookie)\b\s*[:=]\s*\S+  ->  <redacted>
// Every match has one ":" or "=" after its keyword, and the matches' signs come in the order of
// their starts; so each sign is tried once, with the keyword ending at the last non-blank before
// it and starting at most 13 characters earlier.
constexpr std::array<std::string_view, 13> keywords = {
    "bearer",   "authorization", "token",   "vas",           "code",         "cookie",    "secret",
    "password", "apikey",        "api_key", "refresh_token", "access_token", "set-cookie"};
constexpr std::size_t longestKeyword = 13;

// Where `keyword` ends when it matches case-insensitively at `start`, or npos. A match never
// ends inside the folding of one character.
std::size_t keywordEnd(Pass& pass, std::size_t start, std::string_view keyword) {
  std::size_t i = start, k = 0;
  while (k < keyword.size()) {
    if (i >= pass.n) return npos;
    unsigned char b = pass.byte(i);
    if (b < 0x80) {
      char lower = static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
      if (lower != keyword[k]) return npos;
      ++k;
      ++i;
      continue;
    }
    Scalar s = decodeAt(pass.in, i);
    char16_t folded[8];
    int length = fullFolding(s.value, folded);
    for (int u = 0; u < length; ++u) {
      if (k >= keyword.size() || folded[u] != static_cast<char16_t>(keyword[k])) return npos;
      ++k;
    }
    i += s.length;
  }
  return i;
}

void keyedSecret(Pass& pass) {
  std::size_t searchFrom = 0, scan = 0;
  for (;;) {
    std::size_t sign = pass.findEither(':', '=', scan);
    if (sign == npos) return;
    scan = sign + 1;
    std::size_t keyEnd = sign;
    while (keyEnd > searchFrom) {
      std::size_t before = startBefore(pass.in, keyEnd);
      if (!isSpace(decodeAt(pass.in, before).value)) break;
      keyEnd = before;
      pass.spend(1);
    }
    if (keyEnd == searchFrom) continue;
    // Most signs follow no keyword: their last letter already tells.
    if (unsigned char last = pass.byte(keyEnd - 1); last < 0x80 && !is(last, keyLast)) continue;

    std::array<std::size_t, longestKeyword> starts{};
    std::size_t count = 0;
    for (std::size_t at = keyEnd; count < longestKeyword && at > searchFrom;) {
      at = startBefore(pass.in, at);
      starts[count++] = at;
    }
    pass.spend(count);
    std::size_t start = npos;
    int boundaryAtKeyEnd = -1;
    for (std::size_t c = count; c-- > 0;) {  // leftmost first
      std::size_t candidate = starts[c];
      unsigned char first = pass.byte(candidate);
      char16_t firstFolded = first;
      if (first < 0x80) {
        if (!is(first, keyStart)) continue;
        firstFolded = static_cast<char16_t>(first | 0x20);
      } else {
        firstFolded = pass.firstFoldedUnit(decodeAt(pass.in, candidate).value);
      }
      bool matches = false;
      for (auto keyword : keywords) {
        if (static_cast<char16_t>(keyword[0]) != firstFolded) continue;
        if (keywordEnd(pass, candidate, keyword) == keyEnd) {
          matches = true;
          break;
        }
      }
      pass.spend(1);
      if (!matches) continue;
      if (boundaryAtKeyEnd < 0) boundaryAtKeyEnd = pass.boundary(keyEnd) ? 1 : 0;
      if (boundaryAtKeyEnd == 0) break;
      if (!pass.boundary(candidate)) continue;
      start = candidate;
      break;
    }
    if (start == npos) continue;

    std::size_t value = sign + 1;
    while (value < pass.n) {
      Scalar s = decodeAt(pass.in, value);
      if (!isSpace(s.value)) break;
      value += s.length;
    }
    // Nothing but blanks after the sign: no match here, and no sign left after it.
    if (value == pass.n) return;
    std::size_t end = value;
    while (end < pass.n) {
      Scalar s = decodeAt(pass.in, end);
      if (isSpace(s.value)) break;
      end += s.length;
    }
    pass.spend(end - sign);
    pass.replace(start, end, "<redacted>");
    searchFrom = scan = end;
  }
}

// Rule 2, jwt:
// \b[A-Za-z0-9_\-]{8,}\.[A-Za-z0-9_\-]{8,}\.[A-Za-z0-9_\-]{8,}\b  ->  <redacted-token>
// The first two runs end at their dots, so a start is tried once per dot that ends a run.
void jwt(Pass& pass) {
  std::size_t searchFrom = 0, scan = 0;
  for (;;) {
    std::size_t dot = pass.find('.', scan);
    if (dot == npos) return;
    scan = dot + 1;
    std::size_t runStart = pass.runStart(dot, token, searchFrom);
    if (dot - runStart < 8) continue;
    std::size_t second = pass.runEnd(dot + 1, token);
    if (second - (dot + 1) < 8 || second >= pass.n || pass.in[second] != '.') continue;
    std::size_t third = pass.runEnd(second + 1, token);
    if (third - (second + 1) < 8) continue;

    // The third run gives back characters until a boundary follows it.
    std::size_t end = npos;
    if (pass.boundary(third)) {
      end = third;
    } else {
      for (std::size_t at = third - 1; at >= second + 9; --at) {
        if (is(pass.byte(at - 1), word) != is(pass.byte(at), word)) {
          end = at;
          break;
        }
      }
      pass.spend(third - second);
    }
    if (end == npos) continue;

    std::size_t start = npos;
    if (pass.boundary(runStart)) {
      start = runStart;
    } else {
      for (std::size_t at = runStart + 1; at + 8 <= dot; ++at) {
        if (is(pass.byte(at - 1), word) != is(pass.byte(at), word)) {
          start = at;
          break;
        }
      }
      pass.spend(dot - runStart);
    }
    if (start == npos) continue;
    pass.replace(start, end, "<redacted-token>");
    searchFrom = scan = end;
  }
}

// Rule 3, email:
// ([A-Za-z0-9._%+\-]+)@([A-Za-z0-9.\-]+\.[A-Za-z]{2,})  ->  x****@$2
// The local part is the run before an "@"; the domain's last "." followed by two letters wins.
void email(Pass& pass) {
  std::size_t searchFrom = 0, scan = 0;
  for (;;) {
    std::size_t at = pass.find('@', scan);
    if (at == npos) return;
    scan = at + 1;
    std::size_t start = pass.runStart(at, local, searchFrom);
    if (start == at) continue;
    std::size_t domainStart = at + 1;
    std::size_t domainEnd = pass.runEnd(domainStart, domain);
    std::size_t lastDot = npos;
    for (std::size_t k = domainEnd; k-- > domainStart + 1;) {
      if (pass.in[k] == '.' && k + 2 < domainEnd && is(pass.byte(k + 1), letter) &&
          is(pass.byte(k + 2), letter)) {
        lastDot = k;
        break;
      }
    }
    pass.spend(domainEnd - domainStart);
    if (lastDot == npos) continue;
    std::size_t end = pass.runEnd(lastDot + 1, letter);
    pass.replace(start, end, "x****@", pass.in.substr(domainStart, end - domainStart));
    searchFrom = scan = end;
  }
}

// Rule 4, ipv4:
// \b\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}(?::\d{1,5})?\b  ->  <redacted-ip>
// \d is any decimal digit of Unicode. A start is tried once per dot after one to three digits.
void ipv4(Pass& pass) {
  std::size_t searchFrom = 0, scan = 0;
  for (;;) {
    std::size_t dot = pass.find('.', scan);
    if (dot == npos) return;
    scan = dot + 1;
    std::size_t start = dot, digits = 0;
    while (start > searchFrom && digits < 4) {
      std::size_t before = startBefore(pass.in, start);
      if (!isDigit(decodeAt(pass.in, before).value)) break;
      start = before;
      ++digits;
    }
    pass.spend(digits);
    if (digits == 0 || digits == 4 || !pass.boundary(start)) continue;

    // Two more groups of one to three digits and a dot, then the last group.
    std::size_t at = dot + 1;
    bool groups = true;
    for (int group = 0; group < 2 && groups; ++group) {
      auto [count, end] = pass.digitsAt(at, 4);
      groups = count >= 1 && count <= 3 && end < pass.n && pass.in[end] == '.';
      at = end + 1;
    }
    if (!groups) continue;
    auto [count, groupEnd] = pass.digitsAt(at, 4);
    if (count == 0 || count == 4) continue;

    std::size_t end = npos;
    if (groupEnd < pass.n && pass.in[groupEnd] == ':') {
      auto [portDigits, portEnd] = pass.digitsAt(groupEnd + 1, 6);
      if (portDigits >= 1 && portDigits <= 5 && pass.boundary(portEnd)) end = portEnd;
    }
    if (end == npos && pass.boundary(groupEnd)) end = groupEnd;
    if (end == npos) continue;
    pass.replace(start, end, "<redacted-ip>");
    searchFrom = scan = end;
  }
}

// Rule 5, ipv6:
// \b(?:[0-9a-fA-F]{1,4}:){2,}[0-9a-fA-F]{0,4}\b|::(?:[0-9a-fA-F]{1,4}:)*[0-9a-fA-F]{1,4}
//   ->  <redacted-ip>
// Each group is forced (a run of one to four hex digits and its colon), so the alternatives
// need one walk along the chain of groups. A start is tried at each colon: the first
// alternative from the hex run before it, then the second from the colon itself.
struct Groups {
  std::size_t count = 0;
  std::size_t end;               // after the last group's colon
  std::size_t lastStart = npos;  // the last group
  std::size_t lastDigits = 0;
};

Groups hexGroups(Pass& pass, std::size_t from) {
  Groups groups;
  groups.end = from;
  for (;;) {
    std::size_t digitsEnd = pass.runEnd(groups.end, hex);
    std::size_t digits = digitsEnd - groups.end;
    if (digits < 1 || digits > 4 || digitsEnd >= pass.n || pass.in[digitsEnd] != ':') break;
    groups.lastStart = groups.end;
    groups.lastDigits = digits;
    groups.end = digitsEnd + 1;
    ++groups.count;
  }
  return groups;
}

std::size_t hexDigitsAt(Pass& pass, std::size_t from, std::size_t limit) {
  std::size_t count = 0;
  while (count < limit && from + count < pass.n && is(pass.byte(from + count), hex)) ++count;
  return count;
}

// The end of the first alternative matched at `start`, or npos.
std::size_t fullAddressEnd(Pass& pass, std::size_t start) {
  Groups groups = hexGroups(pass, start);
  if (groups.count < 2) return npos;
  for (std::size_t tail = hexDigitsAt(pass, groups.end, 4) + 1; tail-- > 0;) {
    if (pass.boundary(groups.end + tail)) return groups.end + tail;
  }
  // One group fewer: its digits end before a colon, which is always a boundary.
  if (groups.count >= 3) return groups.lastStart + groups.lastDigits;
  return npos;
}

// The end of the second alternative matched at the "::" at `start`, or npos.
std::size_t compressedAddressEnd(Pass& pass, std::size_t start) {
  Groups groups = hexGroups(pass, start + 2);
  std::size_t tail = hexDigitsAt(pass, groups.end, 4);
  if (tail > 0) return groups.end + tail;
  if (groups.count >= 1) return groups.lastStart + groups.lastDigits;
  return npos;
}

void ipv6(Pass& pass) {
  std::size_t scan = 0, searchFrom = 0;
  for (;;) {
    std::size_t colon = pass.find(':', scan);
    if (colon == npos) return;
    scan = colon + 1;
    std::size_t start = npos, end = npos;
    std::size_t digitsStart = colon;
    while (digitsStart > searchFrom && colon - digitsStart < 5 &&
           is(pass.byte(digitsStart - 1), hex))
      --digitsStart;
    std::size_t digits = colon - digitsStart;
    if (digits >= 1 && digits <= 4 && pass.boundary(digitsStart)) {
      end = fullAddressEnd(pass, digitsStart);
      if (end != npos) start = digitsStart;
    }
    if (start == npos && colon + 1 < pass.n && pass.in[colon + 1] == ':') {
      end = compressedAddressEnd(pass, colon);
      if (end != npos) start = colon;
    }
    if (start == npos) continue;
    pass.replace(start, end, "<redacted-ip>");
    searchFrom = scan = end;
  }
}

// Rule 6, homePath:
// (/(?:Users|home|root))(/[^\s/:\"']+)+  ->  $1/<redacted>
void homePath(Pass& pass) {
  std::size_t scan = 0;
  for (;;) {
    std::size_t slash = pass.find('/', scan);
    if (slash == npos) return;
    scan = slash + 1;
    std::string_view rest = pass.in.substr(slash + 1);
    std::size_t rootEnd = npos;
    for (std::string_view root : {"Users", "home", "root"}) {
      if (rest.substr(0, root.size()) == root) {
        rootEnd = slash + 1 + root.size();
        break;
      }
    }
    if (rootEnd == npos) continue;
    std::size_t end = npos;
    for (std::size_t at = rootEnd; at < pass.n && pass.in[at] == '/';) {
      std::size_t componentEnd = at + 1;
      while (componentEnd < pass.n) {
        Scalar s = decodeAt(pass.in, componentEnd);
        if (s.value == '/' || s.value == ':' || s.value == '"' || s.value == '\'' ||
            isSpace(s.value))
          break;
        componentEnd += s.length;
      }
      pass.spend(componentEnd - at);
      if (componentEnd == at + 1) break;
      end = at = componentEnd;
    }
    if (end == npos) continue;
    pass.replace(slash, end, pass.in.substr(slash, rootEnd - slash), "/<redacted>");
    scan = end;
  }
}

// Rules 7 and 8, vaId and pvaId: \bva_[A-Za-z0-9]{8,} -> va_<redacted>, and the same for pva_.
void accountID(Pass& pass, std::string_view prefix, std::string_view replacement) {
  std::size_t scan = 0;
  for (;;) {
    std::size_t start = pass.findText(prefix, scan);
    if (start == npos) return;
    scan = start + 1;
    if (!pass.boundary(start)) continue;
    std::size_t idStart = start + prefix.size();
    std::size_t end = pass.runEnd(idStart, alnum);
    if (end - idStart < 8) continue;
    pass.replace(start, end, replacement);
    scan = end;
  }
}

// Rule 9, opaqueBlob: \b[A-Za-z0-9+/\-_]{24,}={0,2}\b  ->  <redacted>
// Per run of blob characters: a match ends either after the whole run and its padding, where
// the first boundary is found, or else at the last boundary inside the run (between a word and
// a non-word character); it starts at the leftmost boundary that leaves room for 24.
void opaqueBlob(Pass& pass) {
  std::size_t at = 0;
  while (at < pass.n) {
    std::size_t runStart = at;
    while (runStart < pass.n && !is(pass.byte(runStart), blob)) ++runStart;
    pass.spend(runStart - at);
    if (runStart >= pass.n) return;
    std::size_t runEnd = pass.runEnd(runStart, blob);
    at = runEnd;
    if (runEnd - runStart < 24) continue;

    std::size_t padding = 0;
    while (padding < 2 && runEnd + padding < pass.n && pass.in[runEnd + padding] == '=') ++padding;
    std::size_t wholeEnd = npos;
    for (std::size_t p = padding + 1; p-- > 0;) {
      if (pass.boundary(runEnd + p)) {
        wholeEnd = runEnd + p;
        break;
      }
    }
    std::size_t lastInside = npos;
    if (wholeEnd == npos) {
      for (std::size_t p = runEnd - 1; p > runStart; --p) {
        if (is(pass.byte(p - 1), word) != is(pass.byte(p), word)) {
          lastInside = p;
          break;
        }
      }
      pass.spend(runEnd - runStart);
    }

    for (std::size_t from = runStart;;) {
      std::size_t start = npos;
      if (from == runStart ? pass.boundary(from)
                           : is(pass.byte(from - 1), word) != is(pass.byte(from), word)) {
        start = from;
      } else {
        for (std::size_t p = from + 1; p + 24 <= runEnd; ++p) {
          if (is(pass.byte(p - 1), word) != is(pass.byte(p), word)) {
            start = p;
            break;
          }
        }
        pass.spend(runEnd - from);
      }
      if (start == npos || start + 24 > runEnd) break;
      std::size_t end = wholeEnd;
      if (end == npos) {
        if (lastInside == npos || lastInside < start + 24) break;
        end = lastInside;
      }
      pass.replace(start, end, "<redacted>");
      if (end >= runEnd) {
        at = end;
        break;
      }
      from = end;
    }
  }
}

}  // namespace

std::optional<std::string> LinearRedaction::redact(std::string_view text, std::size_t workPerByte) {
  std::string current;
  if (isValidUTF8(text)) {
    current.assign(text);
  } else {
    // Read as ICU reads it, so that the replacements land where the expressions' would.
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
        .toUTF8String(current);
  }
  using Rule = void (*)(Pass&);
  static constexpr std::array<Rule, 9> rules = {
      &keyedSecret,
      &jwt,
      &email,
      &ipv4,
      &ipv6,
      &homePath,
      [](Pass& pass) { accountID(pass, "va_", "va_<redacted>"); },
      [](Pass& pass) { accountID(pass, "pva_", "pva_<redacted>"); },
      &opaqueBlob,
  };
  try {
    for (Rule rule : rules) {
      std::size_t budget = workPerByte * (current.size() + 64);
      Pass pass(current, budget);
      rule(pass);
      if (pass.changed()) current = pass.finish();
    }
  } catch (const CannotRedact&) {
    return std::nullopt;
  }
  return current;
}

}  // namespace flagrig
