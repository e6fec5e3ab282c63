#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/URLCharacterSet.h"
#include "Platform/Foundation/Value.h"

namespace tarnwick {

// The query of a request or redirect URL: parameter names, each with its values in the order
// they were added. Names come out in the map's order, which nothing relies on.
class OIDURLQueryComponent {
 public:
  OIDURLQueryComponent() = default;
  // The URL's query; "+" reads as a space and items without "=" are skipped.
  explicit OIDURLQueryComponent(const platform::URL& url);

  std::vector<std::string> parameters() const;
  const std::vector<std::string>* valuesForParameter(std::string_view name) const;
  // A name with exactly one value maps to that text, any other to the list of its values.
  platform::Value::Dictionary dictionaryValue() const;

  void addParameter(const std::string& name, const std::string& value);
  void addParameters(const std::map<std::string, std::string>& parameters);

  std::vector<std::pair<std::string, std::string>> queryItems() const;
  // Names and values encoded so that "&", "=" and "+" inside them survive; a "+" travels as
  // "%2B" so that no receiver reads it as a space.
  std::string URLEncodedParameters() const;
  // `url` with its query replaced by the encoded parameters.
  platform::URL URLByReplacingQueryInURL(const platform::URL& url) const;
  // The same pairs with each name and value encoded by `URLParamValueAllowedCharacters`.
  std::string percentEncodedQueryString() const;

  // The query characters less "=", "&" and "+".
  static platform::URLCharacterSet URLParamValueAllowedCharacters();

  std::string description() const;

 private:
  std::map<std::string, std::vector<std::string>, std::less<>> parameters_;
};

}  // namespace tarnwick
