#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/RunLoop.h"
#include "Platform/Network/HTTPTransport.h"

namespace platform::sim {

// How the simulated far end answers one request.
struct SimHTTPAnswer {
  enum class Kind { http, failure, notHTTP };

  Kind kind = Kind::http;
  int statusCode = 200;
  HTTPHeaderFields headerFields;
  Bytes body;
  URLError::Code failure = URLError::cannotConnectToHost;
  // Seconds on the manual clock before the answer arrives.
  double delay = 0;
  // Kept until the test releases it (or the request times out or is cancelled).
  bool held = false;

  static SimHTTPAnswer status(int code, std::string_view body = {}, HTTPHeaderFields fields = {});
  static SimHTTPAnswer json(int code, std::string_view body);
  static SimHTTPAnswer failing(URLError::Code code);
  static SimHTTPAnswer notHTTP(std::string_view body = {});
  SimHTTPAnswer after(double seconds) const;
  SimHTTPAnswer holding() const;
};

// The network and servers behind every simulated session: answers come from a script per
// method and URL, every request is recorded, an answer can be held until the test releases it,
// and a transfer can be made to fail. A request the script does not know cannot connect.
class SimHTTPServer final : public HTTPTransport,
                            public std::enable_shared_from_this<SimHTTPServer> {
 public:
  using Responder = std::function<SimHTTPAnswer(const HTTPRequest&)>;

  struct RecordedRequest {
    HTTPRequest request;
    URLSessionConfiguration configuration;
    Uptime at;
  };

  explicit SimHTTPServer(std::shared_ptr<RunLoop> loop) : loop_(std::move(loop)) {}

  // Queues an answer for the method and the URL's whole text. Requests take queued answers in
  // order; the last one keeps answering.
  void respond(std::string method, std::string url, SimHTTPAnswer answer);
  void respond(std::string method, std::string url, Responder responder);
  // Answers requests that no script entry names; without one they cannot connect.
  void respondToOthers(Responder responder);

  std::vector<RecordedRequest> requests() const;
  std::size_t heldCount() const;
  // Lets the oldest held answer go; false when none is held.
  bool releaseHeld();
  // Ends the oldest held transfer with `code` instead of its answer.
  bool failHeld(URLError::Code code);

  std::shared_ptr<Transfer> start(HTTPRequest request, const URLSessionConfiguration& configuration,
                                  Completion completion) override;

 private:
  struct Pending;
  SimHTTPAnswer answerFor(const HTTPRequest& request);
  void finish(const std::shared_ptr<Pending>& pending, Outcome outcome);
  static Outcome outcomeOf(const SimHTTPAnswer& answer, const URL& url);

  std::shared_ptr<RunLoop> loop_;
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::deque<Responder>> script_;
  Responder others_;
  std::vector<RecordedRequest> requests_;
  std::vector<std::shared_ptr<Pending>> inFlight_;
  std::deque<std::shared_ptr<Pending>> held_;
};

}  // namespace platform::sim
