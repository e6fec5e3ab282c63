#include "Platform/Network/HTTPSession.h"

namespace platform {

HTTPRequest HTTPSession::prepared(HTTPRequest request) const {
  if (!request.timeoutInterval) request.timeoutInterval = configuration_.timeoutIntervalForRequest;
  return request;
}

Task<HTTPResult> HTTPSession::data(HTTPRequest request) {
  auto self = shared_from_this();
  auto url = request.url;
  auto begin = [self, request = prepared(std::move(request)),
                url](Continuation<HTTPResult> c) mutable {
    auto transfer = self->start(std::move(request), [c](Outcome outcome) {
      if (auto* error = std::get_if<URLError>(&outcome)) {
        c.resumeThrowing(*error);
      } else {
        c.resume(std::move(std::get<HTTPResult>(outcome)));
      }
    });
    c.onCancel([transfer, url](const Continuation<HTTPResult>& waiting) {
      transfer->cancel();
      waiting.resumeThrowing(URLError(URLError::cancelled, url));
    });
  };
  co_return co_await withContinuation<HTTPResult>(std::move(begin));
}

void HTTPSession::send(HTTPRequest request) {
  start(prepared(std::move(request)), [](Outcome) {});
}

}  // namespace platform
