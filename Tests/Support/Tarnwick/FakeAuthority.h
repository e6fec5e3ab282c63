#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/URL.h"

namespace tarnwick::testing {

// A stand-in for the OpenID Connect authority the app signs in with: it publishes a discovery
// document and plays the sign-in page, checking an authorization URL the way the provider does
// and answering with the redirect it would send the browser to. Codes it issues remember their
// PKCE challenge, so a test can check that the request's verifier redeems them.
class FakeAuthority {
 public:
  struct Configuration {
    platform::URL issuer{"https://id.example.test"};
    std::string clientID = "flagrig";
    platform::URL redirectURI{"flagrig://auth/callback"};
    // Scopes the request must ask for.
    std::vector<std::string> requiredScopes;
  };

  // What the user does on the sign-in page.
  enum class Outcome {
    signIn,       // code and the request's state
    deny,         // error=access_denied
    wrongState,   // a code with a state the request did not send
    withoutCode,  // the request's state and no code
  };

  FakeAuthority() : FakeAuthority(Configuration{}) {}
  explicit FakeAuthority(Configuration configuration);

  const Configuration& configuration() const { return configuration_; }
  platform::URL discoveryURL() const;
  platform::URL authorizationEndpoint() const;
  // The discovery document as JSON text.
  std::string discoveryJSON() const;

  void setNextOutcome(Outcome outcome) { outcome_ = outcome; }
  // The redirect the page sends the browser to, or nothing when it shows an error page of its
  // own (not its endpoint, or a client or redirect URI it does not know). A request that is
  // malformed otherwise gets error=invalid_request naming the parameter.
  std::optional<platform::URL> redirectFor(const platform::URL& authorizationURL);

  // Whether `code` was issued and `codeVerifier` is the verifier of its challenge.
  bool redeem(const std::string& code, const std::string& codeVerifier) const;
  const std::vector<platform::URL>& authorizationRequests() const { return requests_; }

 private:
  platform::URL redirect(const std::map<std::string, std::string>& parameters) const;

  Configuration configuration_;
  Outcome outcome_ = Outcome::signIn;
  std::vector<platform::URL> requests_;
  std::map<std::string, std::string> challenges_;  // code to challenge
  int issued_ = 0;
};

}  // namespace tarnwick::testing
