#pragma once

#include <optional>
#include <string>
#include <variant>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/URL.h"

namespace voskary {

// One notice of the service's deprecation header: either the endpoint that answered is being
// retired, or clients below a minimum version must upgrade. It has no JSON form.
class VoskaryDeprecationNotice {
 public:
  // The endpoint just called is deprecated; `replacement` names its successor.
  struct Endpoint {
    std::optional<platform::URL> replacement;
    std::optional<platform::Date> expires;
    std::optional<std::string> reason;
    bool operator==(const Endpoint&) const = default;
  };
  // Clients below `minVersion` must upgrade.
  struct Client {
    std::string minVersion;
    std::optional<std::string> currentVersion;
    std::optional<std::string> reason;
    bool operator==(const Client&) const = default;
  };

  explicit VoskaryDeprecationNotice(Endpoint notice) : notice_(std::move(notice)) {}
  explicit VoskaryDeprecationNotice(Client notice) : notice_(std::move(notice)) {}

  static VoskaryDeprecationNotice endpoint(std::optional<platform::URL> replacement,
                                           std::optional<platform::Date> expires,
                                           std::optional<std::string> reason) {
    return VoskaryDeprecationNotice(Endpoint{std::move(replacement), expires, std::move(reason)});
  }
  static VoskaryDeprecationNotice client(std::string minVersion,
                                         std::optional<std::string> currentVersion,
                                         std::optional<std::string> reason) {
    return VoskaryDeprecationNotice(
        Client{std::move(minVersion), std::move(currentVersion), std::move(reason)});
  }

  // The notice when it is that case; nullptr otherwise.
  const Endpoint* asEndpoint() const { return std::get_if<Endpoint>(&notice_); }
  const Client* asClient() const { return std::get_if<Client>(&notice_); }

  bool operator==(const VoskaryDeprecationNotice&) const = default;

 private:
  std::variant<Endpoint, Client> notice_;
};

}  // namespace voskary
