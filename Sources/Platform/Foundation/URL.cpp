#include "Platform/Foundation/URL.h"

#include <arpa/inet.h>

#include <ostream>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Hex.h"
#include "Platform/Foundation/PercentEncoding.h"

namespace platform {

namespace {

bool isAlpha(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Every character may appear somewhere in a URI reference; the parts check the rest.
const URLCharacterSet& anywhereAllowed() {
  static const URLCharacterSet set = URLCharacterSet::urlQueryAllowed().adding("#[]%");
  return set;
}

// Whether every character of `text` is in `allowed` or part of a "%HH" escape (the escapes
// themselves were checked over the whole text).
bool consistsOf(std::string_view text, const URLCharacterSet& allowed) {
  for (char c : text) {
    if (c != '%' && !allowed.contains(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool isValidScheme(std::string_view text) {
  if (text.empty() || !isAlpha(text[0])) return false;
  for (char c : text) {
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

// IP-literal content: an IPv6 address or IPvFuture ("v" 1*HEXDIG "." 1*(unreserved /
// sub-delims / ":")).
bool isValidIPLiteral(std::string_view text) {
  if (!text.empty() && (text[0] == 'v' || text[0] == 'V')) {
    auto dot = text.find('.');
    if (dot == std::string_view::npos || dot < 2 || dot + 1 == text.size()) return false;
    for (char c : text.substr(1, dot - 1)) {
      if (Hex::digitValue(c) < 0) return false;
    }
    static const URLCharacterSet tail = URLCharacterSet::urlUserAllowed().adding(":");
    for (char c : text.substr(dot + 1)) {
      if (!tail.contains(static_cast<unsigned char>(c))) return false;
    }
    return true;
  }
  if (text.size() >= INET6_ADDRSTRLEN) return false;
  std::string address(text);
  unsigned char buffer[sizeof(struct in6_addr)];
  return inet_pton(AF_INET6, address.c_str(), buffer) == 1;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../") || input == "/..") {
      input = input.size() == 3 ? std::string_view("/") : input.substr(3);
      auto slash = output.rfind('/');
      output.erase(slash == std::string::npos ? 0 : slash);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      auto next = input.find('/', input[0] == '/' ? 1 : 0);
      auto segment = input.substr(0, next);
      output += segment;
      input.remove_prefix(segment.size());
    }
  }
  return output;
}

// Dot segments of a relative path; ".." segments that climb above its start are kept.
std::string removeRelativeDotSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  bool endsWithDirectory = false;
  std::size_t start = 0;
  while (true) {
    auto end = path.find('/', start);
    auto segment = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (segment == "..") {
      if (!segments.empty() && segments.back() != "..") {
        segments.pop_back();
      } else {
        segments.push_back(segment);
      }
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    if (end == std::string_view::npos) {
      endsWithDirectory = segment == "." || segment == "..";
      break;
    }
    start = end + 1;
  }
  std::string out;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) out += '/';
    out += segments[i];
  }
  if (endsWithDirectory && !segments.empty()) out += '/';
  return out;
}

void require(bool condition, const char* message) {
  if (!condition) throw ProgrammingError(message);
}

}  // namespace

URL::URL(std::string_view text) {
  auto parsed = parse(text);
  if (!parsed) throw ProgrammingError("Not a valid URL: " + std::string(text));
  *this = std::move(*parsed);
}

std::optional<URL> URL::parse(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (!consistsOf(text, anywhereAllowed()) || !PercentEncoding::hasValidEscapes(text)) {
    return std::nullopt;
  }
  URL url;
  std::string_view rest = text;

  if (auto hash = rest.find('#'); hash != std::string_view::npos) {
    auto fragment = rest.substr(hash + 1);
    if (!consistsOf(fragment, URLCharacterSet::urlFragmentAllowed())) return std::nullopt;
    url.fragment_ = std::string(fragment);
    rest = rest.substr(0, hash);
  }
  if (auto question = rest.find('?'); question != std::string_view::npos) {
    auto query = rest.substr(question + 1);
    if (!consistsOf(query, URLCharacterSet::urlQueryAllowed())) return std::nullopt;
    url.query_ = std::string(query);
    rest = rest.substr(0, question);
  }
  if (auto colon = rest.find(':'); colon != std::string_view::npos) {
    auto slash = rest.find('/');
    if (slash == std::string_view::npos || colon < slash) {
      // A ":" in the first segment is a scheme or makes the text invalid.
      auto scheme = rest.substr(0, colon);
      if (!isValidScheme(scheme)) return std::nullopt;
      url.scheme_ = std::string(scheme);
      rest = rest.substr(colon + 1);
    }
  }
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    auto end = rest.find('/');
    auto authority = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    url.hasAuthority_ = true;

    if (auto at = authority.find('@'); at != std::string_view::npos) {
      auto userInfo = authority.substr(0, at);
      if (!consistsOf(userInfo, URLCharacterSet::urlUserAllowed().adding(":"))) {
        return std::nullopt;
      }
      auto colon = userInfo.find(':');
      url.user_ = std::string(userInfo.substr(0, colon));
      if (colon != std::string_view::npos) url.password_ = std::string(userInfo.substr(colon + 1));
      authority = authority.substr(at + 1);
    }
    std::string_view portText;
    bool hasPort = false;
    if (authority.starts_with('[')) {
      auto close = authority.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      auto literal = authority.substr(1, close - 1);
      if (!isValidIPLiteral(literal)) return std::nullopt;
      url.host_ = std::string(literal);
      url.hostIsIPLiteral_ = true;
      auto after = authority.substr(close + 1);
      if (!after.empty()) {
        if (after[0] != ':') return std::nullopt;
        hasPort = true;
        portText = after.substr(1);
      }
    } else {
      auto colon = authority.find(':');
      auto host = authority.substr(0, colon);
      if (!consistsOf(host, URLCharacterSet::urlHostAllowed())) return std::nullopt;
      url.host_ = std::string(host);
      if (colon != std::string_view::npos) {
        hasPort = true;
        portText = authority.substr(colon + 1);
      }
    }
    if (hasPort) {
      long value = 0;
      for (char c : portText) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 65535) return std::nullopt;
      }
      url.port_ = std::string(portText);
    }
  }
  if (!consistsOf(rest, URLCharacterSet::urlPathAllowed())) return std::nullopt;
  url.path_ = std::string(rest);
  url.compose();
  return url;
}

std::optional<URL> URL::parse(std::string_view reference, const URL& base) {
  auto parsed = parse(reference);
  if (!parsed) return std::nullopt;
  return base.resolving(*parsed);
}

std::optional<int> URL::port() const {
  if (!port_ || port_->empty()) return std::nullopt;
  return std::stoi(*port_);
}

void URL::compose() {
  // Keep the text reparsable: a path without authority must not start with "//", and a
  // relative path must not start with a segment that reads as a scheme.
  if (!hasAuthority_ && path_.starts_with("//")) path_.insert(0, "/.");
  if (!hasAuthority_ && !scheme_) {
    auto colon = path_.find(':');
    if (colon != std::string::npos && colon < path_.find('/')) path_.insert(0, "./");
  }
  text_.clear();
  if (scheme_) text_ += *scheme_ + ":";
  if (hasAuthority_) {
    text_ += "//";
    if (user_) {
      text_ += *user_;
      if (password_) text_ += ":" + *password_;
      text_ += "@";
    }
    if (host_) text_ += hostIsIPLiteral_ ? "[" + *host_ + "]" : *host_;
    if (port_) text_ += ":" + *port_;
  }
  text_ += path_;
  if (query_) text_ += "?" + *query_;
  if (fragment_) text_ += "#" + *fragment_;
}

URL URL::resolving(const URL& reference) const {
  URL target;
  auto copyAuthority = [&target](const URL& from) {
    target.hasAuthority_ = from.hasAuthority_;
    target.user_ = from.user_;
    target.password_ = from.password_;
    target.host_ = from.host_;
    target.hostIsIPLiteral_ = from.hostIsIPLiteral_;
    target.port_ = from.port_;
  };
  if (reference.scheme_) {
    target.scheme_ = reference.scheme_;
    copyAuthority(reference);
    target.path_ = removeDotSegments(reference.path_);
    target.query_ = reference.query_;
  } else {
    if (reference.hasAuthority_) {
      copyAuthority(reference);
      target.path_ = removeDotSegments(reference.path_);
      target.query_ = reference.query_;
    } else {
      if (reference.path_.empty()) {
        target.path_ = path_;
        target.query_ = reference.query_ ? reference.query_ : query_;
      } else {
        if (reference.path_.starts_with('/')) {
          target.path_ = removeDotSegments(reference.path_);
        } else {
          std::string merged;
          if (hasAuthority_ && path_.empty()) {
            merged = "/" + reference.path_;
          } else {
            auto slash = path_.rfind('/');
            merged = (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) +
                     reference.path_;
          }
          target.path_ = removeDotSegments(merged);
        }
        target.query_ = reference.query_;
      }
      copyAuthority(*this);
    }
    target.scheme_ = scheme_;
  }
  target.fragment_ = reference.fragment_;
  target.compose();
  return target;
}

URL URL::standardized() const {
  URL result = *this;
  if (path_.starts_with('/') || scheme_ || hasAuthority_) {
    result.path_ = removeDotSegments(path_);
  } else {
    result.path_ = removeRelativeDotSegments(path_);
  }
  result.compose();
  return result;
}

URL URL::appendingPathComponent(std::string_view component) const {
  while (component.starts_with('/')) component.remove_prefix(1);
  URL result = *this;
  if (!result.path_.ends_with('/') && (!result.path_.empty() || hasAuthority_)) {
    result.path_ += '/';
  }
  result.path_ += PercentEncoding::encode(component, URLCharacterSet::urlPathAllowed());
  result.compose();
  return result;
}

std::vector<URL::QueryItem> URL::queryItems() const {
  std::vector<QueryItem> items;
  if (!query_) return items;
  std::string_view rest = *query_;
  while (true) {
    auto amp = rest.find('&');
    auto piece = rest.substr(0, amp);
    if (!piece.empty()) {
      QueryItem item;
      auto equals = piece.find('=');
      // The parser checked every escape, so decoding cannot fail.
      item.name = PercentEncoding::decode(piece.substr(0, equals)).value_or(std::string());
      if (equals != std::string_view::npos) {
        item.value = PercentEncoding::decode(piece.substr(equals + 1)).value_or(std::string());
      }
      items.push_back(std::move(item));
    }
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return items;
}

URL URL::withQueryItems(const std::vector<QueryItem>& items) const {
  if (items.empty()) return withPercentEncodedQuery(std::nullopt);
  static const URLCharacterSet allowed = URLCharacterSet::urlQueryAllowed().removing("&=+");
  std::string query;
  for (const auto& item : items) {
    if (!query.empty()) query += '&';
    query += PercentEncoding::encode(item.name, allowed);
    if (item.value) query += "=" + PercentEncoding::encode(*item.value, allowed);
  }
  return withPercentEncodedQuery(query);
}

URL URL::withPercentEncodedQuery(std::optional<std::string_view> query) const {
  return replacing(&URL::query_, query, URLCharacterSet::urlQueryAllowed(),
                   "The query holds characters a URL query may not carry.");
}

URL URL::withPercentEncodedFragment(std::optional<std::string_view> fragment) const {
  return replacing(&URL::fragment_, fragment, URLCharacterSet::urlFragmentAllowed(),
                   "The fragment holds characters a URL fragment may not carry.");
}

URL URL::replacing(std::optional<std::string> URL::*component, std::optional<std::string_view> text,
                   const URLCharacterSet& allowed, const char* message) const {
  URL result = *this;
  if (text) {
    require(consistsOf(*text, allowed) && PercentEncoding::hasValidEscapes(*text), message);
    result.*component = std::string(*text);
  } else {
    (result.*component).reset();
  }
  result.compose();
  return result;
}

std::ostream& operator<<(std::ostream& out, const URL& url) {
  return out << url.absoluteString();
}

}  // namespace platform
