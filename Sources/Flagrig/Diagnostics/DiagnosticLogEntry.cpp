#include "Flagrig/Diagnostics/DiagnosticLogEntry.h"

#include "Platform/Foundation/JSONCoding.h"

namespace flagrig {

platform::Value DiagnosticLogEntry::jsonObject() const {
  platform::Value::Dictionary object{
      {"ts", ts}, {"level", level}, {"category", category}, {"msg", msg}};
  if (exceptionType) object.emplace("exception_type", *exceptionType);
  if (exceptionMessage) object.emplace("exception_message", *exceptionMessage);
  return object;
}

DiagnosticLogEntry DiagnosticLogEntry::decode(const platform::JSONReader& json) {
  return {json.decode<std::string>("ts"),
          json.decode<std::string>("level"),
          json.decode<std::string>("category"),
          json.decode<std::string>("msg"),
          json.decodeIfPresent<std::string>("exceptionType"),
          json.decodeIfPresent<std::string>("exceptionMessage")};
}

void DiagnosticLogEntry::encode(platform::JSONWriter& json) const {
  json.encode("ts", ts);
  json.encode("level", level);
  json.encode("category", category);
  json.encode("msg", msg);
  json.encodeIfPresent("exceptionType", exceptionType);
  json.encodeIfPresent("exceptionMessage", exceptionMessage);
}

}  // namespace flagrig
