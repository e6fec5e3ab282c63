#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Text operations on UTF-8 with the Unicode rules the product's texts follow: root-locale case
// mapping, the platform's two white-space sets, user-perceived characters (grapheme clusters)
// and scalars. Every operation first repairs invalid UTF-8 (see `repairedUTF8`), so its result
// is always valid UTF-8.
struct UnicodeText {
  enum class WhiteSpace {
    // Unicode Zs (space separators) and the tab.
    spaces,
    // All of Z (Zs, Zl, Zp), U+0009 to U+000D and U+0085.
    spacesAndNewlines,
  };

  // Full case mapping of the root locale: "İ" becomes "i̇", "ß" stays, "Σ" at a word end
  // becomes "ς".
  static std::string lowercased(std::string_view text);
  // Full case mapping of the root locale: "ß" becomes "SS".
  static std::string uppercased(std::string_view text);

  static bool isWhiteSpace(char32_t scalar, WhiteSpace set);
  // Without the white space of `set` at both ends.
  static std::string trimmed(std::string_view text, WhiteSpace set);
  // The pieces between runs of white space of `set`; empty pieces are dropped.
  static std::vector<std::string> split(std::string_view text, WhiteSpace set);

  // The number of user-perceived characters (extended grapheme clusters).
  static std::size_t characterCount(std::string_view text);
  // At most `count` user-perceived characters from the start, never splitting one.
  static std::string prefixCharacters(std::string_view text, std::size_t count);
  // At most `count` Unicode scalars from the start.
  static std::string prefixScalars(std::string_view text, std::size_t count);

  static bool isValidUTF8(std::string_view bytes);
  // Each maximal ill-formed subsequence replaced by U+FFFD, as Unicode recommends; valid text
  // comes back unchanged.
  static std::string repairedUTF8(std::string_view bytes);
  // At most `maxBytes` bytes, cut on a code-point boundary, so that no partial character
  // (and no U+FFFD in its place) is left at the end.
  static std::string truncatedUTF8(std::string_view bytes, std::size_t maxBytes);
};

}  // namespace platform
