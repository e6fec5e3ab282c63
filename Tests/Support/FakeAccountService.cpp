#include "Support/FakeAccountService.h"

#include <cmath>

#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Security/SHA256.h"
#include "Support/CompactJWS.h"

namespace voskary::testing {

using platform::JSON;
using platform::sim::SimHTTPAnswer;

namespace {

const char* const kPaths[] = {FakeAccountService::exchangePath, FakeAccountService::refreshPath,
                              FakeAccountService::revokePath, FakeAccountService::appleAuthcodePath,
                              FakeAccountService::appDataTokenPath};

std::optional<JSON> jsonOf(std::string_view text) {
  try {
    return platform::JSONSerialization::parse(text);
  } catch (const platform::DecodingError&) {
    return std::nullopt;
  }
}

std::optional<std::string> textMember(const JSON& object, const char* key) {
  if (!object.is_object() || !object.contains(key) || !object[key].is_string()) return std::nullopt;
  return object[key].get<std::string>();
}

std::string b64url(std::span<const std::uint8_t> bytes) {
  return platform::Base64::urlEncode(bytes);
}

SimHTTPAnswer error(int status, const std::string& code) {
  return FakeAccountService::jsonAnswer(status, {{"error", code}});
}

}  // namespace

FakeAccountService::FakeAccountService(std::shared_ptr<platform::sim::SimHTTPServer> server,
                                       platform::URL baseURL, std::string appSlug)
    : server_(std::move(server)), baseURL_(std::move(baseURL)), appSlug_(std::move(appSlug)) {
  for (const char* path : kPaths) {
    std::string p = path;
    server_->respond(
        "POST", url(p).absoluteString(),
        [this, p](const platform::HTTPRequest& request) { return answer(p, request); });
  }
}

platform::URL FakeAccountService::url(const std::string& path) const {
  return *platform::URL::parse(path, baseURL_);
}

SimHTTPAnswer FakeAccountService::jsonAnswer(int status, const JSON& body) {
  return SimHTTPAnswer::json(status, platform::JSONSerialization::serialize(body));
}

void FakeAccountService::setSessionLifetime(double seconds) {
  std::lock_guard lock(mutex_);
  sessionLifetime_ = seconds;
}

void FakeAccountService::setRequireDPoP(bool required) {
  std::lock_guard lock(mutex_);
  requireDPoP_ = required;
}

void FakeAccountService::setDeprecationHeader(std::optional<std::string> value) {
  std::lock_guard lock(mutex_);
  deprecationHeader_ = std::move(value);
}

void FakeAccountService::setHolding(const std::string& path, bool holding) {
  std::lock_guard lock(mutex_);
  if (holding) {
    holding_.insert(path);
  } else {
    holding_.erase(path);
  }
}

void FakeAccountService::queueAnswer(const std::string& path, SimHTTPAnswer answer) {
  std::lock_guard lock(mutex_);
  queued_[path].push_back(std::move(answer));
}

int FakeAccountService::requestCount(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto found = bodies_.find(path);
  return found == bodies_.end() ? 0 : static_cast<int>(found->second.size());
}

std::vector<JSON> FakeAccountService::bodies(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto found = bodies_.find(path);
  return found == bodies_.end() ? std::vector<JSON>{} : found->second;
}

std::vector<FakeAccountService::Proof> FakeAccountService::proofs() const {
  std::lock_guard lock(mutex_);
  return proofs_;
}

bool FakeAccountService::isLive(const std::string& vas) const {
  std::lock_guard lock(mutex_);
  auto found = sessionsByVas_.find(vas);
  return found != sessionsByVas_.end() && platform::env().clock->now() < found->second.expiresAt;
}

FakeAccountService::Session FakeAccountService::issueSession(const std::string& accountId,
                                                             const std::string& email) {
  std::lock_guard lock(mutex_);
  return newSession(accountId, email);
}

void FakeAccountService::addAuthorizationCode(const std::string& code, const std::string& accountId,
                                              const std::string& email,
                                              std::optional<std::string> verifier) {
  std::lock_guard lock(mutex_);
  codes_[code] = {accountId, email, std::move(verifier)};
}

FakeAccountService::Session FakeAccountService::newSession(const std::string& accountId,
                                                           const std::string& email) {
  ++serial_;
  Session session{"vas_" + std::to_string(serial_), "rt_" + std::to_string(serial_),
                  platform::env().clock->now().addingTimeInterval(sessionLifetime_), accountId,
                  email};
  sessionsByVas_[session.vas] = session;
  liveRefreshTokens_[session.refreshToken] = session.vas;
  return session;
}

JSON FakeAccountService::sessionJSON(const Session& session) const {
  return {{"ok", true},
          {"vas", session.vas},
          {"refresh_token", session.refreshToken},
          {"expires_at", platform::DateFormats::iso8601(session.expiresAt)},
          {"voskary_account_id", session.accountId},
          {"email", session.email},
          {"app_slug", appSlug_}};
}

SimHTTPAnswer FakeAccountService::answer(const std::string& path,
                                         const platform::HTTPRequest& request) {
  std::lock_guard lock(mutex_);
  std::string text = request.httpBody
                         ? std::string(request.httpBody->begin(), request.httpBody->end())
                         : std::string();
  JSON body = request.httpBody ? jsonOf(text).value_or(JSON("not JSON")) : JSON();
  bodies_[path].push_back(body);

  SimHTTPAnswer out;
  if (auto& queue = queued_[path]; !queue.empty()) {
    out = queue.front();
    queue.pop_front();
  } else {
    out = serve(path, request, body);
  }
  if (deprecationHeader_) out.headerFields.set("Voskary-Deprecation", *deprecationHeader_);
  if (holding_.count(path)) out.held = true;
  return out;
}

SimHTTPAnswer FakeAccountService::serve(const std::string& path,
                                        const platform::HTTPRequest& request, const JSON& body) {
  const bool signedIn = path == revokePath || path == appDataTokenPath;
  Session session;
  if (signedIn) {
    if (auto refused = authenticate(request, session)) return *refused;
  }
  if (path == revokePath) {
    liveRefreshTokens_.erase(session.refreshToken);
    sessionsByVas_.erase(session.vas);
    return jsonAnswer(200, {{"ok", true}});
  }
  if (textMember(body, "app_slug") != appSlug_) return error(400, "invalid_request");

  if (path == appDataTokenPath) {
    return jsonAnswer(200,
                      {{"ok", true},
                       {"app_data_token", "adt_" + session.vas},
                       {"expires_at", platform::DateFormats::iso8601(
                                          platform::env().clock->now().addingTimeInterval(600))}});
  }
  if (path == refreshPath) {
    auto token = textMember(body, "refresh_token");
    if (!token) return error(400, "invalid_request");
    auto live = liveRefreshTokens_.find(*token);
    if (live == liveRefreshTokens_.end()) return error(400, "invalid_grant");
    // Rotation: the old refresh token is spent and the old session token ends with it.
    Session old = sessionsByVas_[live->second];
    liveRefreshTokens_.erase(live);
    spentRefreshTokens_.insert(*token);
    sessionsByVas_.erase(old.vas);
    return jsonAnswer(200, sessionJSON(newSession(old.accountId, old.email)));
  }
  // The exchange and the Apple path turn a one-time code into a session.
  auto code = textMember(body, path == exchangePath ? "code" : "authorization_code");
  auto known = code ? codes_.find(*code) : codes_.end();
  if (known == codes_.end()) return error(400, "invalid_grant");
  if (path == exchangePath && known->second.verifier &&
      textMember(body, "code_verifier") != known->second.verifier) {
    return error(400, "invalid_grant");
  }
  Code granted = known->second;
  codes_.erase(known);
  JSON answer = sessionJSON(newSession(granted.accountId, granted.email));
  if (path == appleAuthcodePath) {
    answer.erase("app_slug");
    answer["is_new_user"] = false;
  }
  return jsonAnswer(200, answer);
}

std::optional<SimHTTPAnswer> FakeAccountService::authenticate(const platform::HTTPRequest& request,
                                                              Session& session) {
  auto authorization = request.value("Authorization");
  if (!authorization || authorization->rfind("Bearer ", 0) != 0) return error(401, "unauthorized");
  std::string vas = authorization->substr(7);
  auto found = sessionsByVas_.find(vas);
  if (found == sessionsByVas_.end() || !(platform::env().clock->now() < found->second.expiresAt))
    return error(401, "invalid_token");
  auto proof = request.value("DPoP");
  if (proof) {
    Proof checked = checkProof(*proof, request, vas);
    proofs_.push_back(checked);
    if (!checked.valid) return error(401, "invalid_dpop_proof");
  } else if (requireDPoP_) {
    return error(401, "invalid_dpop_proof");
  }
  session = found->second;
  return std::nullopt;
}

FakeAccountService::Proof FakeAccountService::checkProof(const std::string& proof,
                                                         const platform::HTTPRequest& request,
                                                         const std::string& vas) {
  Proof out;
  auto jws = CompactJWS::parse(proof);
  if (!jws) return out;
  auto header = jsonOf(jws->header);
  auto claims = jsonOf(jws->claims);
  if (!header || !claims || !header->is_object() || !claims->is_object()) return out;
  if (textMember(*header, "typ") != "dpop+jwt" || textMember(*header, "alg") != "ES256") return out;
  if (!header->contains("jwk")) return out;
  const JSON& jwk = (*header)["jwk"];
  auto x = textMember(jwk, "x"), y = textMember(jwk, "y");
  if (textMember(jwk, "kty") != "EC" || textMember(jwk, "crv") != "P-256" || !x || !y) return out;
  out.jkt = b64url(platform::SHA256::hash(R"({"crv":"P-256","kty":"EC","x":")" + *x + R"(","y":")" +
                                          *y + R"("})"));
  out.htm = textMember(*claims, "htm").value_or("");
  out.htu = textMember(*claims, "htu").value_or("");
  out.ath = textMember(*claims, "ath");
  out.jti = textMember(*claims, "jti").value_or("");
  if (!jws->verifies(*x, *y)) return out;

  const std::string target = request.url.withPercentEncodedQuery(std::nullopt)
                                 .withPercentEncodedFragment(std::nullopt)
                                 .absoluteString();
  const double now = platform::env().clock->now().secondsSince1970;
  const bool fresh = claims->contains("iat") && (*claims)["iat"].is_number_integer() &&
                     std::abs((*claims)["iat"].get<double>() - now) <= 300;
  const bool unseen = !out.jti.empty() && seenJTIs_.insert(out.jti).second;
  out.valid = out.htm == request.httpMethod && out.htu == target &&
              out.ath == b64url(platform::SHA256::hash(vas)) && fresh && unseen;
  return out;
}

}  // namespace voskary::testing
