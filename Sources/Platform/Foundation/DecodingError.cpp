#include "Platform/Foundation/DecodingError.h"

namespace platform {

std::string DecodingError::description() const {
  switch (kind_) {
    case Kind::keyNotFound:
    case Kind::valueNotFound:
      return "The data couldn\u2019t be read because it is missing.";
    case Kind::typeMismatch:
    case Kind::dataCorrupted:
      break;
  }
  return "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
}

}  // namespace platform
