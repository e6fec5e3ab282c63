#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class URLCharacterSet;

// A URI reference (RFC 3986): an absolute URL such as "https://example.com/a?b#c" or a relative
// reference such as "/api/next". Immutable; every operation returns a new value.
//
// Parsing is strict. It rejects the empty text, any byte outside the characters RFC 3986 allows
// (spaces, control characters, non-ASCII bytes, `"<>\^{|}` and the backtick), a "%" that is not
// followed by two hexadecimal digits, "[" or "]" anywhere but around an IP-literal host, an
// IP literal that is not an IPv6 address or IPvFuture, a second "@" or "#", a port that is not
// a number up to 65535, and a first path segment with a ":" that does not form a scheme.
//
// The components are returned as written, still percent-encoded; `PercentEncoding::decode`
// turns one into bytes. Two URLs are equal when their texts are equal.
class URL {
 public:
  // One name and optional value of a query, percent-decoded.
  struct QueryItem {
    std::string name;
    std::optional<std::string> value;
    bool operator==(const QueryItem&) const = default;
  };

  // The empty relative reference; what a reader gives for a text that is no URL.
  URL() = default;
  // For texts fixed in the program, which are known to be valid: throws ProgrammingError when
  // `text` does not parse.
  explicit URL(std::string_view text);

  static std::optional<URL> parse(std::string_view text);
  // `reference` parsed and resolved against `base` (RFC 3986 section 5.2).
  static std::optional<URL> parse(std::string_view reference, const URL& base);

  const std::string& absoluteString() const { return text_; }
  bool isEmpty() const { return text_.empty(); }

  const std::optional<std::string>& scheme() const { return scheme_; }
  bool hasAuthority() const { return hasAuthority_; }
  const std::optional<std::string>& user() const { return user_; }
  const std::optional<std::string>& password() const { return password_; }
  // Without the brackets of an IP literal; absent without an authority.
  const std::optional<std::string>& host() const { return host_; }
  // Absent when no port is written (or only its ":").
  std::optional<int> port() const;
  const std::string& path() const { return path_; }
  const std::optional<std::string>& query() const { return query_; }
  const std::optional<std::string>& fragment() const { return fragment_; }

  // `reference` resolved against this URL as its base (RFC 3986 section 5.2, strict).
  URL resolving(const URL& reference) const;
  // The same URL with the dot segments of its path resolved. A relative path keeps the ".."
  // segments that climb above its start.
  URL standardized() const;
  // Appends `component` to the path with exactly one "/" between them. Characters of the
  // component that a path may not carry are percent-encoded; its own "/" separate segments.
  URL appendingPathComponent(std::string_view component) const;

  // The query split at "&" and each item at its first "="; empty items are skipped. An item
  // without "=" has no value. "+" is kept as it is.
  std::vector<QueryItem> queryItems() const;
  // The query replaced by `items`, each name and value percent-encoded so that "&", "=" and
  // "+" inside them survive. No items remove the query.
  URL withQueryItems(const std::vector<QueryItem>& items) const;
  // The query replaced by already encoded text, or removed. Throws ProgrammingError when the
  // text holds characters a query may not carry.
  URL withPercentEncodedQuery(std::optional<std::string_view> query) const;
  // As `withPercentEncodedQuery`, for the fragment.
  URL withPercentEncodedFragment(std::optional<std::string_view> fragment) const;

  bool operator==(const URL& other) const { return text_ == other.text_; }

 private:
  void compose();
  // A copy with one percent-encoded component replaced or removed; ProgrammingError when
  // `text` holds characters outside `allowed`.
  URL replacing(std::optional<std::string> URL::*component, std::optional<std::string_view> text,
                const URLCharacterSet& allowed, const char* message) const;

  std::optional<std::string> scheme_;
  bool hasAuthority_ = false;
  std::optional<std::string> user_;
  std::optional<std::string> password_;
  std::optional<std::string> host_;
  bool hostIsIPLiteral_ = false;
  std::optional<std::string> port_;  // the digits as written; may be empty
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
  std::string text_;
};

std::ostream& operator<<(std::ostream& out, const URL& url);

}  // namespace platform

template <>
struct std::hash<platform::URL> {
  std::size_t operator()(const platform::URL& url) const noexcept {
    return std::hash<std::string>()(url.absoluteString());
  }
};
