#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "Platform/Network/HTTPURLResponse.h"
#include "VoskaryAccount/Client/AppDataTokenResponse.h"
#include "VoskaryAccount/Client/AppleAuthcodeResponse.h"
#include "VoskaryAccount/Client/DPoPSigner.h"
#include "VoskaryAccount/Client/IdentityThrottle.h"
#include "VoskaryAccount/Client/StoredSession.h"
#include "VoskaryAccount/Client/TokenRefresher.h"
#include "VoskaryAccount/Client/VasResponse.h"
#include "VoskaryAccount/Client/VoskaryConfig.h"
#include "VoskaryAccount/Client/VoskaryDeprecationNotice.h"
#include "VoskaryAccount/Client/VoskaryError.h"

namespace platform {
class HTTPSession;
}

namespace voskary {

// How `AuthClient::performWithAuthRecovery` treats one request.
struct AuthRecoveryOptions {
  // A request with a session token refreshes it first when it is due, and repairs one 401.
  bool allowAuthRecovery = true;
  // A 2xx answer that carries a must-upgrade notice ends in
  // `AuthClient::IssuedDespiteUpgrade<SendResult>` instead of `requiresUpgrade`.
  bool keepIssuedOnUpgrade = false;
};

// The account library's one road to the identity service. Every request is resolved against
// the identity URL, carries the JSON, user-agent and version headers (and for a signed-in
// call the session token with a DPoP proof), passes the identity throttle, and has its
// deprecation header read, which may end it with an upgrade error. The recovery road also
// refreshes a session that expires within 48 hours before sending and repairs one 401 by a
// refresh and a retry. Non-2xx answers become `VoskaryError` values in `mapStatusError`.
//
// No per-request state: several requests may run at once. Create it with `std::make_shared`
// and set the hooks before the first request; they are only read afterwards.
class AuthClient : public std::enable_shared_from_this<AuthClient> {
 public:
  using SendResult = IdentityThrottle::SendResult;
  using DeprecationHandler = std::function<void(const std::vector<VoskaryDeprecationNotice>&)>;
  using SessionProvider = std::function<std::optional<StoredSession>()>;
  using SessionRefreshed = TokenRefresher::OnRotated;

  // The proactive refresh window.
  static constexpr double refreshAheadSeconds = 172800.0;

  // The body of "/api/app-sessions/exchange"; absent members are left out.
  struct ExchangeBody {
    std::string appSlug;
    std::string code;
    std::optional<std::string> codeVerifier;
    std::string redirectURI;
    std::string clientVersion;
    std::optional<std::string> installID;
    void encode(platform::JSONWriter& json) const;
  };

  // Thrown in place of `requiresUpgrade` where the caller asked for it, when a 2xx answer
  // also told this client version to upgrade: the service has issued what was asked for (a
  // session), which the caller keeps before failing with `error`.
  template <class Answer>
  class IssuedDespiteUpgrade : public std::exception {
   public:
    IssuedDespiteUpgrade(Answer answer, VoskaryError error)
        : answer_(std::move(answer)), error_(std::move(error)) {}
    const Answer& answer() const { return answer_; }
    const VoskaryError& error() const { return error_; }
    const char* what() const noexcept override { return "answer issued with an upgrade notice"; }

   private:
    Answer answer_;
    VoskaryError error_;
  };

  // Without a throttle, one with the default options, the configuration's logger and the
  // environment's clock. Without a signer, requests carry no "DPoP" header.
  explicit AuthClient(VoskaryConfig config, std::shared_ptr<const DPoPSigner> dpopSigner = nullptr,
                      std::shared_ptr<IdentityThrottle> throttle = nullptr);

  // Told of every non-empty deprecation header, with its notices in header order.
  void setOnDeprecationNotice(DeprecationHandler handler) {
    onDeprecationNotice_ = std::move(handler);
  }
  // Gives the stored session whose refresh token the pipeline may spend.
  void setCurrentSessionProvider(SessionProvider provider) {
    currentSessionProvider_ = std::move(provider);
  }
  // Told of every session a refresh issued, with the spent token, before anyone uses it.
  void setOnSessionRefreshed(SessionRefreshed handler) { onSessionRefreshed_ = std::move(handler); }

  // For the library's own calls: resolves `path`, refreshes ahead of expiry, sends, applies
  // the deprecation step and repairs one 401. Returns every answer that passes the deprecation
  // step, whatever its status; the caller then calls `mapStatusError`.
  platform::Task<SendResult> performWithAuthRecovery(std::string path, std::string method,
                                                     std::optional<platform::Bytes> bodyData,
                                                     std::optional<std::string> sessionToken,
                                                     AuthRecoveryOptions options = {});
  // Nothing for a 2xx status; otherwise throws `sessionExpired` (401) or `serverError` with
  // the answer's "error" code.
  void mapStatusError(const platform::HTTPURLResponse& http, const platform::Bytes& data,
                      std::string_view endpoint) const;

  // The one way the library refreshes a session: through the token refresher, with the
  // session-refreshed hook as its rotation callback.
  platform::Task<VasResponse> refreshSerialized(std::string refreshToken);
  // Forgets every refresh answer the client remembers; for signing out.
  void forgetRefreshes();

  // Ends the session token on the service. Any 2xx answer counts as success.
  platform::Task<void> revokeSession(std::string sessionToken);
  // A 2xx answer with a must-upgrade notice ends in
  // `IssuedDespiteUpgrade<AppleAuthcodeResponse>` when it decodes, else in `requiresUpgrade`.
  platform::Task<AppleAuthcodeResponse> exchangeAppleAuthCode(
      std::string authorizationCode, std::optional<std::string> identityToken,
      std::optional<std::string> installID);
  platform::Task<std::string> getAppDataToken(std::string sessionToken);

 private:
  platform::Task<VasResponse> refresh(std::string refreshToken);
  static platform::Task<VasResponse> refreshIfAlive(std::weak_ptr<AuthClient> client,
                                                    std::string refreshToken);

  platform::URL resolve(std::string_view path) const;
  platform::Task<SendResult> perform(platform::URL url, std::string method,
                                     std::optional<platform::Bytes> bodyData,
                                     std::optional<std::string> sessionToken, std::string endpoint);
  static platform::Task<SendResult> transfer(std::shared_ptr<const AuthClient> client,
                                             platform::URL url, std::string method,
                                             std::optional<platform::Bytes> bodyData,
                                             std::optional<std::string> sessionToken,
                                             std::string endpoint);
  void handleDeprecationHeaders(const platform::HTTPURLResponse& response,
                                std::string_view endpoint) const;
  // Whether `storedRefreshToken` answers for any stored session or only for one that expires
  // within the refresh-ahead window.
  enum class RefreshTokenWanted { always, onlyWhenExpiring };
  // A refresh token to spend for this request: from the stored session, when it has one.
  std::optional<std::string> storedRefreshToken(RefreshTokenWanted wanted) const;
  template <class T>
  T decodeAnswer(const platform::Bytes& data, std::string_view endpoint, const char* field) const;
  void log(VoskaryLogLevel level, const std::string& event, const VoskaryLogFields& fields) const;

  VoskaryConfig config_;
  std::shared_ptr<platform::HTTPSession> session_;
  std::shared_ptr<const DPoPSigner> dpopSigner_;
  VoskaryLogger logger_;
  std::shared_ptr<IdentityThrottle> throttle_;
  DeprecationHandler onDeprecationNotice_;
  SessionProvider currentSessionProvider_;
  SessionRefreshed onSessionRefreshed_;
  TokenRefresher tokenRefresher_;
};

}  // namespace voskary
