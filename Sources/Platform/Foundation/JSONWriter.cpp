#include "Platform/Foundation/JSONWriter.h"

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/JSONEncoder.h"

namespace platform {

void JSONWriter::makeObject() {
  if (value_.is_null()) value_ = JSON::object();
  precondition(value_.is_object(), "A JSON value was written before the members of an object.");
}

JSON& JSONWriter::member(std::string_view key) {
  makeObject();
  return value_[std::string(key)];
}

void JSONWriter::encodeDate(Date date) {
  encoder_->encodeDate(*this, date);
}

}  // namespace platform
