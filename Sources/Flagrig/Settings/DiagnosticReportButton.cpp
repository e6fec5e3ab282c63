#include "Flagrig/Settings/DiagnosticReportButton.h"

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticUploader.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Platform/Desktop/Pasteboard.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/UnicodeText.h"

namespace flagrig {

using platform::forms::Button;
using platform::forms::ButtonRole;
using platform::forms::HStack;
using platform::forms::Node;
using platform::forms::ProgressView;
using platform::forms::Text;
using platform::forms::VerticalAlignment;

namespace {

std::string messageOf(const std::exception& error) {
  if (const auto* known = dynamic_cast<const platform::Error*>(&error)) return known->description();
  return error.what();
}

}  // namespace

DiagnosticReportButton::DiagnosticReportButton(std::function<void()> changed)
    : changed_(std::move(changed)) {}

std::string DiagnosticReportButton::displayMessage(std::string_view message) {
  std::string shown = DiagnosticUploader::shownText(message);
  if (platform::UnicodeText::trimmed(shown, platform::UnicodeText::WhiteSpace::spacesAndNewlines)
          .empty())
    return std::string(fallbackMessage);
  return shown;
}

void DiagnosticReportButton::send() {
  if (inFlight_) return;
  inFlight_ = true;
  resultCode_.reset();
  errorMessage_.reset();
  if (changed_) changed_();
  auto work = [](std::shared_ptr<DiagnosticReportButton> self) -> platform::Task<void> {
    std::optional<std::string> code;
    std::exception_ptr failure;
    try {
      code = co_await DiagnosticUploader::shared().uploadManual();
    } catch (const platform::ProgrammingError&) {
      throw;
    } catch (...) {
      failure = std::current_exception();
    }
    self->finish(std::move(code), failure);
  };
  // Holds the button: a send outlives a closed window and a redraw without the button, and
  // its outcome lands in this button's state.
  platform::spawn(work(shared_from_this()));
}

void DiagnosticReportButton::finish(std::optional<std::string> code, std::exception_ptr failure) {
  if (code) {
    DiagnosticLogBuffer::shared().add("info", "diagnostics",
                                      "Manual upload succeeded; share code " + *code);
    resultCode_ = std::move(code);
  } else {
    std::string message;
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      Log::warn("diagnostics", "Manual upload failed", &error);
      message = messageOf(error);
    } catch (...) {
      Log::warn("diagnostics", "Manual upload failed");
    }
    errorMessage_ = std::move(message);
  }
  showResult_ = true;
  inFlight_ = false;
  if (changed_) changed_();
}

void DiagnosticReportButton::copyCode() {
  if (!resultCode_) return;
  auto& pasteboard = platform::Pasteboard::general();
  pasteboard.clearContents();
  pasteboard.setString(*resultCode_);
}

Node DiagnosticReportButton::body(bool canPresent) {
  std::weak_ptr<DiagnosticReportButton> weak = weak_from_this();
  std::vector<Node> label;
  if (inFlight_) {
    label.push_back(ProgressView().key("spinner").controlSize(platform::forms::ControlSize::small));
    label.push_back(Text(std::string(sendingTitle)));
  } else {
    label.push_back(Text(std::string(sendTitle)));
  }
  platform::forms::Binding<bool> shown(
      [weak, canPresent] {
        auto self = weak.lock();
        return canPresent && self && self->showResult_;
      },
      [weak](const bool& on) {
        auto self = weak.lock();
        if (!self || self->showResult_ == on) return;
        self->showResult_ = on;
        if (self->changed_) self->changed_();
      });
  std::string title;
  std::string message;
  std::vector<Node> buttons;
  if (resultCode_) {
    title = std::string(sentTitle);
    message = std::string(sentMessagePrefix) + *resultCode_;
    buttons.push_back(Button(std::string(copyTitle), [weak] {
      if (auto self = weak.lock()) self->copyCode();
    }));
  } else {
    title = std::string(failedTitle);
    message = displayMessage(errorMessage_.value_or(std::string()));
    buttons.push_back(Button(std::string(tryAgainTitle), [weak] {
      if (auto self = weak.lock()) self->send();
    }));
  }
  buttons.push_back(platform::forms::cancel(std::string(doneTitle)));

  std::vector<Node> row;
  row.push_back(HStack(std::move(label)).spacing(6).alignment(VerticalAlignment::center));
  return Button(std::move(row),
                [weak] {
                  if (auto self = weak.lock()) self->send();
                })
      .key("diagnosticReport")
      .disabled(inFlight_)
      .accessibilityLabel(std::string(inFlight_ ? sendingTitle : sendTitle))
      .alert(shown, std::move(title), std::move(message), std::move(buttons));
}

}  // namespace flagrig
