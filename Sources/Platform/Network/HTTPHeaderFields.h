#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// HTTP header fields in the order they were first set. Names compare without regard to case;
// a name keeps the spelling it was first given. Adding a name that is already there joins the
// values with ", ", as HTTP allows for repeated fields.
class HTTPHeaderFields {
 public:
  using Field = std::pair<std::string, std::string>;

  HTTPHeaderFields() = default;
  HTTPHeaderFields(std::initializer_list<Field> fields);

  std::optional<std::string> value(std::string_view name) const;
  // Replaces the value of `name`, keeping its place; appends it when new.
  void set(std::string_view name, std::string_view value);
  // Joins `value` to an existing field with ", ", or appends a new one.
  void add(std::string_view name, std::string_view value);
  void remove(std::string_view name);

  const std::vector<Field>& fields() const { return fields_; }
  bool empty() const { return fields_.empty(); }
  bool operator==(const HTTPHeaderFields&) const = default;

  static bool sameName(std::string_view a, std::string_view b);

 private:
  Field* find(std::string_view name);
  std::vector<Field> fields_;
};

}  // namespace platform
