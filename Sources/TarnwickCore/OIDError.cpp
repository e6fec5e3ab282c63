#include "TarnwickCore/OIDError.h"

#include <typeinfo>

namespace tarnwick {

OIDError::OIDError(std::string domain, long code, std::optional<std::string> description,
                   std::shared_ptr<const platform::Error> underlyingError,
                   platform::Value::Dictionary userInfo)
    : domain_(std::move(domain)),
      code_(code),
      description_(std::move(description)),
      underlying_(std::move(underlyingError)),
      userInfo_(std::move(userInfo)) {}

std::string OIDError::description() const {
  if (description_) return *description_;
  return "The operation couldn't be completed. (" + domain_ + " error " + std::to_string(code_) +
         ".)";
}

const platform::Value::Dictionary* OIDError::oauthErrorResponse() const {
  auto found = userInfo_.find(OIDOAuthErrorResponseErrorKey);
  return found == userInfo_.end() ? nullptr : found->second.asDictionary();
}

bool OIDError::operator==(const OIDError& other) const {
  if (domain_ != other.domain_ || code_ != other.code_ || description_ != other.description_ ||
      userInfo_ != other.userInfo_) {
    return false;
  }
  if (!underlying_ || !other.underlying_) return !underlying_ && !other.underlying_;
  return typeid(*underlying_) == typeid(*other.underlying_) &&
         underlying_->description() == other.underlying_->description();
}

}  // namespace tarnwick
