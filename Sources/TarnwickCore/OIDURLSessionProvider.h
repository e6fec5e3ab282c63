#pragma once

#include <memory>

namespace platform {
class HTTPSession;
}

namespace tarnwick {

// The one HTTP session that every network call of the client goes through.
struct OIDURLSessionProvider {
  // The session set with `setSession`, or else the environment's shared session. The default is
  // read from the environment on each call rather than stored, so that it always belongs to the
  // environment that is installed.
  static std::shared_ptr<platform::HTTPSession> session();
  // Throws ProgrammingError for a null session.
  static void setSession(std::shared_ptr<platform::HTTPSession> session);
};

}  // namespace tarnwick
