// Parses the input as a URL and, when it parses, checks that every URL made from it is a text
// that parses back to itself.
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "Platform/Foundation/URL.h"

namespace {

using platform::URL;

void checkReparses(const URL& url) {
  auto again = URL::parse(url.absoluteString());
  if (url.isEmpty()) return;
  FUZZ_CHECK(again);
  FUZZ_CHECK(*again == url);
  FUZZ_CHECK(again->path() == url.path());
  FUZZ_CHECK(again->query() == url.query());
  FUZZ_CHECK(again->host() == url.host());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto url = URL::parse(text);
  if (url) {
    FUZZ_CHECK(url->absoluteString() == text);
    checkReparses(*url);
    checkReparses(url->standardized());
    checkReparses(url->appendingPathComponent(text));
    checkReparses(url->withQueryItems(url->queryItems()));
    FUZZ_CHECK(url->withQueryItems(url->queryItems()).queryItems() == url->queryItems());
    static const URL base("http://a/b/c/d;p?q");
    checkReparses(base.resolving(*url));
    checkReparses(url->resolving(*url));
  }
  // The input split in two: a base and a reference to resolve against it.
  auto half = text.size() / 2;
  auto base = URL::parse(text.substr(0, half));
  auto reference = URL::parse(text.substr(half));
  if (base && reference) checkReparses(base->resolving(*reference));
  return 0;
}
