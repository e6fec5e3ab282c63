#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Executor.h"
#include "TarnwickCore/HTTPMessage.h"

namespace tarnwick {

class HTTPConnection;

// One request received on a connection and, once someone sets it, its response.
class HTTPServerRequest {
 public:
  HTTPServerRequest(HTTPRequestMessage request, std::weak_ptr<HTTPConnection> connection);

  const HTTPRequestMessage& request() const { return request_; }
  const std::optional<HTTPResponseMessage>& response() const { return response_; }
  // Stores the response and lets the connection write it, in the order the requests came.
  void setResponse(HTTPResponseMessage response);
  std::shared_ptr<HTTPConnection> connection() const { return connection_.lock(); }

 private:
  HTTPRequestMessage request_;
  std::optional<HTTPResponseMessage> response_;
  std::weak_ptr<HTTPConnection> connection_;
};

// Told about the requests of a connection; calls arrive on the connection's executor.
class HTTPConnectionDelegate {
 public:
  virtual ~HTTPConnectionDelegate() = default;
  virtual void connectionDidReceiveRequest(HTTPConnection& connection,
                                           const std::shared_ptr<HTTPServerRequest>& request) = 0;
  virtual void connectionDidSendResponse(HTTPConnection&, const HTTPServerRequest&) {}
};

// One accepted connection of the loopback server: parses the requests that arrive, hands each
// to the delegate and writes the responses back in order. It keeps itself alive until every
// response is written or it is invalidated, so that stopping the server never swallows an
// answer that is on its way.
class HTTPConnection : public std::enable_shared_from_this<HTTPConnection> {
 public:
  // Where the connection's bytes go: a socket, or a test's recorder.
  class Transport {
   public:
    virtual ~Transport() = default;
    // Takes what it can of `bytes` without blocking and answers how much it took. When it
    // took less, it calls the connection's `canWrite` once it has room again.
    virtual std::size_t write(std::string_view bytes) = 0;
    virtual void close() = 0;
    // Stops or resumes delivering input: a peer whose answers pile up unread is not read
    // further, so its requests cannot grow the connection without bound.
    virtual void setReading(bool) {}
  };

  // Answers owed (or not yet written) before reading stops.
  static constexpr std::size_t maxUnansweredRequests = 8;

  HTTPConnection(std::string peerAddress, std::unique_ptr<Transport> transport,
                 std::shared_ptr<platform::Executor> executor);

  // Call once after creating the connection with std::make_shared.
  void open();

  void setDelegate(std::weak_ptr<HTTPConnectionDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  // Called once the connection is invalid.
  void setOnInvalidate(std::function<void(HTTPConnection&)> onInvalidate) {
    onInvalidate_ = std::move(onInvalidate);
  }

  const std::string& peerAddress() const { return peerAddress_; }
  bool isValid() const { return valid_; }
  bool isReading() const { return reading_; }
  // Nothing owed either way: no request waiting for its answer, nothing left to write.
  bool isIdle() const { return requests_.empty() && obuffer_.empty(); }

  void didReceive(std::string_view bytes);
  void didReachEndOfInput();
  void canWrite();

  // The oldest request still without a response.
  std::shared_ptr<HTTPServerRequest> nextRequest() const;
  // 500 for HTTP/1.1 and 505 for any other version, with no body.
  void performDefaultRequestHandling(HTTPServerRequest& request);

  // Reads nothing more: ends at once when idle, otherwise once the answers still owed are
  // written.
  void finishAndClose();
  void invalidate();

 private:
  void parseRequests();
  void answerBadRequest();
  bool writePending();
  void updateReading();

  std::string peerAddress_;
  std::unique_ptr<Transport> transport_;
  std::shared_ptr<platform::Executor> executor_;
  std::weak_ptr<HTTPConnectionDelegate> delegate_;
  std::function<void(HTTPConnection&)> onInvalidate_;
  std::shared_ptr<HTTPConnection> keepAlive_;

  std::deque<std::shared_ptr<HTTPServerRequest>> requests_;
  std::string ibuffer_;
  std::string obuffer_;
  bool valid_ = true;
  bool inputEnded_ = false;
  // A malformed request was answered with 400: nothing more is read.
  bool closing_ = false;
  bool firstResponseDone_ = false;
  bool reading_ = true;
  bool parsing_ = false;
};

}  // namespace tarnwick
