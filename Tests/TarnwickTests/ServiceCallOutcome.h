#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "TarnwickCore/OIDError.h"

namespace tarnwick::testing {

// What one call of the authorization service handed its callback.
template <class Response>
struct ServiceCallOutcome {
  int calls = 0;
  std::optional<Response> response;
  std::optional<OIDError> error;
};

// Starts a call with a callback that records into the outcome, then drains the loop: the
// callback must run once, after the call has returned, with a response or an error.
template <class Response, class Start>
ServiceCallOutcome<Response> callService(Start start, const std::function<void()>& drain) {
  ServiceCallOutcome<Response> out;
  start([&out](const auto& response, const auto& error) {
    ++out.calls;
    out.response = response;
    out.error = error;
  });
  EXPECT_EQ(out.calls, 0) << "never inside the call";
  drain();
  EXPECT_EQ(out.calls, 1);
  EXPECT_NE(out.response.has_value(), out.error.has_value());
  return out;
}

}  // namespace tarnwick::testing
