#include "Flagrig/Settings/UpdaterService.h"

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using namespace platform;

namespace {

// The text under `key` of the information dictionary, trimmed; empty when missing or no text.
std::string infoText(std::string_view key) {
  auto value = env().bundle->objectForInfoDictionaryKey(key);
  const std::string* text = value ? value->asString() : nullptr;
  return text ? UnicodeText::trimmed(*text, UnicodeText::WhiteSpace::spacesAndNewlines)
              : std::string();
}

// The shell's view of the updater.
class UpdaterScreenAdapter final : public UpdaterScreen {
 public:
  void create() override { UpdaterService::shared(); }
  bool canCheckForUpdates() override { return UpdaterService::shared().canCheckForUpdates(); }
  void checkForUpdates() override { UpdaterService::shared().checkForUpdates(); }
};

}  // namespace

struct UpdaterService::Holder {
  std::shared_ptr<UpdaterService> service = [] {
    auto s = std::make_shared<UpdaterService>();
    s->start();
    return s;
  }();
};

UpdaterService& UpdaterService::shared() {
  static SharedInstance<Holder> instance;
  return *instance.get().service;
}

void UpdaterService::install() {
  AppScreens::shared().updater = std::make_shared<UpdaterScreenAdapter>();
}

UpdaterService::~UpdaterService() {
  if (controller_) controller_->observeCanCheckForUpdates(nullptr);
}

bool UpdaterService::hasValidSparkleConfig() {
  std::string feed = infoText("SUFeedURL");
  std::string key = infoText("SUPublicEDKey");
  return !feed.empty() && !key.empty() && !key.starts_with("REPLACE_");
}

void UpdaterService::start() {
  // A build with a feed but no updater framework (Linux) cannot update either.
  if (hasValidSparkleConfig() && env().updaters) {
    controller_ = env().updaters->startUpdater(weak_from_this());
    std::weak_ptr<UpdaterService> weak = weak_from_this();
    std::weak_ptr<SoftwareUpdater> weakController = controller_;
    controller_->observeCanCheckForUpdates([weak, weakController](bool) {
      auto controller = weakController.lock();
      if (!controller) return;
      bool current = controller->canCheckForUpdates();
      env().mainLoop->post([weak, current] {
        if (auto self = weak.lock()) self->setCanCheck(current);
      });
    });
  }
  trackPostInstallIfNeeded();
}

void UpdaterService::trackPostInstallIfNeeded() {
  auto version = env().bundle->objectForInfoDictionaryKey("CFBundleShortVersionString");
  const std::string* current = version ? version->asString() : nullptr;
  if (!current || current->empty()) return;
  auto& defaults = *env().defaults;
  std::string stored = defaults.stringForKey(lastKnownVersionKey).value_or("");
  if (!stored.empty() && stored != *current) {
    Analytics::trackUpdateInstalled(stored, *current);
    Analytics::track("app_updated", {{"prior_version", Value(stored)},
                                     {"new_version", Value(*current)},
                                     {"install_channel", Value("sparkle")}});
  }
  if (stored != *current) defaults.set(lastKnownVersionKey, Value(*current));
}

void UpdaterService::checkForUpdates() {
  if (!controller_) return;
  auto& app = Application::shared();
  if (!policyBeforeCheck_) policyBeforeCheck_ = app.activationPolicy();
  app.setActivationPolicy(ActivationPolicy::regular);
  app.activate();
  controller_->checkForUpdates();
}

std::set<std::string> UpdaterService::allowedChannels() {
  if (env().defaults->boolForKey(betaUpdatesKey)) return {"beta"};
  return {};
}

void UpdaterService::didFinishUpdateCycle(const std::optional<UpdaterError>& error) {
  if (!error) {
    // A check that went through: an earlier failure is no longer the news.
    setStatusMessage(std::nullopt);
  } else if (error->domain != UpdaterError::updaterDomain) {
    setStatusMessage("Update check failed: " + error->localizedDescription);
  }
  if (!policyBeforeCheck_) return;
  ActivationPolicy saved = *policyBeforeCheck_;
  policyBeforeCheck_.reset();
  // The Dock icon stays only while one of our ordinary windows is open; a window that closed
  // during the check must not leave a stale regular policy behind.
  ActivationPolicy restored = saved;
  if (ActivationPolicyController::hasOrdinaryVisibleWindow())
    restored = ActivationPolicy::regular;
  else if (saved == ActivationPolicy::regular)
    restored = ActivationPolicy::accessory;
  Application::shared().setActivationPolicy(restored);
}

void UpdaterService::setCanCheck(bool canCheck) {
  if (canCheckForUpdates_ == canCheck) return;
  canCheckForUpdates_ = canCheck;
  postChange();
}

void UpdaterService::setStatusMessage(std::optional<std::string> message) {
  if (statusMessage_ == message) return;
  statusMessage_ = std::move(message);
  postChange();
}

void UpdaterService::postChange() {
  env().notificationCenter->post(std::string(didChangeNotification), this);
}

}  // namespace flagrig
