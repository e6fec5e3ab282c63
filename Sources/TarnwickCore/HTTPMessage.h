#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick {

// Header fields in the order they were sent; names compare without regard to case.
using HTTPHeaderList = std::vector<std::pair<std::string, std::string>>;

// One HTTP/1.x request as the loopback server receives it.
struct HTTPRequestMessage {
  std::string method;
  // As sent: an origin-form path with its query ("/callback?code=..."), or an absolute URL.
  std::string target;
  std::string version;
  HTTPHeaderList headers;
  std::string body;

  // The first field of that name, if any.
  std::optional<std::string> header(std::string_view name) const;
};

// One HTTP/1.1 response of the loopback server.
struct HTTPResponseMessage {
  int status = 200;
  HTTPHeaderList headers;
  std::string body;

  std::optional<std::string> header(std::string_view name) const;

  // Status line, header fields and body, ready to write.
  std::string serialized() const;
  // The standard reason phrase of a status, or "Unknown".
  static std::string_view reasonPhrase(int status);
};

// Reads requests off the front of a connection's received bytes. It never buffers more than
// a bounded head and body: what exceeds them, and anything that is not well-formed HTTP/1.x,
// is invalid and ends the connection with 400.
class HTTPRequestParser {
 public:
  static constexpr std::size_t maxHeadLength = 64 * 1024;
  static constexpr std::size_t maxBodyLength = 1024 * 1024;

  enum class Status { incomplete, complete, invalid };
  struct Result {
    Status status = Status::incomplete;
    HTTPRequestMessage request;
    // Bytes of the buffer the complete request took.
    std::size_t consumed = 0;
  };

  static Result parse(std::string_view buffer);
};

}  // namespace tarnwick
