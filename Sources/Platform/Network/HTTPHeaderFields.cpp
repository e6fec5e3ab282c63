#include "Platform/Network/HTTPHeaderFields.h"

#include <algorithm>

namespace platform {

namespace {
char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

bool HTTPHeaderFields::sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Field> fields) {
  for (const auto& [name, value] : fields) add(name, value);
}

HTTPHeaderFields::Field* HTTPHeaderFields::find(std::string_view name) {
  auto it = std::find_if(fields_.begin(), fields_.end(),
                         [&](const Field& f) { return sameName(f.first, name); });
  return it == fields_.end() ? nullptr : &*it;
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
  for (const auto& [n, v] : fields_) {
    if (sameName(n, name)) return v;
  }
  return std::nullopt;
}

void HTTPHeaderFields::set(std::string_view name, std::string_view value) {
  if (Field* field = find(name)) {
    field->second = value;
  } else {
    fields_.emplace_back(name, value);
  }
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value) {
  if (Field* field = find(name)) {
    field->second.append(", ").append(value);
  } else {
    fields_.emplace_back(name, value);
  }
}

void HTTPHeaderFields::remove(std::string_view name) {
  std::erase_if(fields_, [&](const Field& f) { return sameName(f.first, name); });
}

}  // namespace platform
