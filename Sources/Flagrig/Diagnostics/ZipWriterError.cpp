#include "Flagrig/Diagnostics/ZipWriterError.h"

namespace flagrig {

std::string ZipWriterError::description() const {
  switch (kind_) {
    case Kind::entryNameTooLong:
      return "The archive entry name is " + std::to_string(size_) +
             " bytes long; at most 65535 bytes fit.";
    case Kind::entryDataTooLarge:
      return "The archive entry is " + std::to_string(size_) +
             " bytes long; too large for an archive without ZIP64.";
  }
  return "The archive could not be written.";
}

}  // namespace flagrig
