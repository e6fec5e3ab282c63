#include "Platform/Foundation/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <memory>

#include "Platform/Foundation/FatalError.h"

namespace platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct Decoded {
  char32_t scalar;
  std::size_t length;  // bytes taken; for an ill-formed sequence, its maximal subpart
  bool valid;
};

bool inRange(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}

// The sequence at text[i] by the well-formed byte sequences of Unicode (table 3-7).
Decoded decodeAt(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  unsigned char b0 = byte(0);
  if (b0 < 0x80) return {b0, 1, true};
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  char32_t scalar = 0;
  if (inRange(b0, 0xC2, 0xDF)) {
    length = 2, scalar = b0 & 0x1F;
  } else if (inRange(b0, 0xE0, 0xEF)) {
    length = 3, scalar = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (inRange(b0, 0xF0, 0xF4)) {
    length = 4, scalar = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return {0xFFFD, 1, false};
  }
  for (std::size_t k = 1; k < length; ++k) {
    bool fits = i + k < text.size() &&
                (k == 1 ? inRange(byte(k), low, high) : inRange(byte(k), 0x80, 0xBF));
    if (!fits) return {0xFFFD, k, false};
    scalar = (scalar << 6) | (byte(k) & 0x3F);
  }
  return {scalar, length, true};
}

// Calls `visit(scalar, start, end)` for each scalar of valid UTF-8 until it returns false.
template <class Visit>
void forEachScalar(std::string_view text, Visit visit) {
  for (std::size_t i = 0; i < text.size();) {
    auto decoded = decodeAt(text, i);
    if (!visit(decoded.scalar, i, i + decoded.length)) return;
    i += decoded.length;
  }
}

bool isASCII(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString utf16(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

// A character break iterator of the root locale per thread: building one loads rules, and a
// break iterator is not to be shared between threads.
icu::BreakIterator& characterBreaks() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !made) fatalError("ICU character break data is missing");
    return made;
  }();
  return *iterator;
}

// Byte offset after `count` characters of valid UTF-8 (or its end), and how many were passed.
std::pair<std::size_t, std::size_t> characterBoundary(const std::string& text, std::size_t count) {
  UErrorCode status = U_ZERO_ERROR;
  UText* utext =
      utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status);
  auto& breaks = characterBreaks();
  breaks.setText(utext, status);
  std::size_t passed = 0;
  std::size_t end = 0;
  breaks.first();
  while (passed < count) {
    std::int32_t next = breaks.next();
    if (next == icu::BreakIterator::DONE) break;
    end = static_cast<std::size_t>(next);
    ++passed;
  }
  // Let go of the caller's bytes before they go away.
  static const icu::UnicodeString nothing;
  breaks.setText(nothing);
  utext_close(utext);
  if (U_FAILURE(status)) fatalError("ICU could not break a text into characters");
  return {end, passed};
}

enum class Case { lower, upper };

// Full case mapping of the root locale; ASCII text takes a short way.
std::string mappedCase(std::string_view text, Case target) {
  if (isASCII(text)) {
    std::string out(text);
    char from = target == Case::lower ? 'A' : 'a';
    char to = target == Case::lower ? 'a' : 'A';
    for (char& c : out) {
      if (c >= from && c <= from + 25) c = static_cast<char>(c - from + to);
    }
    return out;
  }
  auto text16 = utf16(UnicodeText::repairedUTF8(text));
  return utf8(target == Case::lower ? text16.toLower(icu::Locale::getRoot())
                                    : text16.toUpper(icu::Locale::getRoot()));
}

}  // namespace

std::string UnicodeText::lowercased(std::string_view text) {
  return mappedCase(text, Case::lower);
}

std::string UnicodeText::uppercased(std::string_view text) {
  return mappedCase(text, Case::upper);
}

bool UnicodeText::isWhiteSpace(char32_t scalar, WhiteSpace set) {
  if (scalar == 0x09) return true;
  auto type = u_charType(static_cast<UChar32>(scalar));
  if (type == U_SPACE_SEPARATOR) return true;
  if (set == WhiteSpace::spaces) return false;
  return type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR ||
         (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85;
}

std::string UnicodeText::trimmed(std::string_view text, WhiteSpace set) {
  std::string valid = repairedUTF8(text);
  std::size_t first = std::string::npos;
  std::size_t end = 0;
  forEachScalar(valid, [&](char32_t scalar, std::size_t start, std::size_t stop) {
    if (!isWhiteSpace(scalar, set)) {
      if (first == std::string::npos) first = start;
      end = stop;
    }
    return true;
  });
  if (first == std::string::npos) return {};
  return valid.substr(first, end - first);
}

std::vector<std::string> UnicodeText::split(std::string_view text, WhiteSpace set) {
  std::string valid = repairedUTF8(text);
  std::vector<std::string> pieces;
  std::size_t pieceStart = std::string::npos;
  forEachScalar(valid, [&](char32_t scalar, std::size_t start, std::size_t) {
    if (isWhiteSpace(scalar, set)) {
      if (pieceStart != std::string::npos)
        pieces.push_back(valid.substr(pieceStart, start - pieceStart));
      pieceStart = std::string::npos;
    } else if (pieceStart == std::string::npos) {
      pieceStart = start;
    }
    return true;
  });
  if (pieceStart != std::string::npos) pieces.push_back(valid.substr(pieceStart));
  return pieces;
}

std::size_t UnicodeText::characterCount(std::string_view text) {
  return characterBoundary(repairedUTF8(text), std::string::npos).second;
}

std::string UnicodeText::prefixCharacters(std::string_view text, std::size_t count) {
  std::string valid = repairedUTF8(text);
  valid.resize(characterBoundary(valid, count).first);
  return valid;
}

std::string UnicodeText::prefixScalars(std::string_view text, std::size_t count) {
  std::string valid = repairedUTF8(text);
  std::size_t end = 0;
  std::size_t taken = 0;
  forEachScalar(valid, [&](char32_t, std::size_t, std::size_t stop) {
    if (taken == count) return false;
    ++taken;
    end = stop;
    return true;
  });
  valid.resize(end);
  return valid;
}

bool UnicodeText::isValidUTF8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    auto decoded = decodeAt(bytes, i);
    if (!decoded.valid) return false;
    i += decoded.length;
  }
  return true;
}

std::string UnicodeText::repairedUTF8(std::string_view bytes) {
  if (isValidUTF8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 8);
  for (std::size_t i = 0; i < bytes.size();) {
    auto decoded = decodeAt(bytes, i);
    if (decoded.valid) {
      out.append(bytes.substr(i, decoded.length));
    } else {
      out.append(kReplacement);
    }
    i += decoded.length;
  }
  return out;
}

std::string UnicodeText::truncatedUTF8(std::string_view bytes, std::size_t maxBytes) {
  std::string valid = repairedUTF8(bytes);
  if (valid.size() <= maxBytes) return valid;
  std::size_t cut = maxBytes;
  // In valid UTF-8 a code point starts at every byte that is not a continuation byte.
  while (cut > 0 && (static_cast<unsigned char>(valid[cut]) & 0xC0) == 0x80) --cut;
  valid.resize(cut);
  return valid;
}

}  // namespace platform
