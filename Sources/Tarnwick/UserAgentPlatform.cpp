#include "Tarnwick/UserAgentPlatform.h"

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Tarnwick/XdgOpenURLOpener.h"
#include "TarnwickCore/OIDProcessSlot.h"

namespace tarnwick {

namespace {

OIDProcessSlot<std::shared_ptr<URLOpener>>& openerSlot() {
  static OIDProcessSlot<std::shared_ptr<URLOpener>> instance;
  return instance;
}

OIDProcessSlot<std::shared_ptr<WebAuthenticationSessionFactory>>& sheetSlot() {
  static OIDProcessSlot<std::shared_ptr<WebAuthenticationSessionFactory>> instance;
  return instance;
}

}  // namespace

std::shared_ptr<URLOpener> UserAgentPlatform::urlOpener() {
  if (auto opener = openerSlot().get()) return opener;
  // A simulated environment runs its loop on a manual clock.
  if (platform::env().mainLoop->isManual()) return nullptr;
  static const auto xdgOpen = std::make_shared<XdgOpenURLOpener>();
  return xdgOpen;
}

void UserAgentPlatform::setURLOpener(std::shared_ptr<URLOpener> opener) {
  openerSlot().set(std::move(opener));
}

std::shared_ptr<WebAuthenticationSessionFactory>
UserAgentPlatform::webAuthenticationSessionFactory() {
  return sheetSlot().get();
}

void UserAgentPlatform::setWebAuthenticationSessionFactory(
    std::shared_ptr<WebAuthenticationSessionFactory> factory) {
  sheetSlot().set(std::move(factory));
}

}  // namespace tarnwick
