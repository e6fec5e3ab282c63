#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Platform/Accessibility/AXUIElement.h"

namespace platform {

// The value of an Accessibility attribute: nothing, a boolean, a number, a string, an element
// or an array of values.
class AXValue {
 public:
  using Array = std::vector<AXValue>;

  AXValue() = default;
  AXValue(bool v) : storage_(v) {}
  AXValue(double v) : storage_(v) {}
  AXValue(int v) : storage_(static_cast<double>(v)) {}
  AXValue(std::string v) : storage_(std::move(v)) {}
  AXValue(const char* v) : storage_(std::string(v)) {}
  AXValue(AXElement v) : storage_(std::move(v)) {}
  AXValue(Array v) : storage_(std::move(v)) {}

  bool isNull() const { return std::holds_alternative<std::monostate>(storage_); }
  std::optional<bool> asBool() const;
  std::optional<double> asNumber() const;
  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  AXElement asElement() const;
  const Array* asArray() const { return std::get_if<Array>(&storage_); }
  // The array's elements, when every value in it is an element.
  std::optional<std::vector<AXElement>> asElementArray() const;

 private:
  std::variant<std::monostate, bool, double, std::string, AXElement, Array> storage_;
};

}  // namespace platform
