#include "Platform/Foundation/URLCharacterSet.h"

namespace platform {

namespace {
constexpr std::string_view kUnreserved =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
constexpr std::string_view kSubDelimiters = "!$&'()*+,;=";
}  // namespace

void URLCharacterSet::insert(std::string_view characters) {
  for (unsigned char c : characters) {
    if (c < 128) bits_.set(c);
  }
}

URLCharacterSet URLCharacterSet::unreserved() {
  return URLCharacterSet(kUnreserved);
}
URLCharacterSet URLCharacterSet::subDelimiters() {
  return URLCharacterSet(kSubDelimiters);
}
URLCharacterSet URLCharacterSet::urlUserAllowed() {
  return unreserved().united(subDelimiters());
}
URLCharacterSet URLCharacterSet::urlPasswordAllowed() {
  return urlUserAllowed();
}
URLCharacterSet URLCharacterSet::urlHostAllowed() {
  return urlUserAllowed();
}
URLCharacterSet URLCharacterSet::urlPathSegmentAllowed() {
  return urlUserAllowed().adding(":@");
}
URLCharacterSet URLCharacterSet::urlPathAllowed() {
  return urlPathSegmentAllowed().adding("/");
}
URLCharacterSet URLCharacterSet::urlQueryAllowed() {
  return urlPathSegmentAllowed().adding("/?");
}
URLCharacterSet URLCharacterSet::urlFragmentAllowed() {
  return urlQueryAllowed();
}

URLCharacterSet URLCharacterSet::adding(std::string_view characters) const {
  URLCharacterSet result = *this;
  result.insert(characters);
  return result;
}

URLCharacterSet URLCharacterSet::removing(std::string_view characters) const {
  URLCharacterSet result = *this;
  for (unsigned char c : characters) {
    if (c < 128) result.bits_.reset(c);
  }
  return result;
}

URLCharacterSet URLCharacterSet::united(const URLCharacterSet& other) const {
  URLCharacterSet result = *this;
  result.bits_ |= other.bits_;
  return result;
}

}  // namespace platform
