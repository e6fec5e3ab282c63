#include "TarnwickCore/OIDServiceConfiguration.h"

#include "TarnwickCore/OIDDescription.h"

namespace tarnwick {

using platform::URL;
using platform::Value;

namespace {

std::optional<URL> urlIn(const Value::Dictionary& archive, std::string_view key) {
  auto found = archive.find(key);
  if (found == archive.end() || !found->second.asString()) return std::nullopt;
  return URL::parse(*found->second.asString());
}

void put(Value::Dictionary& archive, std::string key, const std::optional<URL>& url) {
  if (url) archive.emplace(std::move(key), url->absoluteString());
}

}  // namespace

OIDServiceConfiguration::OIDServiceConfiguration(
    URL authorizationEndpoint, URL tokenEndpoint, std::optional<URL> issuer,
    std::optional<URL> registrationEndpoint, std::optional<URL> endSessionEndpoint,
    std::optional<OIDServiceDiscovery> discoveryDocument)
    : authorizationEndpoint_(std::move(authorizationEndpoint)),
      tokenEndpoint_(std::move(tokenEndpoint)),
      issuer_(std::move(issuer)),
      registrationEndpoint_(std::move(registrationEndpoint)),
      endSessionEndpoint_(std::move(endSessionEndpoint)),
      discoveryDocument_(std::move(discoveryDocument)) {}

OIDServiceConfiguration::OIDServiceConfiguration(const OIDServiceDiscovery& discoveryDocument)
    : OIDServiceConfiguration(discoveryDocument.authorizationEndpoint().value_or(URL()),
                              discoveryDocument.tokenEndpoint().value_or(URL()),
                              discoveryDocument.issuer(), discoveryDocument.registrationEndpoint(),
                              discoveryDocument.endSessionEndpoint(), discoveryDocument) {}

OIDServiceConfiguration OIDServiceConfiguration::withRegistrationEndpoint(
    URL authorizationEndpoint, URL tokenEndpoint, URL registrationEndpoint) {
  return OIDServiceConfiguration(std::move(authorizationEndpoint), std::move(tokenEndpoint),
                                 std::nullopt, std::move(registrationEndpoint));
}

Value OIDServiceConfiguration::archive() const {
  Value::Dictionary archive;
  put(archive, "authorizationEndpoint", authorizationEndpoint_);
  put(archive, "tokenEndpoint", tokenEndpoint_);
  put(archive, "issuer", issuer_);
  put(archive, "registrationEndpoint", registrationEndpoint_);
  if (discoveryDocument_) archive.emplace("discoveryDocument", discoveryDocument_->archive());
  put(archive, "endSessionEndpoint", endSessionEndpoint_);
  return archive;
}

std::optional<OIDServiceConfiguration> OIDServiceConfiguration::fromArchive(const Value& archive) {
  const Value::Dictionary* dictionary = archive.asDictionary();
  if (!dictionary) return std::nullopt;
  auto authorizationEndpoint = urlIn(*dictionary, "authorizationEndpoint");
  auto tokenEndpoint = urlIn(*dictionary, "tokenEndpoint");
  if (!authorizationEndpoint || !tokenEndpoint) return std::nullopt;
  std::optional<OIDServiceDiscovery> discovery;
  if (auto found = dictionary->find("discoveryDocument"); found != dictionary->end()) {
    discovery = OIDServiceDiscovery::fromArchive(found->second);
  }
  return OIDServiceConfiguration(std::move(*authorizationEndpoint), std::move(*tokenEndpoint),
                                 urlIn(*dictionary, "issuer"),
                                 urlIn(*dictionary, "registrationEndpoint"),
                                 urlIn(*dictionary, "endSessionEndpoint"), std::move(discovery));
}

std::string OIDServiceConfiguration::description() const {
  return "OIDServiceConfiguration authorizationEndpoint: " +
         authorizationEndpoint_.absoluteString() +
         ", tokenEndpoint: " + tokenEndpoint_.absoluteString() +
         ", registrationEndpoint: " + OIDDescription::of(registrationEndpoint_) +
         ", endSessionEndpoint: " + OIDDescription::of(endSessionEndpoint_) +
         ", discoveryDocument: [" +
         (discoveryDocument_ ? discoveryDocument_->description() : std::string("(null)")) + "]";
}

}  // namespace tarnwick
