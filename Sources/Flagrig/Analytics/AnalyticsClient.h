#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Flagrig/Account/SignInState.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"
#include "VoskaryAccount/Telemetry/AnalyticsEmitThrottle.h"

namespace flagrig {

// The working behind `Analytics`: one project key, the capture and funnel addresses, the
// install metrics, the emit throttle and the queue on which requests are built and sent.
// `shared()` is the app's, made on first use from the compiled-in key and the active service
// addresses. Callable from any thread: `track` and `identify` hand their work to the queue,
// which owns the sending.
class AnalyticsClient : public std::enable_shared_from_this<AnalyticsClient> {
 public:
  struct Configuration {
    std::string projectKey;
    platform::URL captureURL;
    platform::URL funnelURL;
    voskary::AnalyticsEmitThrottleOptions throttleOptions;
    voskary::AnalyticsEmitThrottle::Clock clock;
  };

  explicit AnalyticsClient(Configuration configuration);
  static std::shared_ptr<AnalyticsClient> shared();

  void track(std::string_view event, const platform::Value::Dictionary& properties);
  void identify(std::string_view accountID);
  void emitAppFirstOpenedIfNeeded();

  voskary::AnalyticsEmitThrottle& emitThrottle() { return throttle_; }
  const voskary::VoskaryInstallMetrics& installMetrics() const { return installMetrics_; }
  const Configuration& configuration() const { return configuration_; }

  // The account id that counts: while signed in, the id trimmed of white space and line ends,
  // when it then begins "va_".
  static std::optional<std::string> signedInAccountID(const SignInState::Snapshot& snapshot);

 private:
  struct Event {
    std::string name;
    platform::Value::Dictionary properties;
    SignInState::Snapshot signIn;
    platform::Date time;
  };

  bool isEnabled() const;
  // Before the install metrics first answer: an install without a stored install id takes the
  // device id as its install id.
  void seedInstallID();
  std::string installID();
  void send(const Event& event);
  void sendIdentify(const std::string& accountID, platform::Date time);
  // Posts one event to the capture service, in the service's envelope.
  void postCapture(std::string event, const std::string& distinctID, platform::JSON properties,
                   platform::Date time) const;
  void post(const platform::URL& url, const std::string& body,
            const std::map<std::string, std::string>& extraFields) const;

  const Configuration configuration_;
  voskary::VoskaryInstallMetrics installMetrics_;
  voskary::AnalyticsEmitThrottle throttle_;
  std::once_flag seeded_;
  std::mutex firstOpenLock_;
  std::shared_ptr<platform::SerialQueue> queue_;
};

}  // namespace flagrig
