#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/Value.h"

namespace tarnwick {

// The fields of a response type that its field map fills: text fields and at most one date,
// named as the map names them, so that filling, reading and archiving them is one table.
template <class Response>
struct OIDMappedFields {
  using TextMember = std::optional<std::string> Response::*;
  using DateMember = std::optional<platform::Date> Response::*;

  std::vector<std::pair<std::string_view, TextMember>> texts;
  std::string_view dateName;
  DateMember date = nullptr;

  void set(Response& response, std::string_view name, const platform::Value& value) const {
    if (date && name == dateName) {
      response.*date = value.asDate();
      return;
    }
    for (const auto& [fieldName, member] : texts) {
      if (fieldName == name && value.asString()) response.*member = *value.asString();
    }
  }

  std::optional<platform::Value> get(const Response& response, std::string_view name) const {
    if (date && name == dateName) {
      if (!(response.*date)) return std::nullopt;
      return platform::Value(*(response.*date));
    }
    for (const auto& [fieldName, member] : texts) {
      if (fieldName == name && response.*member) return platform::Value(*(response.*member));
    }
    return std::nullopt;
  }
};

}  // namespace tarnwick
