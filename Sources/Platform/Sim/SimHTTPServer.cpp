#include "Platform/Sim/SimHTTPServer.h"

#include <algorithm>

namespace platform::sim {

namespace {

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

}  // namespace

SimHTTPAnswer SimHTTPAnswer::status(int code, std::string_view body, HTTPHeaderFields fields) {
  SimHTTPAnswer answer;
  answer.statusCode = code;
  answer.body = bytesOf(body);
  answer.headerFields = std::move(fields);
  return answer;
}

SimHTTPAnswer SimHTTPAnswer::json(int code, std::string_view body) {
  return status(code, body, {{"Content-Type", "application/json"}});
}

SimHTTPAnswer SimHTTPAnswer::failing(URLError::Code code) {
  SimHTTPAnswer answer;
  answer.kind = Kind::failure;
  answer.failure = code;
  return answer;
}

SimHTTPAnswer SimHTTPAnswer::notHTTP(std::string_view body) {
  SimHTTPAnswer answer;
  answer.kind = Kind::notHTTP;
  answer.body = bytesOf(body);
  return answer;
}

SimHTTPAnswer SimHTTPAnswer::after(double seconds) const {
  auto answer = *this;
  answer.delay = seconds;
  return answer;
}

SimHTTPAnswer SimHTTPAnswer::holding() const {
  auto answer = *this;
  answer.held = true;
  return answer;
}

struct SimHTTPServer::Pending final : HTTPTransport::Transfer {
  std::weak_ptr<SimHTTPServer> server;
  HTTPTransport::Completion completion;
  URL url;
  SimHTTPAnswer answer;
  bool done = false;
  std::shared_ptr<WorkItem> timeout;
  std::shared_ptr<WorkItem> delivery;
  std::weak_ptr<Pending> self;

  void cancel() override {
    auto owner = server.lock();
    auto me = self.lock();
    if (owner && me) owner->finish(me, URLError(URLError::cancelled, url));
  }
};

void SimHTTPServer::respond(std::string method, std::string url, SimHTTPAnswer answer) {
  respond(std::move(method), std::move(url), [answer](const HTTPRequest&) { return answer; });
}

void SimHTTPServer::respond(std::string method, std::string url, Responder responder) {
  std::lock_guard lock(mutex_);
  script_[{std::move(method), std::move(url)}].push_back(std::move(responder));
}

void SimHTTPServer::respondToOthers(Responder responder) {
  std::lock_guard lock(mutex_);
  others_ = std::move(responder);
}

std::vector<SimHTTPServer::RecordedRequest> SimHTTPServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t SimHTTPServer::heldCount() const {
  std::lock_guard lock(mutex_);
  return held_.size();
}

SimHTTPAnswer SimHTTPServer::answerFor(const HTTPRequest& request) {
  Responder responder;
  {
    std::lock_guard lock(mutex_);
    auto it = script_.find({request.httpMethod, request.url.absoluteString()});
    if (it != script_.end() && !it->second.empty()) {
      responder = it->second.front();
      if (it->second.size() > 1) it->second.pop_front();
    } else {
      responder = others_;
    }
  }
  // Outside the lock: a responder may look at the recorded requests.
  return responder ? responder(request) : SimHTTPAnswer::failing(URLError::cannotConnectToHost);
}

HTTPTransport::Outcome SimHTTPServer::outcomeOf(const SimHTTPAnswer& answer, const URL& url) {
  switch (answer.kind) {
    case SimHTTPAnswer::Kind::failure:
      return URLError(answer.failure, url);
    case SimHTTPAnswer::Kind::notHTTP:
      return HTTPResult{answer.body,
                        std::make_shared<URLResponse>(url, "application/octet-stream")};
    case SimHTTPAnswer::Kind::http:
      break;
  }
  return HTTPResult{answer.body, std::make_shared<HTTPURLResponse>(
                                     url, answer.statusCode, "HTTP/1.1", answer.headerFields)};
}

std::shared_ptr<HTTPTransport::Transfer> SimHTTPServer::start(
    HTTPRequest request, const URLSessionConfiguration& configuration,
    HTTPTransport::Completion completion) {
  auto pending = std::make_shared<Pending>();
  pending->server = weak_from_this();
  pending->completion = std::move(completion);
  pending->url = request.url;
  pending->self = pending;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back({request, configuration, loop_->clock().uptime()});
  }
  pending->answer = answerFor(request);

  std::weak_ptr<SimHTTPServer> weak = weak_from_this();
  double limit = std::min(request.timeoutInterval.value_or(configuration.timeoutIntervalForRequest),
                          configuration.timeoutIntervalForResource);
  // The server keeps the transfer until it finishes; the timers only refer to it, so that no
  // timer and transfer keep each other alive.
  std::weak_ptr<Pending> weakPending = pending;
  auto finishLater = [weak, weakPending](HTTPTransport::Outcome outcome) {
    return [weak, weakPending, outcome = std::move(outcome)] {
      auto server = weak.lock();
      auto transfer = weakPending.lock();
      if (server && transfer) server->finish(transfer, outcome);
    };
  };
  pending->timeout =
      loop_->postAfter(limit, finishLater(URLError(URLError::timedOut, request.url)));
  std::lock_guard lock(mutex_);
  inFlight_.push_back(pending);
  if (pending->answer.held) {
    held_.push_back(pending);
  } else {
    pending->delivery = loop_->postAfter(pending->answer.delay,
                                         finishLater(outcomeOf(pending->answer, request.url)));
  }
  return pending;
}

void SimHTTPServer::finish(const std::shared_ptr<Pending>& pending,
                           HTTPTransport::Outcome outcome) {
  HTTPTransport::Completion completion;
  {
    std::lock_guard lock(mutex_);
    if (pending->done) return;
    pending->done = true;
    if (pending->timeout) pending->timeout->cancel();
    if (pending->delivery) pending->delivery->cancel();
    std::erase(held_, pending);
    std::erase(inFlight_, pending);
    completion = std::move(pending->completion);
  }
  completion(std::move(outcome));
}

bool SimHTTPServer::releaseHeld() {
  std::shared_ptr<Pending> pending;
  {
    std::lock_guard lock(mutex_);
    if (held_.empty()) return false;
    pending = held_.front();
  }
  finish(pending, outcomeOf(pending->answer, pending->url));
  return true;
}

bool SimHTTPServer::failHeld(URLError::Code code) {
  std::shared_ptr<Pending> pending;
  {
    std::lock_guard lock(mutex_);
    if (held_.empty()) return false;
    pending = held_.front();
  }
  finish(pending, URLError(code, pending->url));
  return true;
}

}  // namespace platform::sim
