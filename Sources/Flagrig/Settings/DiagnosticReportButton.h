#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Forms/FormNode.h"

namespace flagrig {

// The settings control that sends a manual diagnostic report: "Sending…" while the upload
// runs, then an alert with the share code (and "Copy code") or with the failure (and "Try
// again"). One send at a time. Its state outlives redraws; `changed` asks the form to redraw
// after each change. Main thread only.
class DiagnosticReportButton : public std::enable_shared_from_this<DiagnosticReportButton> {
 public:
  static constexpr std::string_view sendTitle = "Send Diagnostic Report";
  static constexpr std::string_view sendingTitle = "Sending\u2026";
  static constexpr std::string_view sentTitle = "Diagnostic report sent";
  static constexpr std::string_view failedTitle = "Couldn't send diagnostic report";
  static constexpr std::string_view sentMessagePrefix =
      "Share this code with support so we can find your report:\n";
  static constexpr std::string_view fallbackMessage = "Something went wrong. Please try again.";
  static constexpr std::string_view copyTitle = "Copy code";
  static constexpr std::string_view tryAgainTitle = "Try again";
  static constexpr std::string_view doneTitle = "Done";

  explicit DiagnosticReportButton(std::function<void()> changed);

  // `canPresent` false keeps the result alert back (its window is hidden) without losing it.
  platform::forms::Node body(bool canPresent = true);
  void send();

  bool inFlight() const { return inFlight_; }
  const std::optional<std::string>& resultCode() const { return resultCode_; }
  const std::optional<std::string>& errorMessage() const { return errorMessage_; }
  bool showResult() const { return showResult_; }

  // The failure's message as the alert shows it: control characters dropped, at most the
  // uploader's 200 characters, the fallback when nothing is left.
  static std::string displayMessage(std::string_view message);

 private:
  void finish(std::optional<std::string> code, std::exception_ptr failure);
  void copyCode();

  std::function<void()> changed_;
  bool inFlight_ = false;
  std::optional<std::string> resultCode_;
  std::optional<std::string> errorMessage_;
  bool showResult_ = false;
};

}  // namespace flagrig
