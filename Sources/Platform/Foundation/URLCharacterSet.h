#pragma once

#include <bitset>
#include <string_view>

namespace platform {

// A set of ASCII characters that percent-encoding leaves as they are. The named sets are the
// characters RFC 3986 allows unencoded in each part of a URL; callers narrow them with
// `removing` (a query value that must not carry "&", "=" or "+") or widen them with `adding`.
class URLCharacterSet {
 public:
  URLCharacterSet() = default;
  explicit URLCharacterSet(std::string_view characters) { insert(characters); }

  // ALPHA / DIGIT / "-" / "." / "_" / "~"
  static URLCharacterSet unreserved();
  // "!" / "$" / "&" / "'" / "(" / ")" / "*" / "+" / "," / ";" / "="
  static URLCharacterSet subDelimiters();
  static URLCharacterSet urlUserAllowed();         // unreserved, sub-delims
  static URLCharacterSet urlPasswordAllowed();     // unreserved, sub-delims
  static URLCharacterSet urlHostAllowed();         // unreserved, sub-delims (a reg-name)
  static URLCharacterSet urlPathSegmentAllowed();  // pchar: unreserved, sub-delims, ":", "@"
  static URLCharacterSet urlPathAllowed();         // pchar and "/"
  static URLCharacterSet urlQueryAllowed();        // pchar, "/" and "?"
  static URLCharacterSet urlFragmentAllowed();     // pchar, "/" and "?"

  bool contains(unsigned char c) const { return c < 128 && bits_.test(c); }
  URLCharacterSet adding(std::string_view characters) const;
  URLCharacterSet removing(std::string_view characters) const;
  URLCharacterSet united(const URLCharacterSet& other) const;

  bool operator==(const URLCharacterSet&) const = default;

 private:
  void insert(std::string_view characters);
  std::bitset<128> bits_;
};

}  // namespace platform
