#pragma once

#include <string>

#include "Platform/Foundation/CodingKey.h"
#include "Platform/Foundation/Error.h"

namespace platform {

// Why a coded document could not be read into the values the caller asked for.
class DecodingError : public Error {
 public:
  enum class Kind {
    keyNotFound,    // a required key is absent; the path ends with that key
    valueNotFound,  // a required value is null
    typeMismatch,   // the value has another JSON type than the one asked for
    dataCorrupted,  // not JSON, or a value of the right type that is still unusable
  };

  DecodingError(Kind kind, CodingPath codingPath, std::string debugDescription)
      : kind_(kind),
        codingPath_(std::move(codingPath)),
        debugDescription_(std::move(debugDescription)) {}

  Kind kind() const { return kind_; }
  const CodingPath& codingPath() const { return codingPath_; }
  // For developers and logs: what exactly went wrong, such as "Bad ISO 8601 date: 2026".
  const std::string& debugDescription() const { return debugDescription_; }

  // The platform's sentence for the kind.
  std::string description() const override;

  bool operator==(const DecodingError& other) const {
    return kind_ == other.kind_ && codingPath_ == other.codingPath_ &&
           debugDescription_ == other.debugDescription_;
  }

 private:
  Kind kind_;
  CodingPath codingPath_;
  std::string debugDescription_;
};

}  // namespace platform
