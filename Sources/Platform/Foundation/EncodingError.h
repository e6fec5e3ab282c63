#pragma once

#include <string>

#include "Platform/Foundation/CodingKey.h"
#include "Platform/Foundation/Error.h"

namespace platform {

// A value that has no form in the document being written, such as a double that is not finite.
class EncodingError : public Error {
 public:
  EncodingError(CodingPath codingPath, std::string debugDescription)
      : codingPath_(std::move(codingPath)), debugDescription_(std::move(debugDescription)) {}

  const CodingPath& codingPath() const { return codingPath_; }
  const std::string& debugDescription() const { return debugDescription_; }
  std::string description() const override {
    return "The data couldn\u2019t be written because it isn\u2019t in the correct format.";
  }

  bool operator==(const EncodingError& other) const {
    return codingPath_ == other.codingPath_ && debugDescription_ == other.debugDescription_;
  }

 private:
  CodingPath codingPath_;
  std::string debugDescription_;
};

}  // namespace platform
