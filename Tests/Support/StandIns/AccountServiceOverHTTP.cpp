#include "Support/StandIns/AccountServiceOverHTTP.h"

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Sim/SimHTTPServer.h"

namespace voskary::testing {

using platform::testing::LoopbackHTTPServer;

AccountServiceOverHTTP::AccountServiceOverHTTP(int port, Handler others)
    : loop_(std::make_shared<platform::RunLoop>(std::make_shared<platform::ManualClock>())),
      sim_(std::make_shared<platform::sim::SimHTTPServer>(loop_)),
      others_(std::move(others)),
      server_([this](const LoopbackHTTPServer::Request& request) { return answer(request); },
              {.port = port, .wholeBody = true}),
      service_(sim_, platform::URL(server_.url("")), "flagrig") {}

std::string AccountServiceOverHTTP::answer(const LoopbackHTTPServer::Request& incoming) {
  if (auto served = serve(incoming)) return *served;
  return others_ ? others_(incoming) : std::string();
}

std::optional<std::string> AccountServiceOverHTTP::serve(
    const LoopbackHTTPServer::Request& incoming) {
  std::lock_guard lock(mutex_);
  platform::HTTPRequest request(platform::URL(server_.url(incoming.target)));
  request.httpMethod = incoming.method;
  for (const auto& [name, value] : incoming.headerFields) request.addValue(value, name);
  if (!incoming.body.empty())
    request.httpBody = platform::Bytes(incoming.body.begin(), incoming.body.end());
  std::optional<platform::HTTPTransport::Outcome> outcome;
  auto transfer = sim_->start(request, platform::URLSessionConfiguration::defaultConfiguration(),
                              [&outcome](platform::HTTPTransport::Outcome o) { outcome = o; });
  loop_->runUntilIdle();
  auto* result = outcome ? std::get_if<platform::HTTPResult>(&*outcome) : nullptr;
  auto* http = result && result->response ? result->response->asHTTP() : nullptr;
  if (!http) return std::nullopt;
  std::vector<std::pair<std::string, std::string>> fields;
  for (const auto& field : http->allHeaderFields().fields())
    if (!platform::HTTPHeaderFields::sameName(field.first, "Content-Length"))
      fields.push_back(field);
  return LoopbackHTTPServer::answer(http->statusCode(), fields,
                                    std::string(result->data.begin(), result->data.end()));
}

}  // namespace voskary::testing
