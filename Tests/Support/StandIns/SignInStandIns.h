#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "Support/StandIns/AccountServiceOverHTTP.h"
#include "Support/Tarnwick/FakeAuthority.h"

namespace voskary::testing {

// Everything the app talks to while a user signs in, on one loopback port, for an end-to-end
// run of the real app: the OpenID Connect authority under "/auth" (discovery, a sign-in page
// that approves at once and redirects to the app with the code and the state it was given), the
// account service at the root (exchange with the PKCE verifier checked against the authority's
// challenge, refresh with DPoP proofs verified, revocation, the diagnostic report upload), and
// the analytics, consent and other addresses, which take anything and answer 200.
//
// A run steers it over "/_standin/…": `POST outcome?next=signIn|deny|wrongState|withoutCode`,
// `POST authority?down=1|0`, `POST fail?path=<path>&status=<code>` (the next answer of that
// path), and `GET state` for what it received and every secret it issued or was sent (codes,
// verifiers, tokens, proofs), so that a run can check that none of them was written anywhere.
class SignInStandIns {
 public:
  static constexpr const char* email = "someone@voskary.test";
  static constexpr const char* accountID = "va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b";
  static constexpr const char* reportCode = "E2E-7Q4K";

  explicit SignInStandIns(int port);

  std::string base() const { return accounts_.base(); }
  std::string issuer() const { return accounts_.url("/auth"); }

 private:
  using Request = platform::testing::LoopbackHTTPServer::Request;

  std::string answer(const Request& request);
  std::string control(const Request& request, const std::string& verb,
                      const std::map<std::string, std::string>& query);
  std::string authorize(const Request& request);
  std::string state();
  void keepSecrets(const Request& request, const std::string& reply);

  std::mutex mutex_;
  tarnwick::testing::FakeAuthority authority_;
  bool authorityDown_ = false;
  std::map<std::string, int> failNext_;  // path to status
  std::map<std::string, int> counts_;    // "METHOD path" to requests
  std::set<std::string> secrets_;
  std::size_t largestReport_ = 0;
  int multipartReports_ = 0;         // reports that came as a non-empty multipart body
  AccountServiceOverHTTP accounts_;  // last: its server calls back into the members above
};

}  // namespace voskary::testing
