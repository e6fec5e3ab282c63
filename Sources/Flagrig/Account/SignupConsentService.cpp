#include "SignupConsentService.h"

#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Flagrig/Shell/Constants.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Network/HTTPSession.h"

namespace flagrig {

namespace {

platform::Bytes bytesOf(const std::string& text) {
  return platform::Bytes(text.begin(), text.end());
}

// Sends `request` once and logs what went wrong: a status outside 2xx, a failed transfer.
// The body of the answer is never read.
platform::Task<void> sendOnce(platform::HTTPRequest request, std::string what) {
  platform::HTTPResult result;
  try {
    result = co_await platform::env().httpSession->data(std::move(request));
  } catch (const platform::Error& error) {
    Log::error("consent", what + " network error", &error);
    co_return;
  }
  const auto* http = result.response ? result.response->asHTTP() : nullptr;
  if (!http) co_return;
  const int status = http->statusCode();
  if (status < 200 || status > 299) Log::warn("consent", what + " HTTP " + std::to_string(status));
}

}  // namespace

bool SignupConsentService::marketingPreChecked() {
  return platform::env().processInfo->localeRegion() == "US";
}

std::string SignupConsentService::consentMethod(const MarketingBox& marketing) {
  return marketing.checked && !marketing.touched && marketing.initiallyChecked
             ? "default_checked"
             : "explicit_checkbox";
}

platform::Task<void> SignupConsentService::submit(std::shared_ptr<VoskaryAccountBridge> bridge,
                                                  MarketingBox marketing) {
  auto session = bridge ? bridge->currentSession() : std::nullopt;
  // Only an account session token authorises a consent.
  if (!session || !session->sessionToken.starts_with("vas_")) {
    Log::warn("consent", "missing VAS; skipping consent capture");
    co_return;
  }
  // One after the other, whatever the first one's outcome.
  co_await postConsent("terms", session->sessionToken, bridge);
  co_await postConsent("privacy", session->sessionToken, bridge);
  if (!marketing.checked) co_return;
  auto email = platform::UnicodeText::trimmed(session->email,
                                              platform::UnicodeText::WhiteSpace::spacesAndNewlines);
  if (email.empty()) co_return;
  std::optional<std::string> accountID;
  if (session->accountID.starts_with("va_")) accountID = session->accountID;
  co_await postMarketingCapture(std::move(email), std::move(accountID), consentMethod(marketing));
}

platform::Task<void> SignupConsentService::postConsent(
    std::string kind, std::string sessionToken, std::shared_ptr<VoskaryAccountBridge> bridge) {
  const auto url = Constants::SignupConsent::consentsURL();
  platform::HTTPRequest request(url);
  request.httpMethod = "POST";
  request.timeoutInterval = requestTimeout;
  request.setValue("application/json", "Content-Type");
  request.setValue("Bearer " + sessionToken, "Authorization");
  std::optional<std::string> proof;
  try {
    proof = bridge->manager()->generateDPoPProof(url, "POST", sessionToken);
  } catch (const platform::Error&) {
    // Sent without a proof; the service decides.
  }
  if (proof) request.setValue(*proof, "DPoP");
  platform::JSON body = platform::JSON::object();
  body["kind"] = kind;
  body["version"] = consentVersion;
  body["surface"] = consentSurface;
  body["verbatim_text"] = termsText;
  request.httpBody = bytesOf(platform::JSONSerialization::serialize(body));
  co_await sendOnce(std::move(request), "consent " + kind);
}

platform::Task<void> SignupConsentService::postMarketingCapture(
    std::string email, std::optional<std::string> voskaryAccountID, std::string consentMethod) {
  platform::HTTPRequest request(Constants::SignupConsent::marketingCaptureURL());
  request.httpMethod = "POST";
  request.timeoutInterval = requestTimeout;
  request.setValue("application/json", "Content-Type");
  platform::JSON body = platform::JSON::object();
  body["email"] = email;
  body["list_slug"] = marketingList;
  body["app_slug"] = appSlug;
  body["source_type"] = marketingSourceType;
  body["consent_method"] = consentMethod;
  body["consent_text"] = marketingConsentText;
  body["consent_version"] = consentVersion;
  if (voskaryAccountID) body["voskary_account_id"] = *voskaryAccountID;
  request.httpBody = bytesOf(platform::JSONSerialization::serialize(body));
  co_await sendOnce(std::move(request), "marketing capture");
}

}  // namespace flagrig
