#include "VoskaryAccount/SignIn/SignInWithAppleDriver.h"

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/UnicodeText.h"

namespace voskary {

namespace {

std::optional<std::string> utf8Text(const std::optional<platform::Bytes>& bytes) {
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  if (!platform::UnicodeText::isValidUTF8(text)) return std::nullopt;
  return text;
}

}  // namespace

SignInWithAppleDriver::SignInWithAppleDriver(VoskaryConfig config) : config_(std::move(config)) {}

SignInWithAppleDriver::AppleAuthorization SignInWithAppleDriver::authorization(
    const platform::AuthorizationCredential& credential) {
  const auto* apple = std::get_if<platform::AppleIDCredential>(&credential);
  if (!apple) throw VoskaryError::authorizationFailed("siwa_missing_credential");
  auto code = utf8Text(apple->authorizationCode);
  if (!code) throw VoskaryError::authorizationFailed("siwa_missing_authcode");
  AppleAuthorization out{std::move(*code), utf8Text(apple->identityToken),
                         apple->user,      std::nullopt,
                         std::nullopt,     apple->email};
  if (apple->fullName) {
    out.givenName = apple->fullName->givenName;
    out.familyName = apple->fullName->familyName;
  }
  return out;
}

VoskaryError SignInWithAppleDriver::map(const platform::Error& error) {
  if (error.bridgedCode() == canceledCode) return VoskaryError::authorizationCancelled();
  return VoskaryError::authorizationFailed(error.description());
}

platform::Task<SignInWithAppleDriver::AppleAuthorization> SignInWithAppleDriver::authorize(
    std::shared_ptr<platform::Window> window) {
  co_await platform::resumeOnMain();
  auto sheet = platform::env().appleIDAuthorization;
  if (!sheet) throw VoskaryError::authorizationFailed("siwa_unavailable");
  auto start = [sheet, window](platform::Continuation<AppleAuthorization> continuation) {
    // The sheet cannot be taken down from here; a cancelled task stops waiting for it.
    continuation.onCancel([](const platform::Continuation<AppleAuthorization>& waiting) {
      waiting.resumeThrowing(VoskaryError::authorizationCancelled());
    });
    // The continuation completes once: a second answer from the platform finds it resumed.
    sheet->performRequest({platform::AppleIDScope::fullName, platform::AppleIDScope::email}, window,
                          [continuation](platform::AppleIDAuthorization::Outcome outcome) {
                            if (continuation.isResumed()) return;
                            try {
                              if (outcome.credential) {
                                continuation.resume(authorization(*outcome.credential));
                              } else if (outcome.error) {
                                continuation.resumeThrowing(map(*outcome.error));
                              } else {
                                continuation.resumeThrowing(
                                    VoskaryError::authorizationFailed("siwa_missing_credential"));
                              }
                            } catch (const VoskaryError& error) {
                              continuation.resumeThrowing(error);
                            }
                          });
  };
  co_return co_await platform::withContinuation<AppleAuthorization>(std::move(start));
}

}  // namespace voskary
