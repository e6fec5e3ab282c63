#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Desktop/Pasteboard.h"

namespace platform::linuxbackend {

// The general pasteboard on the Qt clipboard: plain text only, as the product uses it.
class QtPasteboard final : public Pasteboard {
 public:
  QtPasteboard();
  long changeCount() const override { return changeCount_; }
  long clearContents() override;
  bool setString(std::string text, std::string_view type) override;
  std::optional<std::string> string(std::string_view type) const override;

 private:
  // Ends the connection with the pasteboard.
  QObject context_;
  long changeCount_ = 0;
  bool writing_ = false;
};

}  // namespace platform::linuxbackend
