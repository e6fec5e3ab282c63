// Runs each error-telemetry template rule with its linear scan and with its regular expression
// alone; the two must agree byte for byte. Half the inputs are raw bytes (repaired to UTF-8,
// as every text the rules see has been); the other half are built from fragments that reach
// the rules' corners: addresses, dates, identifiers, paths, digit and hexadecimal runs, the
// white space ICU's \s takes and the one it does not, and long runs.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "FragmentText.h"
#include "FuzzCheck.h"
#include "Platform/Foundation/Regex.h"
#include "Platform/Foundation/UnicodeText.h"
#include "VoskaryAccount/Telemetry/ErrorMessageRules.h"

namespace {

constexpr std::size_t maxText = 4096;

constexpr std::string_view fragments[] = {
    "a",          "f",          "g",
    "z",          "A",          "F",
    "G",          "T",          "Z",
    "v",          "_",          "0",
    "1",          "7",          "9",
    "12",         "2026",       "-",
    "+",          ".",          "@",
    ":",          "/",          "\\",
    "\\\\",       "C:",         "c:/",
    " ",          "\t",         "\n",
    "\r",         "\x0b",       "\f",
    "\x1c",       "\x1f",       ",",
    ";",          "\"",         "'",
    "<",          ">",          "%",
    "va_",        "va_x",       "deadbeef",
    "0123456789", "x@y.io",     "a.b@c.d.ef",
    "@x.",        "2026-01-31", "T09:15:02",
    " 09:15:02",  ".250",       "Z",
    "+02:00",     "-0130",      "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0",
    "4b5a-",      "/home/ann",  "<email>",
    "<n>",        "\u00e9",     "\u0661\u0662\u0663\u0664",
    "\u0301",     "\u00a0",     "\u0085",
    "\u2028",     "\u3000",     "\u4e2d",
    "\uff10",     "\U0001D7D8"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > maxText + 1) return 0;
  const std::string text =
      platform::UnicodeText::repairedUTF8(fragmentText(data, size, fragments, maxText));
  for (std::size_t rule = 0; rule < voskary::ErrorMessageRules::count; ++rule) {
    std::string expected;
    try {
      expected = voskary::ErrorMessageRules::replaceWithRegex(rule, text);
    } catch (const platform::RegexError&) {
      // The expression gave up on this text; there is nothing to compare with.
      continue;
    }
    const std::string scanned = voskary::ErrorMessageRules::replace(rule, text);
    if (scanned != expected) {
      std::fprintf(stderr, "rule %zu\ninput:    [%s]\nscanned:  [%s]\nexpected: [%s]\n", rule,
                   text.c_str(), scanned.c_str(), expected.c_str());
    }
    FUZZ_CHECK(scanned == expected);
  }
  return 0;
}
