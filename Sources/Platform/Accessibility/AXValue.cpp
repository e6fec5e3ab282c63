#include "Platform/Accessibility/AXValue.h"

namespace platform {

std::optional<bool> AXValue::asBool() const {
  if (auto b = std::get_if<bool>(&storage_)) return *b;
  return std::nullopt;
}

std::optional<double> AXValue::asNumber() const {
  if (auto d = std::get_if<double>(&storage_)) return *d;
  return std::nullopt;
}

AXElement AXValue::asElement() const {
  if (auto e = std::get_if<AXElement>(&storage_)) return *e;
  return nullptr;
}

std::optional<std::vector<AXElement>> AXValue::asElementArray() const {
  const Array* array = asArray();
  if (!array) return std::nullopt;
  std::vector<AXElement> elements;
  elements.reserve(array->size());
  for (const auto& v : *array) {
    auto e = v.asElement();
    if (!e) return std::nullopt;
    elements.push_back(std::move(e));
  }
  return elements;
}

}  // namespace platform
