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
    auto transfer = self->transport_->start(std::move(request), self->configuration_,
                                            [c](HTTPTransport::Outcome o) {
                                              if (auto* error = std::get_if<URLError>(&o)) {
                                                c.resumeThrowing(*error);
                                              } else {
                                                c.resume(std::move(std::get<HTTPResult>(o)));
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
  transport_->start(prepared(std::move(request)), configuration_, [](HTTPTransport::Outcome) {});
}

}  // namespace platform
