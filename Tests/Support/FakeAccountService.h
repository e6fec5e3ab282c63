#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Sim/SimHTTPServer.h"

namespace voskary::testing {

// The vendor's account service, as the client library relies on it, answering on the
// simulated HTTP server: JSON POSTs to the exchange, refresh, revoke, Apple code and app-data
// token paths. It issues session tokens with rotating refresh tokens, refuses a spent or
// unknown refresh token with 400 "invalid_grant", checks the bearer token of signed-in calls
// (401 when unknown, revoked or expired) and verifies their DPoP proofs on its own: the
// signature over the proof's key, the method, the URL, the token hash and a fresh "jti".
//
// Tests seed accounts and sessions, queue scripted answers per path, add a deprecation header
// to every answer, and hold answers until they release them on the server. The server's
// script refers to this object: keep it for as long as the simulated server takes requests
// (a test fixture's member does).
class FakeAccountService {
 public:
  static constexpr const char* exchangePath = "/api/app-sessions/exchange";
  static constexpr const char* refreshPath = "/api/app-sessions/refresh";
  static constexpr const char* revokePath = "/api/sessions/revoke";
  static constexpr const char* appleAuthcodePath = "/api/integrations/apple/authcode";
  static constexpr const char* appDataTokenPath = "/api/app-data-token";

  struct Session {
    std::string vas;
    std::string refreshToken;
    platform::Date expiresAt;
    std::string accountId;
    std::string email;
  };

  // A proof the service accepted or refused, decoded.
  struct Proof {
    std::string htm;
    std::string htu;
    std::optional<std::string> ath;
    std::string jti;
    std::string jkt;  // RFC 7638 thumbprint of the proof's key
    bool valid = false;
  };

  FakeAccountService(std::shared_ptr<platform::sim::SimHTTPServer> server, platform::URL baseURL,
                     std::string appSlug);

  const platform::URL& baseURL() const { return baseURL_; }
  platform::URL url(const std::string& path) const;

  // A session for a new or known account, as a sign-in would have issued it.
  Session issueSession(const std::string& accountId, const std::string& email);
  // An authorization code that the exchange (with `verifier`) or the Apple path turns into a
  // session of the account.
  void addAuthorizationCode(const std::string& code, const std::string& accountId,
                            const std::string& email, std::optional<std::string> verifier = {});

  // Seconds a new session token lives.
  void setSessionLifetime(double seconds);
  // Whether signed-in calls must carry a DPoP proof (a proof that is sent is always checked).
  void setRequireDPoP(bool required);
  // Added to every answer while set.
  void setDeprecationHeader(std::optional<std::string> value);
  // Answers of `path` are held on the server until the test releases them.
  void setHolding(const std::string& path, bool holding);
  // The next answer of `path` is this one instead of the service's own; queued in order.
  void queueAnswer(const std::string& path, platform::sim::SimHTTPAnswer answer);
  static platform::sim::SimHTTPAnswer jsonAnswer(int status, const platform::JSON& body);

  // Requests that reached each path, held ones included.
  int requestCount(const std::string& path) const;
  std::vector<platform::JSON> bodies(const std::string& path) const;
  std::vector<Proof> proofs() const;
  bool isLive(const std::string& vas) const;

 private:
  platform::sim::SimHTTPAnswer answer(const std::string& path,
                                      const platform::HTTPRequest& request);
  platform::sim::SimHTTPAnswer serve(const std::string& path, const platform::HTTPRequest& request,
                                     const platform::JSON& body);
  // The live session of the request's bearer token, after its proof; an error answer if none.
  std::optional<platform::sim::SimHTTPAnswer> authenticate(const platform::HTTPRequest& request,
                                                           Session& session);
  Proof checkProof(const std::string& proof, const platform::HTTPRequest& request,
                   const std::string& vas);
  Session newSession(const std::string& accountId, const std::string& email);
  platform::JSON sessionJSON(const Session& session) const;

  std::shared_ptr<platform::sim::SimHTTPServer> server_;
  platform::URL baseURL_;
  std::string appSlug_;

  mutable std::mutex mutex_;
  double sessionLifetime_ = 7 * 24 * 3600.0;
  bool requireDPoP_ = false;
  std::optional<std::string> deprecationHeader_;
  std::set<std::string> holding_;
  std::map<std::string, std::deque<platform::sim::SimHTTPAnswer>> queued_;
  std::map<std::string, std::vector<platform::JSON>> bodies_;
  std::map<std::string, Session> sessionsByVas_;
  std::map<std::string, std::string> liveRefreshTokens_;  // refresh token -> vas
  std::set<std::string> spentRefreshTokens_;
  struct Code {
    std::string accountId;
    std::string email;
    std::optional<std::string> verifier;
  };
  std::map<std::string, Code> codes_;
  std::set<std::string> seenJTIs_;
  std::vector<Proof> proofs_;
  int serial_ = 0;
};

}  // namespace voskary::testing
