#include "Support/Tarnwick/FakeAuthority.h"

#include <algorithm>
#include <sstream>

#include "Platform/Foundation/Base64.h"
#include "Platform/Security/SHA256.h"

namespace tarnwick::testing {

using platform::URL;

namespace {

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

}  // namespace

FakeAuthority::FakeAuthority(Configuration configuration)
    : configuration_(std::move(configuration)) {}

URL FakeAuthority::discoveryURL() const {
  return configuration_.issuer.appendingPathComponent(".well-known/openid-configuration");
}

URL FakeAuthority::authorizationEndpoint() const {
  return configuration_.issuer.appendingPathComponent("authorize");
}

std::string FakeAuthority::discoveryJSON() const {
  const std::string issuer = configuration_.issuer.absoluteString();
  const URL base = configuration_.issuer;
  return R"({"issuer":")" + issuer + R"(","authorization_endpoint":")" +
         authorizationEndpoint().absoluteString() + R"(","token_endpoint":")" +
         base.appendingPathComponent("token").absoluteString() + R"(","jwks_uri":")" +
         base.appendingPathComponent("jwks").absoluteString() +
         R"(","response_types_supported":["code"],"subject_types_supported":["public"],)"
         R"("id_token_signing_alg_values_supported":["ES256"],"scopes_supported":["openid","voskary.account"],)"
         R"("code_challenge_methods_supported":["S256"]})";
}

std::optional<URL> FakeAuthority::redirectFor(const URL& authorizationURL) {
  requests_.push_back(authorizationURL);
  URL endpoint = authorizationEndpoint();
  if (authorizationURL.scheme() != endpoint.scheme() ||
      authorizationURL.host() != endpoint.host() || authorizationURL.path() != endpoint.path()) {
    return std::nullopt;
  }

  std::map<std::string, std::string> query;
  std::string repeated;
  for (const auto& item : authorizationURL.queryItems()) {
    if (query.contains(item.name)) repeated = item.name;
    query[item.name] = item.value.value_or("");
  }
  if (query["client_id"] != configuration_.clientID ||
      query["redirect_uri"] != configuration_.redirectURI.absoluteString()) {
    return std::nullopt;
  }

  std::map<std::string, std::string> answer;
  auto invalid = [&](const std::string& why) {
    answer = {{"error", "invalid_request"}, {"error_description", why}};
    if (query.contains("state")) answer["state"] = query["state"];
    return redirect(answer);
  };
  if (!repeated.empty()) return invalid(repeated + " given more than once");
  if (query["response_type"] != "code") return invalid("response_type must be code");
  if (query["state"].empty()) return invalid("state missing");
  if (query["nonce"].empty()) return invalid("nonce missing");
  if (query["code_challenge"].size() != 43) return invalid("code_challenge missing");
  if (query["code_challenge_method"] != "S256")
    return invalid("code_challenge_method must be S256");
  auto scopes = words(query["scope"]);
  for (const auto& scope : configuration_.requiredScopes) {
    if (std::find(scopes.begin(), scopes.end(), scope) == scopes.end()) {
      return invalid("scope must include " + scope);
    }
  }

  switch (outcome_) {
    case Outcome::deny:
      answer = {{"error", "access_denied"}, {"state", query["state"]}};
      break;
    case Outcome::withoutCode:
      answer = {{"state", query["state"]}};
      break;
    case Outcome::signIn:
    case Outcome::wrongState: {
      std::string code = "code-" + std::to_string(++issued_);
      challenges_[code] = query["code_challenge"];
      answer = {{"code", code},
                {"state", outcome_ == Outcome::signIn ? query["state"] : "not-the-request-state"}};
      break;
    }
  }
  outcome_ = Outcome::signIn;
  return redirect(answer);
}

URL FakeAuthority::redirect(const std::map<std::string, std::string>& parameters) const {
  std::vector<URL::QueryItem> items;
  for (const auto& [name, value] : parameters) items.push_back({name, value});
  return configuration_.redirectURI.withQueryItems(items);
}

bool FakeAuthority::redeem(const std::string& code, const std::string& codeVerifier) const {
  auto found = challenges_.find(code);
  if (found == challenges_.end()) return false;
  return platform::Base64::urlEncode(platform::SHA256::hash(codeVerifier)) == found->second;
}

}  // namespace tarnwick::testing
