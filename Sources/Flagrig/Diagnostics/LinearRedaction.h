#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace flagrig {

// The nine redaction rules as hand-written scanners. Each rule gives exactly what replacing
// every match of its ICU regular expression gives (ICU's \b, \d, \s and case-insensitive
// matching included), but in time linear in the text: a scan jumps between the characters a
// match needs (a ":" or "=", a ".", an "@", a "/") and decides each candidate with bounded work,
// where the regular expression backtracks over the whole text from every start.
//
// Texts that are not valid UTF-8 are read as ICU reads them, each ill-formed sequence as U+FFFD.
struct LinearRedaction {
  // Work units a rule's scan may spend per byte of its input. The scans need far fewer on any
  // text; the limit only guards against a fault of their own turning into a hang.
  static constexpr std::size_t defaultWorkPerByte = 64;

  // `text` with the nine rules applied in order, or nothing when a rule's scan would spend
  // more than `workPerByte` units per byte of its input (or the text cannot be read at all).
  static std::optional<std::string> redact(std::string_view text,
                                           std::size_t workPerByte = defaultWorkPerByte);
};

}  // namespace flagrig
