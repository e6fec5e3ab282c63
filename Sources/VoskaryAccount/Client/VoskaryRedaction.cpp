#include "VoskaryAccount/Client/VoskaryRedaction.h"

#include "Platform/Foundation/Error.h"
#include "Platform/Network/URLError.h"

namespace voskary {

std::string VoskaryRedaction::endpoint(std::string_view address) {
  return std::string(address.substr(0, address.find_first_of("?#")));
}

VoskaryLogFields VoskaryRedaction::decodeFailure(std::string_view address,
                                                 const std::optional<std::string>& field) {
  VoskaryLogFields fields = {{"endpoint", endpoint(address)},
                             {"class", std::string(rawValue(Classification::decode))}};
  if (field) fields["field"] = *field;
  return fields;
}

VoskaryLogFields VoskaryRedaction::transportFailure(std::string_view address,
                                                    const std::exception& error) {
  std::string domain = platform::bridgedDomain(error);
  std::string code = std::to_string(platform::bridgedCode(error));
  VoskaryLogFields fields = {{"endpoint", endpoint(address)},
                             {"class", std::string(rawValue(Classification::transport))},
                             {"error_domain", domain},
                             {"error_code", code}};
  if (dynamic_cast<const platform::URLError*>(&error)) fields["url_error"] = code;
  return fields;
}

}  // namespace voskary
