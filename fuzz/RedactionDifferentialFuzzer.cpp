// Redacts the input with the linear scanners and with the rules' regular expressions replaced
// one after the other; the two must agree byte for byte. Half the inputs are raw bytes
// (ill-formed UTF-8 included); the other half are built from fragments that reach every rule's
// corners: keywords in odd cases and foldings, separators, digits of other scripts, characters
// that word boundaries look through, and long runs.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "Flagrig/Diagnostics/DiagnosticRedaction.h"
#include "Flagrig/Diagnostics/LinearRedaction.h"
#include "FragmentText.h"
#include "FuzzCheck.h"
#include "Platform/Foundation/Regex.h"

namespace {

constexpr std::size_t maxText = 4096;

constexpr std::string_view fragments[] = {
    // ASCII characters every rule looks at.
    "a", "b", "e", "f", "k", "o", "s", "t", "x", "z", "A", "F", "G", "K", "Z", "0", "1", "2", "5",
    "9", ".", ":", "=", "@", "/", "-", "_", "+", "%", "'", "\"", "<", ">", " ", "\t", "\n", "\r",
    "\x0b", "\x1c", "#", "?", ",", ";", "~", "*",
    // Keywords, prefixes, roots and markers.
    "token", "TOKEN", "Token", "password", "Bearer", "authorization", "api_key", "apikey",
    "set-cookie", "cookie", "code", "vas", "secret", "refresh_token", "access_token", "va_", "pva_",
    "/home", "/Users", "/root", "/home/", "::", "192", "168", "255", "1234", "12345", "abcd",
    "ffff", "eyJhbGciOi", "aaaaaaaa", "Ab3_-xY9", "QUJD+/==", "<redacted>", "<redacted-ip>",
    "x****@", ".com", ".co.uk", "example", "alice", "09:15:02", "10.0.0.1", "a@b.cc",
    // White space beyond ASCII, and what is not white space.
    "\u00a0", "\u0085", "\u2028", "\u3000", "\u2009", "\u180e", "\u200b",
    // Characters \b looks through (marks, format characters) and word joiners.
    "\u0301", "\u0345", "\u00ad", "\ufeff", "\U000E0001", "\u200c", "\u200d", "\u0903",
    // Case foldings onto the keywords' letters.
    "\u017f", "\u212a", "\u00df", "\u1e9e", "\u0130", "\u0131", "\ufb06", "\u1e97", "\u00e4",
    "\u00e9",
    // Digits and word characters of other scripts, and symbols that are neither.
    "\u0661", "\u0662", "\u0669", "\uff10", "\U0001D7D8", "\U0001F600", "\u203f", "\u4e2d",
    "\u00b2",
    // Ill-formed UTF-8: a stray byte, a cut sequence, a surrogate, an overlong form.
    "\xff", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > maxText + 1) return 0;
  std::string text = fragmentText(data, size, fragments, maxText);
  std::string expected;
  try {
    expected = flagrig::DiagnosticRedaction::redactWithRegularExpressions(text);
  } catch (const platform::RegexError&) {
    // The expressions gave up on this text; there is nothing to compare with.
    return 0;
  }
  auto linear = flagrig::LinearRedaction::redact(text);
  FUZZ_CHECK(linear.has_value());
  if (*linear != expected) {
    std::fprintf(stderr, "input:    [%s]\nlinear:   [%s]\nexpected: [%s]\n", text.c_str(),
                 linear->c_str(), expected.c_str());
  }
  FUZZ_CHECK(*linear == expected);
  FUZZ_CHECK(flagrig::DiagnosticRedaction::redact(text) == expected);
  return 0;
}
