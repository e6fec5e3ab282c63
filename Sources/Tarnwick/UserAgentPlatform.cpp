#include "Tarnwick/UserAgentPlatform.h"

#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/Environment.h"
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

// Opens addresses through the installed desktop's workspace.
class WorkspaceURLOpener final : public URLOpener {
 public:
  bool openURL(const platform::URL& url) override {
    return platform::Workspace::shared().openURL(url);
  }
  void openURLWithCompletion(const platform::URL& url, Completion completion) override {
    platform::Workspace::shared().openURLWithCompletion(url, std::move(completion));
  }
};

}  // namespace

std::shared_ptr<URLOpener> UserAgentPlatform::urlOpener() {
  if (auto opener = openerSlot().get()) return opener;
  if (platform::env().desktop) {
    static const auto workspace = std::make_shared<WorkspaceURLOpener>();
    return workspace;
  }
  // Without a desktop backend there is still the user's browser.
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
