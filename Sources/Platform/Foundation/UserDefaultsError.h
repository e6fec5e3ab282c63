#pragma once

#include <string>

#include "Platform/Foundation/Error.h"

namespace platform {

// Why `UserDefaults::set` refused a value. A refused value changes nothing, in memory or in
// the store, so what the process reads and what the next run reads never disagree.
class UserDefaultsError final : public Error {
 public:
  enum class Kind {
    // A key, string or dictionary key that is not valid UTF-8: the file keeps text only.
    invalidText,
    // NaN or an infinity (as a number or a date): the file has no way to write one.
    nonFiniteNumber,
    // Arrays and dictionaries nested deeper than `UserDefaults::maxDepth`.
    nestedTooDeeply,
  };

  UserDefaultsError(Kind kind, std::string key) : kind_(kind), key_(std::move(key)) {}

  Kind kind() const { return kind_; }
  // The key as given (invalid UTF-8 repaired, so that it can be shown).
  const std::string& key() const { return key_; }

  std::string description() const override;
  bool operator==(const UserDefaultsError& other) const {
    return kind_ == other.kind_ && key_ == other.key_;
  }

 private:
  Kind kind_;
  std::string key_;
};

}  // namespace platform
