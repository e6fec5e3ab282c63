#include "DiagnosticUploader.h"

#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Analytics/AccountServiceEndpoints.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/ZipWriter.h"
#include "Flagrig/Shell/Constants.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UUID.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Network/HTTPSession.h"

namespace flagrig {

using platform::JSON;

namespace {

platform::SharedInstance<DiagnosticUploader>& instance() {
  static platform::SharedInstance<DiagnosticUploader> uploader;
  return uploader;
}

// At most `n` bytes of UTF-8, never ending inside a character.
std::string cut(std::string_view text, std::size_t n) {
  return platform::UnicodeText::truncatedUTF8(text, n);
}

std::optional<JSON> parseBody(std::span<const std::uint8_t> body) {
  try {
    return platform::JSONSerialization::parse(
        std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  } catch (const platform::Error&) {
    return std::nullopt;
  }
}

// Without C0 and C1 control characters and DEL: a server's text must not move the cursor,
// break lines or ring the bell in the alert that shows it.
std::string withoutControlCharacters(std::string_view text) {
  const std::string valid = platform::UnicodeText::repairedUTF8(text);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto byte = static_cast<unsigned char>(valid[i]);
    if (byte < 0x20 || byte == 0x7F) continue;
    // U+0080 to U+009F are C2 80 to C2 9F.
    if (byte == 0xC2 && i + 1 < valid.size()) {
      const auto next = static_cast<unsigned char>(valid[i + 1]);
      if (next >= 0x80 && next <= 0x9F) {
        ++i;
        continue;
      }
    }
    out.push_back(valid[i]);
  }
  return out;
}

JSON logBuffer() {
  JSON entries = JSON::array();
  for (const auto& entry : DiagnosticLogBuffer::shared().logBufferJSON()) {
    JSON object = JSON::object();
    if (const auto* fields = entry.asDictionary()) {
      for (const auto& [key, value] : *fields) {
        if (const auto* text = value.asString()) object[key] = *text;
      }
    }
    entries.push_back(std::move(object));
  }
  return entries;
}

}  // namespace

DiagnosticUploader& DiagnosticUploader::shared() {
  return instance().get();
}

bool DiagnosticUploader::isDiagnosticsEnabled() {
  auto& defaults = *platform::env().defaults;
  if (!defaults.object(enabledKey)) return true;
  return defaults.boolForKey(enabledKey);
}

std::string DiagnosticUploader::metadataJSON(std::string_view kind,
                                             const std::optional<std::string>& terminateReason) {
  JSON metadata = JSON::object();
  metadata["kind"] = std::string(kind);
  metadata["session_id"] = nullptr;
  metadata["client_kind"] = cut(clientKind, 32);
  metadata["client_version"] = cut(Constants::appVersion(), 64);
  metadata["client_role"] = nullptr;
  metadata["os_version"] = cut(platform::env().processInfo->operatingSystemVersionString(), 128);
  metadata["terminate_reason"] = terminateReason ? JSON(*terminateReason) : JSON(nullptr);
  metadata["codec"] = nullptr;
  metadata["extra"] = JSON::object();
  return platform::JSONSerialization::serialize(metadata);
}

std::string DiagnosticUploader::reportJSON() {
  JSON app = JSON::object();
  app["version"] = Constants::appVersion();
  app["platform"] = std::string(clientKind);
  app["session_id"] = nullptr;
  JSON stats = JSON::object();
  stats["app"] = std::move(app);
  stats["extra"] = JSON::object();
  JSON report = JSON::object();
  report["schema_version"] = 1;
  report["captured_at"] = platform::DateFormats::iso8601(
      platform::env().clock->now(), platform::DateFormats::FractionalSeconds::included);
  report["log_buffer"] = logBuffer();
  report["stats"] = std::move(stats);
  return platform::JSONSerialization::serialize(report);
}

platform::Bytes DiagnosticUploader::multipartBody(std::string_view boundary,
                                                  std::string_view metadata,
                                                  std::span<const std::uint8_t> zip,
                                                  std::string_view fileName) {
  std::string head;
  head += "--" + std::string(boundary) + "\r\n";
  head += "Content-Disposition: form-data; name=\"metadata\"\r\n";
  head += "Content-Type: text/plain\r\n\r\n";
  head += metadata;
  head += "\r\n";
  head += "--" + std::string(boundary) + "\r\n";
  head += "Content-Disposition: form-data; name=\"blob\"; filename=\"" + std::string(fileName) +
          "\"\r\n";
  head += "Content-Type: application/zip\r\n\r\n";
  const std::string tail = "\r\n--" + std::string(boundary) + "--\r\n";
  platform::Bytes body(head.begin(), head.end());
  body.insert(body.end(), zip.begin(), zip.end());
  body.insert(body.end(), tail.begin(), tail.end());
  return body;
}

std::optional<std::string> DiagnosticUploader::serverMessage(std::span<const std::uint8_t> body) {
  auto json = parseBody(body);
  if (!json || !json->is_object()) return std::nullopt;
  std::optional<std::string> text;
  for (const char* key : {"error", "message"}) {
    auto found = json->find(key);
    if (found != json->end() && found->is_string()) {
      text = found->get<std::string>();
      break;
    }
  }
  if (!text) return std::nullopt;
  auto shown = shownText(*text);
  if (platform::UnicodeText::trimmed(shown, platform::UnicodeText::WhiteSpace::spacesAndNewlines)
          .empty())
    return std::nullopt;
  return shown;
}

std::string DiagnosticUploader::shownText(std::string_view text) {
  return platform::UnicodeText::prefixCharacters(withoutControlCharacters(text),
                                                 maxServerMessageCharacters);
}

platform::Task<std::string> DiagnosticUploader::uploadManual() {
  auto self = shared_from_this();
  co_await platform::resumeOnMain();
  if (self->manualInFlight_) throw DiagnosticError::alreadyInFlight();
  self->manualInFlight_ = true;
  UploadResult result;
  std::exception_ptr failure;
  try {
    result = co_await self->upload("manual", std::nullopt);
  } catch (...) {
    failure = std::current_exception();
  }
  self->manualInFlight_ = false;
  if (failure) std::rethrow_exception(failure);
  if (!result.shortCode || result.shortCode->empty()) throw DiagnosticError::malformedResponse();
  co_return *result.shortCode;
}

platform::Task<DiagnosticUploader::UploadResult> DiagnosticUploader::upload(
    std::string kind, std::optional<std::string> terminateReason) {
  auto session = VoskaryAccountBridge::shared().currentSession();
  if (!session) throw DiagnosticError::notSignedIn();
  const std::string metadata = metadataJSON(kind, terminateReason);
  const std::string report = reportJSON();
  const auto zip = ZipWriter::makeArchive(
      reportEntryName,
      std::span(reinterpret_cast<const std::uint8_t*>(report.data()), report.size()));
  const std::string boundary = "Boundary-" + platform::UUID::random().uuidString();
  const std::string fileName =
      std::string(clientKind) + "-" +
      std::to_string(platform::DateFormats::unixSeconds(platform::env().clock->now())) + ".zip";

  platform::HTTPRequest request(AccountServiceEndpoints::diagnosticsURL());
  request.httpMethod = "POST";
  request.timeoutInterval = timeout;
  request.cachePolicy = platform::URLRequestCachePolicy::reloadIgnoringLocalCacheData;
  request.setValue("Bearer " + session->sessionToken, "Authorization");
  request.setValue("multipart/form-data; boundary=" + boundary, "Content-Type");
  request.httpBody = multipartBody(boundary, metadata, zip, fileName);

  auto answer = co_await platform::env().httpSession->data(std::move(request));
  const auto* http = answer.response ? answer.response->asHTTP() : nullptr;
  if (!http) throw DiagnosticError::unavailable();
  const int status = http->statusCode();
  if (status >= 200 && status <= 299) {
    UploadResult result;
    auto json = parseBody(answer.data);
    if (json && json->is_object()) {
      auto code = json->find("short_code");
      if (code != json->end() && code->is_string()) result.shortCode = code->get<std::string>();
    }
    co_return result;
  }
  throw DiagnosticError::server(
      serverMessage(answer.data).value_or(std::string(DiagnosticError::serverFallback)));
}

}  // namespace flagrig
