#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDAuthorizationRequest.h"

namespace tarnwick::archiving {

// Reading and writing the optional fields of the client's archived values. A field of the
// wrong type in an archive reads as absent.

inline void put(platform::Value::Dictionary& archive, std::string key,
                const std::optional<std::string>& text) {
  if (text) archive.emplace(std::move(key), *text);
}

inline void put(platform::Value::Dictionary& archive, std::string key,
                const std::optional<platform::URL>& url) {
  if (url) archive.emplace(std::move(key), url->absoluteString());
}

inline void put(platform::Value::Dictionary& archive, std::string key,
                const OIDParameters& parameters) {
  platform::Value::Dictionary out;
  for (const auto& [name, value] : parameters) out.emplace(name, value);
  archive.emplace(std::move(key), std::move(out));
}

inline std::optional<std::string> textIn(const platform::Value::Dictionary& archive,
                                         std::string_view key) {
  auto found = archive.find(key);
  if (found == archive.end() || !found->second.asString()) return std::nullopt;
  return *found->second.asString();
}

inline std::optional<platform::URL> urlIn(const platform::Value::Dictionary& archive,
                                          std::string_view key) {
  auto text = textIn(archive, key);
  return text ? platform::URL::parse(*text) : std::nullopt;
}

// The text entries of a dictionary entry; nothing when the entry is absent or no dictionary.
inline std::optional<OIDParameters> parametersIn(const platform::Value::Dictionary& archive,
                                                 std::string_view key) {
  auto found = archive.find(key);
  if (found == archive.end() || !found->second.asDictionary()) return std::nullopt;
  OIDParameters out;
  for (const auto& [name, value] : *found->second.asDictionary()) {
    if (auto text = value.asString()) out.emplace(name, *text);
  }
  return out;
}

// A dictionary entry as it stands; nothing when the entry is absent or no dictionary.
inline std::optional<platform::Value::Dictionary> dictionaryIn(
    const platform::Value::Dictionary& archive, std::string_view key) {
  auto found = archive.find(key);
  if (found == archive.end() || !found->second.asDictionary()) return std::nullopt;
  return *found->second.asDictionary();
}

// The request a response's archive holds under "request".
template <class Request>
std::optional<Request> requestIn(const platform::Value::Dictionary& archive) {
  auto found = archive.find("request");
  if (found == archive.end()) return std::nullopt;
  return Request::fromArchive(found->second);
}

// The service configuration archived under "configuration".
inline std::optional<OIDServiceConfiguration> configurationIn(
    const platform::Value::Dictionary& archive) {
  auto found = archive.find("configuration");
  if (found == archive.end()) return std::nullopt;
  return OIDServiceConfiguration::fromArchive(found->second);
}

}  // namespace tarnwick::archiving
