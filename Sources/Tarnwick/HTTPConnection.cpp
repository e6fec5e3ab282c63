#include "Tarnwick/HTTPConnection.h"

#include <utility>

namespace tarnwick {

namespace {

// Either side asked to close after this exchange (HTTP/1.0 closes unless asked to keep alive).
bool endsConnection(const HTTPServerRequest& request) {
  if (request.response()->header("Connection") == "close") return true;
  auto asked = request.request().header("Connection");
  if (asked == "close") return true;
  return request.request().version == "HTTP/1.0" && asked != "keep-alive";
}

}  // namespace

HTTPServerRequest::HTTPServerRequest(HTTPRequestMessage request,
                                     std::weak_ptr<HTTPConnection> connection)
    : request_(std::move(request)), connection_(std::move(connection)) {}

void HTTPServerRequest::setResponse(HTTPResponseMessage response) {
  response_ = std::move(response);
  if (auto connection = connection_.lock()) connection->canWrite();
}

HTTPConnection::HTTPConnection(std::string peerAddress, std::unique_ptr<Transport> transport,
                               std::shared_ptr<platform::Executor> executor)
    : peerAddress_(std::move(peerAddress)),
      transport_(std::move(transport)),
      executor_(std::move(executor)) {}

void HTTPConnection::open() {
  keepAlive_ = shared_from_this();
}

void HTTPConnection::didReceive(std::string_view bytes) {
  if (!valid_ || closing_) return;
  ibuffer_.append(bytes);
  parseRequests();
  updateReading();
}

void HTTPConnection::updateReading() {
  if (!valid_) return;
  const bool backlog = requests_.size() >= maxUnansweredRequests || !obuffer_.empty();
  if (backlog == !reading_) return;
  reading_ = !backlog;
  transport_->setReading(reading_);
}

void HTTPConnection::didReachEndOfInput() {
  if (!valid_) return;
  inputEnded_ = true;
  parseRequests();
  if (requests_.empty()) invalidate();
}

void HTTPConnection::parseRequests() {
  // Answers given inside the loop write and come back here: the outer loop goes on instead.
  if (parsing_) return;
  parsing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{parsing_};
  while (valid_ && !closing_ && requests_.size() < maxUnansweredRequests) {
    auto result = HTTPRequestParser::parse(ibuffer_);
    if (result.status == HTTPRequestParser::Status::incomplete) {
      // A peer that stops in the middle of a request will send nothing more.
      if (inputEnded_ && !ibuffer_.empty()) answerBadRequest();
      return;
    }
    if (result.status == HTTPRequestParser::Status::invalid) {
      answerBadRequest();
      return;
    }
    ibuffer_.erase(0, result.consumed);
    auto request = std::make_shared<HTTPServerRequest>(std::move(result.request), weak_from_this());
    requests_.push_back(request);
    if (delegate_.lock()) {
      std::weak_ptr<HTTPConnection> weak = weak_from_this();
      executor_->post([weak, request] {
        auto self = weak.lock();
        if (!self || !self->valid_) return;
        if (auto delegate = self->delegate_.lock()) {
          delegate->connectionDidReceiveRequest(*self, request);
        } else {
          self->performDefaultRequestHandling(*request);
        }
      });
    } else {
      performDefaultRequestHandling(*request);
    }
  }
}

void HTTPConnection::answerBadRequest() {
  closing_ = true;
  ibuffer_.clear();
  auto request = std::make_shared<HTTPServerRequest>(HTTPRequestMessage{}, weak_from_this());
  requests_.push_back(request);
  request->setResponse({400, {{"Content-Length", "0"}, {"Connection", "close"}}, {}});
}

std::shared_ptr<HTTPServerRequest> HTTPConnection::nextRequest() const {
  for (const auto& request : requests_) {
    if (!request->response()) return request;
  }
  return nullptr;
}

void HTTPConnection::performDefaultRequestHandling(HTTPServerRequest& request) {
  int status = request.request().version == "HTTP/1.1" ? 500 : 505;
  request.setResponse({status, {{"Content-Length", "0"}}, {}});
}

// Writes what it can; false once the transport would block.
bool HTTPConnection::writePending() {
  while (!obuffer_.empty()) {
    std::size_t written = transport_->write(obuffer_);
    obuffer_.erase(0, written);
    if (written == 0) return false;
  }
  return true;
}

void HTTPConnection::canWrite() {
  // Holds the connection while it writes: invalidation may drop its last owner.
  auto self = shared_from_this();
  while (valid_) {
    if (!writePending()) return;
    if (requests_.empty()) break;
    auto request = requests_.front();
    if (!request->response()) return;
    if (!firstResponseDone_) {
      firstResponseDone_ = true;
      obuffer_ = request->response()->serialized();
      continue;
    }
    // The response is written whole.
    requests_.pop_front();
    firstResponseDone_ = false;
    if (endsConnection(*request)) closing_ = true;
    if (auto delegate = delegate_.lock()) delegate->connectionDidSendResponse(*this, *request);
  }
  if (valid_ && requests_.empty() && (inputEnded_ || closing_)) {
    invalidate();
    return;
  }
  // Room again: what is already buffered is parsed, then the peer is read again.
  if (valid_ && !closing_ && requests_.size() < maxUnansweredRequests) parseRequests();
  updateReading();
}

void HTTPConnection::finishAndClose() {
  closing_ = true;
  ibuffer_.clear();
  if (requests_.empty()) invalidate();
}

void HTTPConnection::invalidate() {
  if (!valid_) return;
  valid_ = false;
  auto self = std::exchange(keepAlive_, nullptr);
  transport_->close();
  requests_.clear();
  ibuffer_.clear();
  obuffer_.clear();
  if (auto onInvalidate = std::exchange(onInvalidate_, nullptr)) onInvalidate(*this);
}

}  // namespace tarnwick
