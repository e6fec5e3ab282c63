#include "TarnwickCore/OIDURLSessionProvider.h"

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "TarnwickCore/OIDProcessSlot.h"

namespace tarnwick {

namespace {

OIDProcessSlot<std::shared_ptr<platform::HTTPSession>>& slot() {
  static OIDProcessSlot<std::shared_ptr<platform::HTTPSession>> instance;
  return instance;
}

}  // namespace

std::shared_ptr<platform::HTTPSession> OIDURLSessionProvider::session() {
  if (auto session = slot().get()) return session;
  return platform::env().httpSession;
}

void OIDURLSessionProvider::setSession(std::shared_ptr<platform::HTTPSession> session) {
  platform::precondition(session != nullptr, "Parameter: |session| must be non-nil.");
  slot().set(std::move(session));
}

}  // namespace tarnwick
