#include "Support/StandIns/SignInStandIns.h"

#include <nlohmann/json.hpp>

#include "Platform/Foundation/URL.h"

namespace voskary::testing {

namespace {

using platform::testing::LoopbackHTTPServer;

constexpr std::string_view kControl = "/_standin/";
constexpr std::string_view kAuthority = "/auth/";

std::string pathOf(const std::string& target) {
  return target.substr(0, target.find('?'));
}

std::map<std::string, std::string> queryOf(const std::string& target) {
  std::map<std::string, std::string> query;
  platform::URL url("http://127.0.0.1" + target);
  for (const auto& item : url.queryItems()) query[item.name] = item.value.value_or("");
  return query;
}

std::string json(int status, const nlohmann::json& body) {
  return LoopbackHTTPServer::answer(status, {{"Content-Type", "application/json"}}, body.dump());
}

// A value worth looking for elsewhere: long enough not to match ordinary text.
void keep(std::set<std::string>& secrets, std::string value) {
  if (value.size() >= 12) secrets.insert(std::move(value));
}

void keepFromJSON(std::set<std::string>& secrets, const nlohmann::json& value,
                  const std::string& key = {}) {
  if (value.is_object()) {
    for (const auto& [name, inner] : value.items()) keepFromJSON(secrets, inner, name);
  } else if (value.is_array()) {
    for (const auto& inner : value) keepFromJSON(secrets, inner, key);
  } else if (value.is_string()) {
    for (const char* word : {"code", "verifier", "token", "vas", "secret", "state", "proof"})
      if (key.find(word) != std::string::npos) keep(secrets, value.get<std::string>());
  }
}

}  // namespace

SignInStandIns::SignInStandIns(int port)
    : authority_({platform::URL("http://127.0.0.1:" + std::to_string(port) + "/auth"),
                  "flagrig",
                  platform::URL("flagrig://auth/callback"),
                  {}}),
      accounts_(port, [this](const Request& request) { return answer(request); }) {
  // Every session ends within the hour, so that the app refreshes it at its next signed-in
  // call, with a proof.
  accounts_.service().setSessionLifetime(3600);
  accounts_.service().setRequireDPoP(true);
}

std::string SignInStandIns::answer(const Request& request) {
  const std::string path = pathOf(request.target);
  std::string reply;
  {
    std::lock_guard lock(mutex_);
    ++counts_[request.method + " " + path];
    if (path.starts_with(kControl))
      return control(request, path.substr(kControl.size()), queryOf(request.target));
    if (auto failing = failNext_.find(path); failing != failNext_.end()) {
      const int status = failing->second;
      failNext_.erase(failing);
      return json(status, {{"error", "server_error"}});
    }
    if (path.starts_with(kAuthority)) {
      if (authorityDown_) return {};
      if (path == "/auth/.well-known/openid-configuration")
        return LoopbackHTTPServer::answer(200, {{"Content-Type", "application/json"}},
                                          authority_.discoveryJSON());
      reply = authorize(request);
      keepSecrets(request, reply);
      return reply;
    }
    if (path == FakeAccountService::exchangePath) {
      auto body = nlohmann::json::parse(request.body, nullptr, false);
      const auto code = body.is_object() ? body.value("code", "") : "";
      const auto verifier = body.is_object() ? body.value("code_verifier", "") : "";
      if (!authority_.redeem(code, verifier)) {
        keepSecrets(request, {});
        return json(400, {{"error", "invalid_grant"}});
      }
    }
    if (path == "/diagnostics") {
      largestReport_ = std::max(largestReport_, request.body.size());
      for (const auto& [name, value] : request.headerFields)
        if (platform::HTTPHeaderFields::sameName(name, "Content-Type") &&
            value.starts_with("multipart/form-data") && !request.body.empty())
          ++multipartReports_;
      keepSecrets(request, {});
      return json(201, {{"short_code", reportCode}});
    }
  }
  // The account service's own paths take its lock, not ours.
  if (auto served = accounts_.serve(request)) {
    std::lock_guard lock(mutex_);
    keepSecrets(request, *served);
    return *served;
  }
  std::lock_guard lock(mutex_);
  keepSecrets(request, {});
  if (path.ends_with("/api/geo")) return json(200, {{"is_eu", false}, {"country", "US"}});
  return json(200, nlohmann::json::object());
}

std::string SignInStandIns::authorize(const Request& request) {
  auto redirect = authority_.redirectFor(platform::URL(accounts_.url(request.target)));
  if (!redirect) return LoopbackHTTPServer::answer(400, {}, "unknown request");
  for (const auto& item : redirect->queryItems())
    if (item.name == "code" && item.value)
      accounts_.service().addAuthorizationCode(*item.value, accountID, email);
  return LoopbackHTTPServer::answer(302, {{"Location", redirect->absoluteString()}}, "");
}

std::string SignInStandIns::control(const Request& request, const std::string& verb,
                                    const std::map<std::string, std::string>& query) {
  auto value = [&](const char* name) {
    auto found = query.find(name);
    return found == query.end() ? std::string() : found->second;
  };
  if (verb == "state" && request.method == "GET") return state();
  if (request.method != "POST") return json(405, {{"error", "POST"}});
  if (verb == "outcome") {
    using Outcome = tarnwick::testing::FakeAuthority::Outcome;
    static const std::map<std::string, Outcome> outcomes = {{"signIn", Outcome::signIn},
                                                            {"deny", Outcome::deny},
                                                            {"wrongState", Outcome::wrongState},
                                                            {"withoutCode", Outcome::withoutCode}};
    auto found = outcomes.find(value("next"));
    if (found == outcomes.end()) return json(400, {{"error", "next"}});
    authority_.setNextOutcome(found->second);
  } else if (verb == "authority") {
    authorityDown_ = value("down") == "1";
  } else if (verb == "fail") {
    const auto status = value("status");
    if (value("path").empty() || status.empty()) return json(400, {{"error", "path, status"}});
    failNext_[value("path")] = std::stoi(status);
  } else {
    return json(404, {{"error", verb}});
  }
  return json(200, {{"ok", true}});
}

std::string SignInStandIns::state() {
  auto& service = accounts_.service();
  nlohmann::json proofs = nlohmann::json::array();
  for (const auto& proof : service.proofs())
    proofs.push_back({{"htm", proof.htm}, {"htu", proof.htu}, {"valid", proof.valid}});
  nlohmann::json live = nlohmann::json::object();
  return json(200, {{"requests", counts_},
                    {"proofs", proofs},
                    {"exchanges", service.requestCount(FakeAccountService::exchangePath)},
                    {"refreshes", service.requestCount(FakeAccountService::refreshPath)},
                    {"revocations", service.requestCount(FakeAccountService::revokePath)},
                    {"largestReport", largestReport_},
                    {"multipartReports", multipartReports_},
                    {"secrets", secrets_}});
}

void SignInStandIns::keepSecrets(const Request& request, const std::string& reply) {
  for (const auto& [name, value] : request.headerFields) {
    if (platform::HTTPHeaderFields::sameName(name, "Authorization")) {
      keep(secrets_, value.substr(value.find(' ') + 1));
    } else if (platform::HTTPHeaderFields::sameName(name, "DPoP")) {
      keep(secrets_, value);
    }
  }
  keepFromJSON(secrets_, nlohmann::json::parse(request.body, nullptr, false));
  for (const auto& [name, value] : queryOf(request.target))
    if (name == "state" || name == "code_challenge" || name == "code") keep(secrets_, value);
  const auto bodyAt = reply.find("\r\n\r\n");
  if (bodyAt != std::string::npos)
    keepFromJSON(secrets_, nlohmann::json::parse(reply.substr(bodyAt + 4), nullptr, false));
  if (const auto location = reply.find("Location: "); location != std::string::npos) {
    const auto end = reply.find("\r\n", location);
    platform::URL redirect(reply.substr(location + 10, end - location - 10));
    for (const auto& item : redirect.queryItems())
      if (item.value && (item.name == "code" || item.name == "state")) keep(secrets_, *item.value);
  }
}

}  // namespace voskary::testing
