#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The desktop's general pasteboard (the clipboard). Every write after `clearContents` belongs
// to the new contents; `changeCount` grows with each clearing.
class Pasteboard {
 public:
  static constexpr std::string_view plainTextType = "public.utf8-plain-text";

  virtual ~Pasteboard() = default;

  // The installed desktop's general pasteboard.
  static Pasteboard& general();

  virtual long changeCount() const = 0;
  // Empties the pasteboard and answers the new change count.
  virtual long clearContents() = 0;
  virtual bool setString(std::string text, std::string_view type = plainTextType) = 0;
  virtual std::optional<std::string> string(std::string_view type = plainTextType) const = 0;
};

}  // namespace platform
