#include "TarnwickCore/HTTPMessage.h"

#include <algorithm>
#include <charconv>

namespace tarnwick {

namespace {

bool equalIgnoringASCIICase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// RFC 9110 token characters.
bool isTokenCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isTokenCharacter);
}

// A field value may hold a horizontal tab; a request target may not.
enum class Tab { control, allowed };

bool hasControlCharacter(std::string_view text, Tab tab) {
  return std::any_of(text.begin(), text.end(), [tab](char c) {
    auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && !(tab == Tab::allowed && c == '\t')) || u == 0x7F;
  });
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool parseRequestLine(std::string_view line, HTTPRequestMessage& request) {
  std::size_t first = line.find(' ');
  if (first == std::string_view::npos) return false;
  std::size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    return false;
  }
  request.method = line.substr(0, first);
  request.target = line.substr(first + 1, second - first - 1);
  request.version = line.substr(second + 1);
  bool versionOK = request.version.size() == 8 && request.version.starts_with("HTTP/") &&
                   request.version[5] >= '0' && request.version[5] <= '9' &&
                   request.version[6] == '.' && request.version[7] >= '0' &&
                   request.version[7] <= '9';
  return isToken(request.method) && !request.target.empty() &&
         !hasControlCharacter(request.target, Tab::control) && versionOK;
}

// The body length a request announces: 0 without "Content-Length", nothing when the field is
// malformed, repeated with different values, over the limit, or joined by "Transfer-Encoding"
// (which this server does not speak).
std::optional<std::size_t> announcedLength(const HTTPRequestMessage& request) {
  std::optional<std::size_t> length;
  for (const auto& [name, value] : request.headers) {
    if (equalIgnoringASCIICase(name, "Transfer-Encoding")) return std::nullopt;
    if (!equalIgnoringASCIICase(name, "Content-Length")) continue;
    std::size_t parsed = 0;
    const char* end = value.data() + value.size();
    auto [next, error] = std::from_chars(value.data(), end, parsed);
    if (value.empty() || error != std::errc() || next != end) return std::nullopt;
    if (length && *length != parsed) return std::nullopt;
    length = parsed;
  }
  std::size_t result = length.value_or(0);
  if (result > HTTPRequestParser::maxBodyLength) return std::nullopt;
  return result;
}

std::optional<std::string> fieldIn(const HTTPHeaderList& headers, std::string_view name) {
  for (const auto& [field, value] : headers) {
    if (equalIgnoringASCIICase(field, name)) return value;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> HTTPRequestMessage::header(std::string_view name) const {
  return fieldIn(headers, name);
}

std::optional<std::string> HTTPResponseMessage::header(std::string_view name) const {
  return fieldIn(headers, name);
}

std::string_view HTTPResponseMessage::reasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 302:
      return "Found";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown";
  }
}

std::string HTTPResponseMessage::serialized() const {
  std::string out =
      "HTTP/1.1 " + std::to_string(status) + " " + std::string(reasonPhrase(status)) + "\r\n";
  for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
  out += "\r\n";
  out += body;
  return out;
}

HTTPRequestParser::Result HTTPRequestParser::parse(std::string_view buffer) {
  Result result;
  std::size_t headEnd = buffer.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) {
    result.status = buffer.size() > maxHeadLength ? Status::invalid : Status::incomplete;
    return result;
  }
  if (headEnd + 4 > maxHeadLength) {
    result.status = Status::invalid;
    return result;
  }
  std::string_view head = buffer.substr(0, headEnd);
  std::size_t lineEnd = head.find("\r\n");
  std::string_view requestLine = head.substr(0, lineEnd);
  result.status = Status::invalid;
  if (!parseRequestLine(requestLine, result.request)) return result;

  std::string_view rest =
      lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
  while (!rest.empty()) {
    std::size_t end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    std::size_t colon = line.find(':');
    // Folded lines and names with white space are refused (RFC 9112 section 5).
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) return result;
    std::string_view value = trimmed(line.substr(colon + 1));
    if (hasControlCharacter(value, Tab::allowed)) return result;
    result.request.headers.emplace_back(line.substr(0, colon), value);
  }

  auto length = announcedLength(result.request);
  if (!length) return result;
  std::size_t bodyStart = headEnd + 4;
  if (buffer.size() - bodyStart < *length) {
    result.status = Status::incomplete;
    result.request = {};
    return result;
  }
  result.request.body = buffer.substr(bodyStart, *length);
  result.consumed = bodyStart + *length;
  result.status = Status::complete;
  return result;
}

}  // namespace tarnwick
