#include "Flagrig/Shell/AppStartup.h"

#include <cstdio>

#include "Flagrig/Account/AppAccountServices.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Diagnostics/CrashCapture.h"
#include "Flagrig/Onboarding/LoginFirstFlowWindowController.h"
#include "Flagrig/Onboarding/TagDemoWindowController.h"
#include "Flagrig/Settings/SettingsWindowController.h"
#include "Flagrig/Settings/UpdaterService.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/ReviewDelegate.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Network/HTTPSession.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"
#include "VoskaryAccount/Telemetry/GeoProbeClient.h"

namespace flagrig {

using namespace platform;

namespace {

struct CommandLine {
  std::vector<std::string> args;
  bool isReviewRun = false;
};

CommandLine& commandLine() {
  static SharedInstance<CommandLine> instance;
  return instance.get();
}

}  // namespace

void AppStartup::Services::installCrashCapture() {
  CrashCapture::install();
}

void AppStartup::Services::configureErrorTelemetry(const TelemetrySettings& s) {
  voskary::ErrorFirehoseClient::shared().configure(s.appSlug, s.platform, s.appVersion, s.osVersion,
                                                   s.installId, s.identityURL, env().httpSession);
}

void AppStartup::Services::startErrorTelemetry() {
  voskary::ErrorFirehoseClient::shared().start();
}

void AppStartup::Services::startRegionProbe(const URL& identityURL) {
  // Detached: its result only lands in the preferences, and its failures stay inside it.
  spawn([](std::shared_ptr<HTTPSession> session, URL url) -> Task<void> {
    co_await voskary::GeoProbeClient::probe(std::move(session), std::move(url));
  }(env().httpSession, identityURL));
}

void AppStartup::Services::installScreens() {
  TagDemoWindowController::install();
  LoginFirstFlowWindowController::install();
  SettingsWindowController::install();
}

const std::vector<std::string>& AppStartup::args() {
  return commandLine().args;
}

bool AppStartup::isReviewRun() {
  return commandLine().isReviewRun;
}

std::shared_ptr<ApplicationDelegate> AppStartup::prepare(Services& services) {
  services.installCrashCapture();
  auto& line = commandLine();
  line.args = env().processInfo->arguments();
  line.isReviewRun = ReviewFlags::isReviewRun(line.args);
  if (!env().desktop) {
    std::fprintf(stderr, "%s\n", std::string(noDesktopMessage).c_str());
    return nullptr;
  }
  auto& app = Application::shared();
  services.installScreens();

  if (line.isReviewRun) {
    app.setActivationPolicy(ActivationPolicy::regular);
    auto delegate = std::make_shared<ReviewDelegate>(line.args);
    app.setDelegate(delegate);
    return delegate;
  }

  // The install id comes from the keychain, which may keep us waiting (a hung Secret Service
  // answers only at its deadline): so telemetry is configured on the first turn of the main
  // loop, once launching has put the status item up. Events logged before then wait in its
  // buffer, which is only flushed once it has started.
  env().mainLoop->post([&services] {
    URL identityURL = ServiceAddresses::active().accountService;
    TelemetrySettings settings{
        "flagrig",
        "macos",
        Constants::appVersion(),
        env().processInfo->operatingSystemVersion().text(),
        // Seeded from the device id first, as the account bridge does, so that telemetry,
        // analytics and the account library agree on the id from the first launch on.
        VoskaryAccountBridge::installIDForConfig(),
        identityURL,
    };
    services.configureErrorTelemetry(settings);
    services.startErrorTelemetry();
    services.startRegionProbe(identityURL);
  });

  AppScreens::shared().account = std::make_shared<AppAccountServices>();
  UpdaterService::install();
  auto delegate = std::make_shared<AppDelegate>();
  app.setDelegate(delegate);
  return delegate;
}

int AppStartup::run(Services& services) {
  auto delegate = prepare(services);
  if (!delegate) return 1;
  Application::shared().run();
  return 0;
}

int AppStartup::run() {
  Services services;
  return run(services);
}

}  // namespace flagrig
