#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Flagrig/Diagnostics/DiagnosticError.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/Value.h"

namespace flagrig {

// Sends a diagnostic report when the user asks for one: the diagnostic log's ring as
// "diagnostic.json" in a one-entry zip, posted with a small metadata document as a multipart
// form to the account service, authorised by the signed-in user's session. The service answers
// with a short code the user can quote to support. One manual report at a time.
class DiagnosticUploader : public std::enable_shared_from_this<DiagnosticUploader> {
 public:
  struct UploadResult {
    std::optional<std::string> shortCode;
  };

  static constexpr std::string_view enabledKey = "flagrig.diagnosticsEnabled";
  static constexpr std::string_view clientKind = "flagrig-mac";
  static constexpr std::string_view reportEntryName = "diagnostic.json";
  static constexpr double timeout = 30;
  // The service's message as the user sees it is at most this many characters.
  static constexpr std::size_t maxServerMessageCharacters = 200;

  static DiagnosticUploader& shared();

  // Sends one manual report and returns its share code. Throws DiagnosticError, or the
  // session's URLError as it came. Runs on the main queue.
  platform::Task<std::string> uploadManual();

  // "flagrig.diagnosticsEnabled"; true when absent.
  static bool isDiagnosticsEnabled();

  // --- The pieces of one upload, for tests and tools -----------------------------------------
  // The metadata document, compact.
  static std::string metadataJSON(std::string_view kind,
                                  const std::optional<std::string>& terminateReason);
  // The report document, compact.
  static std::string reportJSON();
  // The multipart body with the parts "metadata" and "blob".
  static platform::Bytes multipartBody(std::string_view boundary, std::string_view metadata,
                                       std::span<const std::uint8_t> zip,
                                       std::string_view fileName);
  // The service's "error", else "message", as the user may see it (no control characters,
  // at most 200 characters); none when the body has neither.
  static std::optional<std::string> serverMessage(std::span<const std::uint8_t> body);
  // Any text from outside as the user may see it: without control characters, at most 200
  // characters.
  static std::string shownText(std::string_view text);

 private:
  platform::Task<UploadResult> upload(std::string kind, std::optional<std::string> terminateReason);

  bool manualInFlight_ = false;
};

}  // namespace flagrig
