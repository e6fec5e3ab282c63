#pragma once

#include <cstdint>
#include <string>

#include "Platform/Foundation/Error.h"

namespace flagrig {

// Why an archive could not be written: the plain zip format has 16-bit name lengths and 32-bit
// sizes, and writing past them would produce an archive that no tool can read.
class ZipWriterError : public platform::Error {
 public:
  enum class Kind { entryNameTooLong, entryDataTooLarge };

  ZipWriterError(Kind kind, std::uint64_t size) : kind_(kind), size_(size) {}

  Kind kind() const { return kind_; }
  // The offending length in bytes.
  std::uint64_t size() const { return size_; }

  std::string description() const override;
  bool operator==(const ZipWriterError& other) const {
    return kind_ == other.kind_ && size_ == other.size_;
  }

 private:
  Kind kind_;
  std::uint64_t size_;
};

}  // namespace flagrig
