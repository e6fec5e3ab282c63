#include "TarnwickCore/OIDURLQueryComponent.h"

#include "Platform/Foundation/PercentEncoding.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDJSONValue.h"

namespace tarnwick {

using platform::PercentEncoding;

namespace {

std::string joinedPairs(const std::vector<std::pair<std::string, std::string>>& items,
                        const platform::URLCharacterSet& allowed) {
  std::string out;
  for (const auto& [name, value] : items) {
    if (!out.empty()) out += '&';
    out += PercentEncoding::encode(name, allowed);
    out += '=';
    out += PercentEncoding::encode(value, allowed);
  }
  return out;
}

}  // namespace

OIDURLQueryComponent::OIDURLQueryComponent(const platform::URL& url) {
  if (!url.query()) return;
  std::string query;
  for (char c : *url.query()) {
    if (c == '+') {
      query += "%20";
    } else {
      query += c;
    }
  }
  std::string_view rest = query;
  while (true) {
    auto amp = rest.find('&');
    auto item = rest.substr(0, amp);
    auto equals = item.find('=');
    if (equals != std::string_view::npos) {
      // A parsed URL has only valid escapes, so decoding cannot fail.
      auto name = PercentEncoding::decode(item.substr(0, equals));
      auto value = PercentEncoding::decode(item.substr(equals + 1));
      if (name && value) addParameter(*name, *value);
    }
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
}

std::vector<std::string> OIDURLQueryComponent::parameters() const {
  std::vector<std::string> names;
  names.reserve(parameters_.size());
  for (const auto& entry : parameters_) names.push_back(entry.first);
  return names;
}

const std::vector<std::string>* OIDURLQueryComponent::valuesForParameter(
    std::string_view name) const {
  auto found = parameters_.find(name);
  return found == parameters_.end() ? nullptr : &found->second;
}

platform::Value::Dictionary OIDURLQueryComponent::dictionaryValue() const {
  platform::Value::Dictionary dictionary;
  for (const auto& [name, values] : parameters_) {
    if (values.size() == 1) {
      dictionary.emplace(name, values.front());
    } else {
      platform::Value::Array list(values.begin(), values.end());
      dictionary.emplace(name, std::move(list));
    }
  }
  return dictionary;
}

void OIDURLQueryComponent::addParameter(const std::string& name, const std::string& value) {
  parameters_[name].push_back(value);
}

void OIDURLQueryComponent::addParameters(const std::map<std::string, std::string>& parameters) {
  for (const auto& [name, value] : parameters) addParameter(name, value);
}

std::vector<std::pair<std::string, std::string>> OIDURLQueryComponent::queryItems() const {
  std::vector<std::pair<std::string, std::string>> items;
  for (const auto& [name, values] : parameters_) {
    for (const auto& value : values) items.emplace_back(name, value);
  }
  return items;
}

std::string OIDURLQueryComponent::URLEncodedParameters() const {
  // The allowed set has no "+", so every plus is already written as "%2B".
  return joinedPairs(queryItems(), URLParamValueAllowedCharacters());
}

platform::URL OIDURLQueryComponent::URLByReplacingQueryInURL(const platform::URL& url) const {
  return url.withPercentEncodedQuery(URLEncodedParameters());
}

std::string OIDURLQueryComponent::percentEncodedQueryString() const {
  // Both encoders keep the same characters, so they agree.
  return URLEncodedParameters();
}

platform::URLCharacterSet OIDURLQueryComponent::URLParamValueAllowedCharacters() {
  return platform::URLCharacterSet::urlQueryAllowed().removing("=&+");
}

std::string OIDURLQueryComponent::description() const {
  return "<OIDURLQueryComponent: " + OIDDescription::address(this) +
         ", parameters: " + OIDJSONValue::describe(dictionaryValue()) + ">";
}

}  // namespace tarnwick
