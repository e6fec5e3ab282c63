#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// An element of another application's (or this one's) user interface, as the Accessibility
// interface hands it out. Backends derive their own; the product only passes it around.
class AXUIElement {
 public:
  virtual ~AXUIElement() = default;
  virtual std::int32_t processIdentifier() const = 0;
  virtual bool isEqual(const AXUIElement& other) const = 0;
};

using AXElement = std::shared_ptr<const AXUIElement>;

}  // namespace platform
